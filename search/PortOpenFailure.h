// Why a port could not be opened, in words an operator can act on (Russian,
// UTF-8), from the serial layer's result code. The codes mean different
// things on the two systems: one .cpp per system.
#pragma once

#include <string>

#include "winapi_types.h"

// `portName` is the name the operator picked ("COM3"); `code` is the non-zero
// result of the port's Open.
std::string DescribePortOpenFailure(const std::string& portName, LONG code);
// The status line's text for the same failure.
std::string PortOpenStatus(const std::string& portName, LONG code);
