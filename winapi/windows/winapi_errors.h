// On Windows the error codes are the system's own.
#pragma once

#include <windows.h>
