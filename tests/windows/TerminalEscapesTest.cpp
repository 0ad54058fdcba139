// The console program's choice between a status line redrawn in place and
// plain lines, against a real console and a file.
#include <io.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "TerminalEscapes.h"

namespace {

DWORD ConsoleMode(std::FILE* stream) {
    DWORD mode = 0;
    GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), &mode);
    return mode;
}

TEST(TerminalEscapes, AConsoleIsAskedToInterpretThemAndSaysYes) {
    // A console of the test's own, as a program started from cmd.exe has one.
    FreeConsole();
    ASSERT_TRUE(AllocConsole()) << "error " << GetLastError();
    HANDLE output = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(output, INVALID_HANDLE_VALUE) << "no console: error " << GetLastError();
    std::FILE* console = _fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(output), 0), "w");
    ASSERT_NE(console, nullptr);
    const DWORD before = ConsoleMode(console);
    ASSERT_EQ(before & ENABLE_VIRTUAL_TERMINAL_PROCESSING, 0u) << "a fresh console interprets nothing yet";

    EXPECT_TRUE(EnableTerminalEscapes(console));
    EXPECT_EQ(ConsoleMode(console), before | ENABLE_VIRTUAL_TERMINAL_PROCESSING)
        << "only virtual-terminal processing is added";
    EXPECT_TRUE(EnableTerminalEscapes(console)) << "asked again, the console still interprets them";
    std::fclose(console);
}

TEST(TerminalEscapes, AFileOrAPipeGetsPlainLines) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(EnableTerminalEscapes(file));
    std::fclose(file);

    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    std::FILE* pipe = _fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(writeEnd), 0), "w");
    ASSERT_NE(pipe, nullptr);
    EXPECT_FALSE(EnableTerminalEscapes(pipe));
    std::fclose(pipe);
    CloseHandle(readEnd);
}

}  // namespace
