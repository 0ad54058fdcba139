// Everything the serial classes take from the platform, in one header: the
// Win32 types, error codes, communications, synchronisation, thread and
// window-message services. On Windows a header of the same name in
// winapi/windows/ stands in its place and includes the system's own.
#pragma once

#include "winapi_comm.h"
#include "winapi_errors.h"
#include "winapi_sync.h"
#include "winapi_types.h"
#include "winapi_user.h"
