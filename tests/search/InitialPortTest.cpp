// The port the dialog selects at start: the one remembered when it is
// present, else the first present, else COM1.
#include <gtest/gtest.h>

#include <vector>

#include "InitialPort.h"

namespace {

TEST(InitialPort, TheRememberedPortWhenPresentElseTheFirstPresentElseCom1) {
    const std::vector<int> present = {3, 4, 17};
    EXPECT_EQ(ChooseInitialPort(4, present), 4);
    EXPECT_EQ(ChooseInitialPort(17, present), 17);
    EXPECT_EQ(ChooseInitialPort(5, present), 3);  // the adapter was pulled out
    EXPECT_EQ(ChooseInitialPort(std::nullopt, present), 3);
    EXPECT_EQ(ChooseInitialPort(std::nullopt, {}), 1);
    // Nothing listed says nothing about the remembered port.
    EXPECT_EQ(ChooseInitialPort(9, {}), 9);
}

}  // namespace
