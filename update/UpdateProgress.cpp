#include "UpdateProgress.h"

#include "FormatText.h"

namespace {

constexpr double kHalfOfBar = 50.0;  // percent per pass

}  // namespace

ProgressFigure ComputeProgress(std::uint32_t position, std::uint32_t endValue, bool verifying) {
    double percent = static_cast<double>(position) * kHalfOfBar / static_cast<double>(endValue);
    if (verifying) {
        percent += kHalfOfBar;
    }
    return {percent, FormatText("%3.0f%%", percent), static_cast<int>(percent)};
}
