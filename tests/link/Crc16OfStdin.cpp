// Prints the CRC-16 of each line's hex bytes, one hex value per line: the
// program side of the cross-check against an independent implementation.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "Crc16.h"

int main() {
    std::string line;
    while (std::getline(std::cin, line)) {
        std::vector<std::uint8_t> bytes;
        for (std::size_t i = 0; i + 1 < line.size(); i += 2) {
            bytes.push_back(static_cast<std::uint8_t>(std::stoul(line.substr(i, 2), nullptr, 16)));
        }
        std::printf("%04x\n", ComputeCrc16(bytes.data(), bytes.size()));
    }
    return 0;
}
