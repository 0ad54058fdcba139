// On Windows the serial classes use the system's own Win32 services.
#pragma once

#include <windows.h>
