// The program's own module resources, looked up by type and numeric id
// (the firmware image is type "BIN", id 154).
#pragma once

#include <cstdint>
#include <span>

// The bytes of the resource, or an empty span when the module carries none.
// The bytes belong to the module: they stay valid, unchanged, until the
// program ends, and are never freed.
std::span<const std::uint8_t> FindModuleResource(const char* type, int id);
