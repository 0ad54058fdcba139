#include "ImageFiles.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

namespace testsupport {

Bytes MakeImage(std::size_t size, const char* date, const char* time, std::uint16_t version,
                unsigned seed) {
    std::mt19937 random(seed);
    Bytes image(size);
    for (std::uint8_t& byte : image) {
        byte = static_cast<std::uint8_t>(random());
    }
    std::memcpy(image.data() + 140, date, 12);  // with its terminating NUL
    std::memcpy(image.data() + 152, time, 9);
    image[163] = static_cast<std::uint8_t>(version & 0xFF);
    image[164] = static_cast<std::uint8_t>(version >> 8);
    return image;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

Bytes ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace testsupport
