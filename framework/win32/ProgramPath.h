// Framework-internal, Win32: where the program file is.
#pragma once

#include <filesystem>

// The program file's full path.
std::filesystem::path ProgramPath();
