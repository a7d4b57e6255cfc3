#include "device/hidraw_access.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string_view>
#include <system_error>

#include "device/unit_ids.h"

namespace kivrel {
namespace {

// Where udev reads rules, the administrator's folder first.
constexpr const char* kRuleFolders[] = {"etc/udev/rules.d", "run/udev/rules.d",
                                        "usr/local/lib/udev/rules.d", "usr/lib/udev/rules.d",
                                        "lib/udev/rules.d"};

// The value of `KEY=` in a uevent file; empty when absent.
std::string UeventValue(const std::filesystem::path& file, std::string_view key) {
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=') {
            return line.substr(key.size() + 1);
        }
    }
    return {};
}

bool ParseHex(std::string_view text, unsigned long& value) {
    if (text.empty() || text.size() > 8) return false;
    value = 0;
    for (const char c : text) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) return false;
        value = value * 16 + static_cast<unsigned long>(digit);
    }
    return true;
}

// HID_ID is "bus:vendor:product" in hexadecimal, e.g. "0003:00000416:0000B500".
bool IsUnitHidId(std::string_view id) {
    const std::size_t first = id.find(':');
    const std::size_t second = id.find(':', first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos) return false;
    unsigned long bus = 0, vendor = 0, product = 0;
    return ParseHex(id.substr(0, first), bus) &&
           ParseHex(id.substr(first + 1, second - first - 1), vendor) &&
           ParseHex(id.substr(second + 1), product) && vendor == kUnitVendorId &&
           product == kUnitProductId;
}

enum class Access { kOpens, kRefused, kOther };

Access TryOpen(const std::filesystem::path& node) {
    errno = 0;
    if (std::FILE* f = std::fopen(node.c_str(), "r+b")) {
        std::fclose(f);
        return Access::kOpens;
    }
    return errno == EACCES || errno == EPERM ? Access::kRefused : Access::kOther;
}

std::filesystem::path InstalledRule(const std::filesystem::path& root) {
    std::error_code ec;
    for (const char* folder : kRuleFolders) {
        const std::filesystem::path rule = root / folder / kUdevRuleFile;
        if (std::filesystem::exists(rule, ec)) return rule;
    }
    return {};
}

}  // namespace

std::vector<HidrawNode> FindUnitHidrawNodes(const std::filesystem::path& root) {
    std::vector<HidrawNode> nodes;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(root / "sys/class/hidraw", ec)) {
        const std::filesystem::path dir = entry.path();
        if (!IsUnitHidId(UeventValue(dir / "device/uevent", "HID_ID"))) continue;
        std::string name = UeventValue(dir / "uevent", "DEVNAME");
        if (name.empty()) name = dir.filename().string();
        nodes.push_back({name, root / "dev" / name});
    }
    std::sort(nodes.begin(), nodes.end(),
              [](const HidrawNode& a, const HidrawNode& b) { return a.name < b.name; });
    return nodes;
}

std::string UnitAccessProblem(const std::filesystem::path& root) {
    const std::vector<HidrawNode> nodes = FindUnitHidrawNodes(root);
    const auto refused = std::find_if(nodes.begin(), nodes.end(), [](const HidrawNode& n) {
        return TryOpen(n.device) == Access::kRefused;
    });
    if (refused == nodes.end()) return {};

    std::string text = "the unit is connected at " + refused->device.string() +
                       ", but you may not open it (permission denied).\n";
    // No newline at the end: the caller ends the message.
    const std::string apply =
        "  sudo udevadm control --reload-rules\n"
        "  sudo udevadm trigger --subsystem-match=hidraw";
    if (const std::filesystem::path rule = InstalledRule(root); !rule.empty()) {
        // The rule is there but has not reached the node: udev was not told, or the user
        // is not the one at the computer (uaccess serves the local session only).
        return text + "The udev rule " + rule.string() +
               " is installed; have udev apply it, then run kivrel again:\n" + apply +
               "\nIt gives access to the user logged in at this computer, not to a remote login.";
    }
    return text +
           "Install the udev rule that gives the user at this computer access to it, "
           "then run kivrel again:\n"
           "  echo '" +
           std::string(kUdevRule) + "' | sudo tee /etc/udev/rules.d/" + kUdevRuleFile + "\n" +
           apply;
}

}  // namespace kivrel
