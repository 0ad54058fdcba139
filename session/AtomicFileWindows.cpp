#include <windows.h>

#include "AtomicFile.h"

namespace {

// What a file being replaced by another program answers for a moment.
bool IsPassing(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

// Runs `attempt` until it succeeds, fails for good, or the retries are used.
template <typename Attempt>
bool WithRetries(Attempt attempt) {
    for (int tries = 0;; ++tries) {
        if (attempt()) {
            return true;
        }
        if (tries + 1 >= kFileRetries || !IsPassing(::GetLastError())) {
            return false;
        }
        ::Sleep(kFileRetryPauseMs);
    }
}

}  // namespace

std::optional<std::string> ReadSmallFile(const std::filesystem::path& file,
                                         std::uintmax_t limitBytes) {
    HANDLE handle = INVALID_HANDLE_VALUE;
    // Sharing delete lets another program rename its new file over this one
    // while it is read.
    if (!WithRetries([&] {
            handle = ::CreateFileW(file.c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            return handle != INVALID_HANDLE_VALUE;
        })) {
        return std::nullopt;
    }
    std::optional<std::string> content;
    LARGE_INTEGER size = {};
    if (::GetFileSizeEx(handle, &size) != FALSE && size.QuadPart >= 0 &&
        static_cast<std::uintmax_t>(size.QuadPart) <= limitBytes) {
        std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
        DWORD count = 0;
        if (::ReadFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr) !=
                FALSE &&
            count == bytes.size()) {
            content = std::move(bytes);
        }
    }
    ::CloseHandle(handle);
    return content;
}

bool WriteFileAtomically(const std::filesystem::path& target, std::string_view content) {
    // GetTempFileNameW makes a file of a name that no other file in the
    // folder has; the prefix takes its first three characters.
    wchar_t scratch[MAX_PATH] = {};
    if (::GetTempFileNameW(target.parent_path().c_str(), L"zir", 0, scratch) == 0) {
        return false;
    }
    const HANDLE file = ::CreateFileW(scratch, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    bool written = file != INVALID_HANDLE_VALUE;
    if (written) {
        DWORD count = 0;
        written = ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &count,
                              nullptr) != FALSE &&
                  count == content.size() && ::FlushFileBuffers(file) != FALSE;
        written = ::CloseHandle(file) != FALSE && written;
    }
    // Replacing an existing file by a rename is atomic on NTFS; the write
    // through makes the rename itself reach the disk before the call returns.
    if (written && WithRetries([&] {
            return ::MoveFileExW(scratch, target.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
        })) {
        return true;
    }
    ::DeleteFileW(scratch);
    return false;
}
