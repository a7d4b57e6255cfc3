// The Win32 device edge under Wine: discovery with no unit present must fail cleanly, the
// notification registration must work on a real window, and Windows' own GUIDs must land on
// the right class index.

// windows.h first, then initguid.h so that the GUIDs of winioctl.h are defined here.
// clang-format off
#include <windows.h>
#include <initguid.h>
#include <winioctl.h>
// clang-format on
// MinGW's HID header declares its functions without C linkage.
extern "C" {
#include <hidsdi.h>
}

#include <gtest/gtest.h>

#include <filesystem>

#include "device/chid_io_win32.h"
#include "device/gps_unit.h"
#include "device/sim/sim_directory.h"
#include "device/unit_discovery.h"
#include "device/unit_ids.h"
#include "tests/win/win_test_support.h"

namespace kivrel {
namespace {

TEST(HidIo, RecognisesTheUnitByVendorAndProductAnywhereInThePath) {
    EXPECT_TRUE(IsUnitPath(L"\\\\?\\HID#VID_0416&PID_B500#7&1A2B&0&0000#{4d1e55b2-f16f-11cf}"));
    EXPECT_TRUE(IsUnitPath(L"\\\\?\\hid#vid_0416&pid_b500#7&1a2b&0&0000"));
    EXPECT_FALSE(IsUnitPath(L"\\\\?\\hid#vid_0416&pid_b501#7&1a2b&0&0000"));
}

TEST(HidIo, WindowsClassGuidsGiveTheirTableIndex) {
    GUID hid;
    ::HidD_GetHidGuid(&hid);
    EXPECT_EQ(ClassIndex(hid), kClassIndexHid);
    EXPECT_EQ(ClassIndex(GUID_DEVINTERFACE_VOLUME), kClassIndexVolume);
    EXPECT_EQ(ClassIndex(GUID_DEVINTERFACE_DISK), 3);
    GUID other = hid;
    other.Data1 ^= 1;
    EXPECT_EQ(ClassIndex(other), 0);
}

TEST(HidIo, RegistersAWindowForTheFiveClasses) {
    TopLevelWindow window(L"Kivrel device notifications");
    EXPECT_TRUE(RegisterUnitNotifications(window.Get()));
}

TEST(HidIo, DiscoveryWithoutAUnitFailsAndLeavesTheHandlesClosed) {
    CHidIO io;
    EXPECT_FALSE(io.OpenUnit());
    EXPECT_FALSE(io.IsOpen());
    std::uint8_t report[65] = {};
    DWORD count = 7;
    EXPECT_FALSE(io.ReadReport(report, &count, 10));
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(io.WriteReport(report, nullptr, 10));
    io.CloseHandles();

    std::string error;
    EXPECT_EQ(OpenFirstUnit(error), nullptr);
    EXPECT_EQ(error, "No hardware connected!");
    CHidCmd link;
    EXPECT_FALSE(OpenUnit(link, nullptr));
    EXPECT_FALSE(link.Connected());
}

TEST(SimDirectory, WorksWithWindowsPaths) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / L"kivrel-win-sim \u00e9";
    std::filesystem::remove_all(dir);
    ASSERT_EQ(CreateSimDirectory(dir, 1011, 0x20000), "");
    std::string error;
    CGpsUnit unit;
    unit.link.Attach(OpenSimDirectory(dir, error), nullptr);
    ASSERT_TRUE(unit.Connected()) << error;
    unit.ResetUnitInfo();
    ASSERT_TRUE(unit.ReadUnitInfo());
    EXPECT_EQ(unit.bootVersion, 1011);
    unit.settingsFormat = 3;
    EXPECT_TRUE(unit.WriteSettings());
    unit.link.CloseHandles();
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kivrel
