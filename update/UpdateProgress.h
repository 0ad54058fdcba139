// The update's progress figure: writing fills the first half of the bar,
// verifying the second, both in proportion to the image position.
#pragma once

#include <cstdint>
#include <string>

struct ProgressFigure {
    double percent;    // may exceed 50 or 100 by a fraction at the last block
    std::string text;  // "%3.0f%%": three characters wide, no decimals
    int barPosition;   // `percent` truncated toward zero
};

// `position` and `endValue` as the image reports them (bytes); `verifying`
// puts the figure in the second half. `endValue` is never 0 for a loaded
// image (it is the image size with its low eight bits set).
ProgressFigure ComputeProgress(std::uint32_t position, std::uint32_t endValue, bool verifying);
