// PortSettings and FlowControlState over a scripted port: what they apply, save and restore.
// FlowControlState's snapshots are seen through the link that owns one (LinkTest.CheckOpen...).
#include "CommLink.h"
#include "PortSettings.h"
#include "scripted_port.h"

#include <gtest/gtest.h>

namespace {

std::string SettingsOf(const ScriptedPort& port) {
    return std::to_string(port.baud) + " " + port.parity + " " + std::to_string(port.dataBits) + " " +
           std::to_string(port.stopBits);
}

// Two holders over one port, destroyed in either order: in reverse, each restores what it found;
// otherwise the second one's restore lands last. Attaching applies the holder's defaults.
TEST(PortSettings, NestedHoldersRestoreOnlyInReverseOrder) {
    for (bool reverse : {true, false}) {
        ScriptedPort port;
        CommLink link(&port);
        auto first = std::make_unique<PortSettings>(&link);
        const std::string attached = SettingsOf(port);
        first->Set(2400, 'O', 7, 1);
        auto second = std::make_unique<PortSettings>(&link);
        second->Set(4800, 'E', 8, 2);
        (reverse ? second : first).reset(), (reverse ? first : second).reset();
        EXPECT_EQ(std::tuple(attached, SettingsOf(port)),
                  std::tuple("1200 N 8 1", reverse ? "9600 N 8 1" : "2400 O 7 1"))
            << "reverse=" << reverse;
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
