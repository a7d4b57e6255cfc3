#pragma once
// Why a connected unit does not open on Linux. hidapi only says that opening failed; this
// finds the unit's hidraw nodes through sysfs and tries each, so that a node the user may not
// open (no udev rule yet) is told apart from a unit that is not there, and the user is told
// how to install the rule. Plain C++ (std::filesystem and stdio): everything is read below
// one root folder, which tests point at a tree of their own.

#include <filesystem>
#include <string>
#include <vector>

namespace kivrel {

// The rule that gives the user at the computer access to the unit's hidraw nodes; the
// packages install it as 70-kivrel.rules.
inline constexpr const char* kUdevRule =
    R"(SUBSYSTEM=="hidraw", ATTRS{idVendor}=="0416", ATTRS{idProduct}=="b500", TAG+="uaccess")";
inline constexpr const char* kUdevRuleFile = "70-kivrel.rules";

struct HidrawNode {
    std::string name;              // "hidraw3"
    std::filesystem::path device;  // root/dev/hidraw3
};

// Every hidraw node of a unit (HID_ID bus:00000416:0000B500 in the node's device/uevent), from
// root/sys/class/hidraw, in name order.
[[nodiscard]] std::vector<HidrawNode> FindUnitHidrawNodes(const std::filesystem::path& root);

// When a unit node exists but opening it for reading and writing is refused (EACCES or
// EPERM): the text that says so and gives the commands that install or apply the udev rule.
// Empty otherwise: no unit, or its nodes open, or fail for another reason.
[[nodiscard]] std::string UnitAccessProblem(const std::filesystem::path& root = "/");

}  // namespace kivrel
