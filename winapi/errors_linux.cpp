#include <cerrno>

#include "winapi_errors.h"

namespace {
thread_local DWORD tLastError = ERROR_SUCCESS;
}

DWORD GetLastError() { return tLastError; }

void SetLastError(DWORD error) { tLastError = error; }

DWORD Win32ErrorFromErrno(int error) {
    switch (error) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return ERROR_FILE_NOT_FOUND;
        case EACCES:
        case EPERM:
            return ERROR_ACCESS_DENIED;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case ENOMEM:
        case EAGAIN:  // no thread could be created
            return ERROR_NOT_ENOUGH_MEMORY;
        case EBUSY:
            return ERROR_SHARING_VIOLATION;
        case EINVAL:
        case ENOTTY:
            return ERROR_INVALID_PARAMETER;
        case ECANCELED:
            return ERROR_OPERATION_ABORTED;
        case ETIMEDOUT:
            return ERROR_TIMEOUT;
        default:
            return ERROR_GEN_FAILURE;
    }
}
