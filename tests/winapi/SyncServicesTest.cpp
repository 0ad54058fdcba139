// Events, waits and threads.
#include <gtest/gtest.h>

#include "winapi.h"
#include "winapi_seams.h"

namespace {

DWORD WINAPI ReturnParameter(LPVOID parameter) {
    return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(parameter));
}

DWORD WINAPI WaitForEvent(LPVOID event) {
    return WaitForSingleObject(event, INFINITE);
}

TEST(SyncServicesTest, AManualResetEventStaysSignalledUntilReset) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
    ASSERT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 10), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST(SyncServicesTest, AnAutoResetEventReleasesOneWait) {
    HANDLE event = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST(SyncServicesTest, AThreadHandleIsSignalledWhenTheThreadEnds) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, &WaitForEvent, event, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 20), WAIT_TIMEOUT);
    DWORD exitCode = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &exitCode));
    EXPECT_EQ(exitCode, STILL_ACTIVE);
    SetEvent(event);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeThread(thread, &exitCode));
    EXPECT_EQ(exitCode, WAIT_OBJECT_0);
    EXPECT_FALSE(SetEvent(thread));  // a thread is no event
    CloseHandle(thread);
    CloseHandle(event);
}

TEST(SyncServicesTest, ClosingAThreadHandleEarlyLeavesTheThreadRunning) {
    HANDLE thread =
        CreateThread(nullptr, 0, &ReturnParameter, reinterpret_cast<LPVOID>(42), 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(CloseHandle(thread));
}

TEST(SyncServicesTest, AFailedThreadCreationReportsItsError) {
    FailNextCalls(SeamCall::CreateThread, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(CreateThread(nullptr, 0, &ReturnParameter, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    ResetSeams();
}

// Each call looks its handle up as the kind of object it works on; a handle
// of another kind is refused every time, however the calls alternate.
TEST(SyncServicesTest, AHandleIsTakenOnlyAsWhatItIs) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread =
        CreateThread(nullptr, 0, &ReturnParameter, reinterpret_cast<LPVOID>(7), 0, nullptr);
    ASSERT_NE(event, nullptr);
    ASSERT_NE(thread, nullptr);
    for (int round = 0; round < 2; ++round) {
        DCB dcb{};
        EXPECT_FALSE(GetCommState(event, &dcb));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_TRUE(SetEvent(event));
        DWORD exitCode = 0;
        EXPECT_FALSE(GetExitCodeThread(event, &exitCode));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        // A thread is also something to wait for.
        EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
        EXPECT_TRUE(GetExitCodeThread(thread, &exitCode));
        EXPECT_EQ(exitCode, 7U);
        EXPECT_FALSE(SetEvent(thread));
    }
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_TRUE(CloseHandle(event));
}

TEST(SyncServicesTest, UnknownHandlesAreRefused) {
    HANDLE bogus = reinterpret_cast<HANDLE>(std::uintptr_t{0x7FFF0});
    EXPECT_EQ(WaitForSingleObject(bogus, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetEvent(bogus));
    EXPECT_FALSE(SetEvent(nullptr));
    EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, "named"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
