// PortSettings and FlowControlState over a scripted port: what they apply, save and restore.
// FlowControlState's snapshots are seen through the link that owns one (LinkTest.CheckOpen...).
#include "CommLink.h"
#include "PortSettings.h"
#include "scripted_port.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

std::string SettingsOf(const ScriptedPort& port) {
    return std::to_string(port.baud) + " " + port.parity + " " + std::to_string(port.dataBits) + " " +
           std::to_string(port.stopBits);
}

TEST(PortSettings, RefusedValuesStayInTheCurrentCopyAndBecomeFailed) {
    PortSettings unattached;
    EXPECT_EQ((std::tuple{unattached.Set(38400, 'E', 7, 2), unattached.Save()}),
              std::tuple(COMM_FAILED, COMM_FAILED));
    ScriptedPort port;
    CommLink link(&port);
    PortSettings holder(&link);
    EXPECT_EQ(holder.Set(38400, 'x', 8, 1), COMM_FAILED);
    EXPECT_EQ(port.PeekError(), COMM_BAD_PARITY) << "the port keeps the exact code";
    EXPECT_EQ(holder.Apply(), COMM_FAILED) << "the refused letter is still the current copy";
    EXPECT_EQ(holder.Set(38400, 'N', 8, 1), COMM_OK);
    EXPECT_EQ(SettingsOf(port), "38400 N 8 1");
}

// Two holders over one port, destroyed in either order.
TEST(PortSettings, NestedHoldersRestoreOnlyInReverseOrder) {
    // In reverse, each holder restores what it found; otherwise the second one's restore lands last.
    const std::pair<bool, const char*> rows[] = {{true, "9600 N 8 1"}, {false, "2400 O 7 1"}};
    for (const auto& [reverse, expected] : rows) {
        ScriptedPort port;
        CommLink link(&port);
        auto first = std::make_unique<PortSettings>(&link);
        EXPECT_EQ(SettingsOf(port), "1200 N 8 1") << "attaching applies the holder's defaults";
        first->Set(2400, 'O', 7, 1);
        auto second = std::make_unique<PortSettings>(&link);
        second->Set(4800, 'E', 8, 2);
        (reverse ? second : first).reset();
        (reverse ? first : second).reset();
        EXPECT_EQ(SettingsOf(port), expected) << "reverse=" << reverse;
    }
}

// Whatever the holder set meanwhile, it puts back the pair it found (the link's restore hides a
// holder that restores what it set only when both find the same pair).
TEST(FlowControlState, RestoresThePairFoundAtConstruction) {
    ScriptedPort port;
    CommLink link(&port); // turns flow control off
    FlowControlState(&link).Set(FLOW_XON_XOFF, FLOW_XON_XOFF);
    EXPECT_EQ(std::tuple(port.inputFlow, port.outputFlow), std::tuple(FLOW_NONE, FLOW_NONE));
}

} // namespace
