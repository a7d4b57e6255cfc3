// The disk-mode switch over the system's drives: with no unit attached as a disk it must find
// nothing, write no marker anywhere and leave no handle open.

#include <windows.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "device/disk_switch.h"
#include "device/drive_probe.h"

namespace kivrel {
namespace {

// Passes every call to the system's probe and notes what the switch did.
class RecordingProbe final : public DriveProbe {
public:
    unsigned DriveType(const std::wstring& rootPath) override {
        roots.push_back(rootPath);
        return system->DriveType(rootPath);
    }
    ProbeHandle OpenVolume(const std::wstring& path) override {
        return Counted(system->OpenVolume(path));
    }
    bool FirstExtentDisk(ProbeHandle volume, std::uint32_t& disk) override {
        return system->FirstExtentDisk(volume, disk);
    }
    ProbeHandle OpenDisk(const std::wstring& path) override {
        return Counted(system->OpenDisk(path));
    }
    bool QueryDescriptor(ProbeHandle disk, std::vector<std::uint8_t>& descriptor) override {
        return system->QueryDescriptor(disk, descriptor);
    }
    void Eject(ProbeHandle volume) override {
        ++ejects;
        system->Eject(volume);
    }
    void Close(ProbeHandle handle) override {
        ++closes;
        system->Close(handle);
    }
    bool WriteMarker(const std::wstring& path, std::span<const std::uint8_t> bytes) override {
        markers.push_back(path);
        return system->WriteMarker(path, bytes);
    }

    std::unique_ptr<DriveProbe> system = MakeSystemDriveProbe();
    std::vector<std::wstring> roots;
    std::vector<std::wstring> markers;
    int opens = 0;
    int closes = 0;
    int ejects = 0;

private:
    ProbeHandle Counted(ProbeHandle handle) {
        if (handle != kNoProbeHandle) ++opens;
        return handle;
    }
};

bool MarkerIn(wchar_t letter) {
    const std::wstring path = std::wstring(1, letter) + L":\\1.txt";
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(DiskSwitchWin32, FindsNoUnitAndWritesNothing) {
    std::vector<wchar_t> markedBefore;
    for (wchar_t letter = L'c'; letter <= L'z'; ++letter) {
        if (MarkerIn(letter)) markedBefore.push_back(letter);
    }

    RecordingProbe probe;
    EXPECT_FALSE(SwitchDiskUnits(probe));
    EXPECT_EQ(probe.roots.size(), 24u);  // z down to c
    EXPECT_EQ(probe.roots.front(), L"z:\\");
    EXPECT_EQ(probe.roots.back(), L"c:\\");
    EXPECT_EQ(probe.ejects, 0);
    EXPECT_TRUE(probe.markers.empty());
    EXPECT_EQ(probe.opens, probe.closes);
    EXPECT_FALSE(SwitchDiskUnits());

    std::vector<wchar_t> markedAfter;
    for (wchar_t letter = L'c'; letter <= L'z'; ++letter) {
        if (MarkerIn(letter)) markedAfter.push_back(letter);
    }
    EXPECT_EQ(markedAfter, markedBefore);
}

}  // namespace
}  // namespace kivrel
