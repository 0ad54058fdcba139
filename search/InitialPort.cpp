#include "InitialPort.h"

#include <algorithm>

namespace {

constexpr int kFallbackPort = 1;  // COM1, the start of the list

}  // namespace

int ChooseInitialPort(std::optional<int> remembered, std::span<const int> present) {
    if (present.empty()) {
        return remembered.value_or(kFallbackPort);
    }
    if (remembered && std::find(present.begin(), present.end(), *remembered) != present.end()) {
        return *remembered;
    }
    return present.front();
}
