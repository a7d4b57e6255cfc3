// Telling a unit the user may not open from a unit that is not there, on sysfs and /dev
// trees made by the test.

#include "device/hidraw_access.h"

#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>

namespace kivrel {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUnitId = "0003:00000416:0000B500";

class HidrawTree : public ::testing::Test {
protected:
    void SetUp() override {
        root =
            fs::temp_directory_path() / ("kivrel-hidraw-" + std::to_string(std::random_device{}()));
        fs::create_directories(root / "sys/class/hidraw");
        fs::create_directories(root / "dev");
        // Another user must be able to walk the tree.
        fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    static void Write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }

    // A hidraw class entry as the kernel lays it out. DEVNAME is the entry's name unless
    // `devName` is given; an empty `devName` leaves it out.
    void AddHidraw(const std::string& name, const std::string& hidId,
                   std::optional<std::string> devName = std::nullopt) {
        const fs::path dir = root / "sys/class/hidraw" / name;
        const std::string dev = devName.value_or(name);
        Write(dir / "uevent",
              "MAJOR=241\nMINOR=3\n" + (dev.empty() ? "" : "DEVNAME=" + dev + "\n"));
        Write(dir / "device/uevent",
              "DRIVER=hid-generic\nHID_ID=" + hidId + "\nHID_NAME=Some device\n");
    }

    // The /dev node, a plain file standing in for the character device.
    fs::path AddNode(const std::string& name, fs::perms perms) {
        const fs::path node = root / "dev" / name;
        Write(node, "");
        fs::permissions(node, perms);
        return node;
    }

    // Runs `body` as a user who does not own the tree. Root passes every permission check,
    // so root takes another file-system user id for the call (dropping the override of
    // file modes with it); anyone else finds the node's mode closed to the owner too.
    template <typename Body>
    auto AsAnotherUser(const fs::path& node, Body body) {
        if (::geteuid() != 0) {
            fs::permissions(node, fs::perms::none);
            return body();
        }
        ::setfsuid(65534);
        auto result = body();
        ::setfsuid(0);
        return result;
    }

    fs::path root;
};

TEST_F(HidrawTree, FindsOnlyTheUnitsNodesInNameOrder) {
    AddHidraw("hidraw4", "0003:00000416:0000b500");   // lower-case hex
    AddHidraw("hidraw0", "0003:0000046D:0000C52B");   // another vendor's mouse
    AddHidraw("hidraw2", kUnitId, "hidraw-renamed");  // DEVNAME wins over the entry name
    AddHidraw("hidraw1", "0003:00000416:0000B501");   // same vendor, other product
    AddHidraw("hidraw3", "garbage");
    AddHidraw("hidraw5", kUnitId, "");                          // no DEVNAME: the entry name
    fs::create_directories(root / "sys/class/hidraw/hidraw6");  // no uevent files at all

    const auto nodes = FindUnitHidrawNodes(root);
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(nodes[0].name, "hidraw-renamed");
    EXPECT_EQ(nodes[0].device, root / "dev/hidraw-renamed");
    EXPECT_EQ(nodes[1].name, "hidraw4");
    EXPECT_EQ(nodes[2].name, "hidraw5");

    EXPECT_TRUE(FindUnitHidrawNodes(root / "nowhere").empty());
}

TEST_F(HidrawTree, ARefusedNodeGivesTheCommandsThatInstallTheRule) {
    AddHidraw("hidraw3", kUnitId);
    const fs::path node = AddNode("hidraw3", fs::perms::owner_read | fs::perms::owner_write);

    const std::string text = AsAnotherUser(node, [&] { return UnitAccessProblem(root); });
    EXPECT_EQ(text, "the unit is connected at " + node.string() +
                        ", but you may not open it (permission denied).\n"
                        "Install the udev rule that gives the user at this computer access "
                        "to it, then run kivrel again:\n"
                        "  echo 'SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"0416\", "
                        "ATTRS{idProduct}==\"b500\", TAG+=\"uaccess\"' | sudo tee "
                        "/etc/udev/rules.d/70-kivrel.rules\n"
                        "  sudo udevadm control --reload-rules\n"
                        "  sudo udevadm trigger --subsystem-match=hidraw");
}

TEST_F(HidrawTree, WithTheRuleInstalledItSaysWhereAndHowToApplyIt) {
    AddHidraw("hidraw3", kUnitId);
    const fs::path node = AddNode("hidraw3", fs::perms::owner_read | fs::perms::owner_write);
    Write(root / "usr/lib/udev/rules.d/70-kivrel.rules", std::string(kUdevRule) + "\n");

    const std::string text = AsAnotherUser(node, [&] { return UnitAccessProblem(root); });
    EXPECT_NE(text.find("The udev rule " +
                        (root / "usr/lib/udev/rules.d/70-kivrel.rules").string() + " is installed"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("  sudo udevadm trigger --subsystem-match=hidraw\n"), std::string::npos);
    EXPECT_EQ(text.find("sudo tee"), std::string::npos);
}

TEST_F(HidrawTree, NoProblemWhenTheNodeOpensOrNoUnitIsThere) {
    EXPECT_EQ(UnitAccessProblem(root), "");  // nothing plugged in

    AddHidraw("hidraw0", "0003:0000046D:0000C52B");
    const fs::path mouse = AddNode("hidraw0", fs::perms::none);
    EXPECT_EQ(AsAnotherUser(mouse, [&] { return UnitAccessProblem(root); }), "");

    AddHidraw("hidraw3", kUnitId);
    EXPECT_EQ(UnitAccessProblem(root), "");  // in sysfs, but no node in /dev
    AddNode("hidraw3", fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(UnitAccessProblem(root), "");  // the owner opens it
}

TEST(UdevRule, TheShippedRuleFileHoldsTheRuleTheMessageGives) {
    std::ifstream file(KIVREL_SOURCE_DIR "/packaging/70-kivrel.rules");
    ASSERT_TRUE(file) << "packaging/70-kivrel.rules";
    std::string rules;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line[0] != '#') rules += line + "\n";
    }
    EXPECT_EQ(rules, std::string(kUdevRule) + "\n");
}

}  // namespace
}  // namespace kivrel
