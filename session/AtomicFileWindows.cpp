#include <windows.h>

#include "AtomicFile.h"

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
    if (written && ::MoveFileExW(scratch, target.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE) {
        return true;
    }
    ::DeleteFileW(scratch);
    return false;
}
