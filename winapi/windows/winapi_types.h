// On Windows the base types are the system's own.
#pragma once

#include <windows.h>
