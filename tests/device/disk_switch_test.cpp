// The disk-mode switch trusts nothing the disk reports: the vendor text must be found in every
// form units give it without reading past the descriptor, and the scan must close every handle
// it opens and mark each matching drive, whatever step fails.

#include "device/disk_switch.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace kivrel {
namespace {

// A storage device descriptor as a disk returns it: the fixed fields, the vendor text at the
// offset the descriptor names, and nothing after the text's terminator unless asked.
std::vector<std::uint8_t> Descriptor(std::string_view vendor, std::uint32_t offset = 36,
                                     bool terminate = true) {
    std::vector<std::uint8_t> bytes(offset + vendor.size() + (terminate ? 1 : 0), 0);
    bytes[kVendorOffsetField] = static_cast<std::uint8_t>(offset);
    bytes[kVendorOffsetField + 1] = static_cast<std::uint8_t>(offset >> 8);
    for (std::size_t i = 0; i < vendor.size(); ++i) bytes[offset + i] = vendor[i];
    return bytes;
}

TEST(VendorText, IsFoundInEveryFormUnitsGiveIt) {
    struct Case {
        const char* name;
        std::string vendor;  // as the descriptor holds it
        std::string text;    // what the extraction gives
    };
    const Case cases[] = {
        {"plain", "qorvexd", "qorvexd"},
        {"upper case with a blank after it", "QORVEXD ", "QORVEXD"},
        {"blanks on both sides", "  qorvexd  ", "qorvexd"},
        {"hex pairs, a blank as 2 0", "716f727665786420", "qorvexd"},
        {"hex pairs in upper case", "716F727665786420", "qorvexd"},
        {"hex with blanks as zero digits", "7 4 ", "p@"},
        {"hex with an odd last digit dropped", "7172 ", "qr"},
        {"hex text ends at a zero byte", "71007200", "q"},
        {"hex byte not printable falls back to the text", "0a41", "0a41"},
        {"a letter past f is plain text", "qg", "qg"},
        {"a control character empties plain text", "qor\x01vexd", ""},
        {"blanks are zero digits, so the text ends at once", "   ", ""},
        {"nothing", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto descriptor = Descriptor(c.vendor);
        EXPECT_EQ(ExtractVendorText(descriptor, VendorOffsetOf(descriptor)), c.text);
    }
}

TEST(VendorText, StaysInsideTheBytesTheQueryReturned) {
    const auto descriptor = Descriptor("qorvexd");
    EXPECT_EQ(ExtractVendorText(descriptor, 0), "");
    EXPECT_EQ(ExtractVendorText(descriptor, -5), "");
    const auto size = static_cast<std::int32_t>(descriptor.size());
    EXPECT_EQ(ExtractVendorText(descriptor, size), "");        // just past the end
    EXPECT_EQ(ExtractVendorText(descriptor, 0x7FFFFFFF), "");  // far past it

    // The text runs to the end of the returned bytes when its terminator is missing.
    const auto unterminated = Descriptor("qorvexd", 36, false);
    std::vector<std::uint8_t> exact(unterminated.begin(), unterminated.end());
    EXPECT_EQ(ExtractVendorText(exact, VendorOffsetOf(exact)), "qorvexd");

    // Too short to hold the offset field at all.
    const std::vector<std::uint8_t> shortDescriptor(15, 0x41);
    EXPECT_EQ(VendorOffsetOf(shortDescriptor), 0);
}

TEST(VendorText, IsCutToFitItsBuffer) {
    const auto descriptor = Descriptor(std::string(300, 'q'));
    EXPECT_EQ(ExtractVendorText(descriptor, VendorOffsetOf(descriptor)).size(), kVendorTextMax);
}

// A drive as the fake system shows it, and the step at which it fails.
struct FakeDrive {
    unsigned type = kDriveRemovable;
    std::vector<std::uint8_t> descriptor = Descriptor("QORVEXD ");
    std::uint32_t disk = 1;
    enum class Fail { Nothing, OpenVolume, Extents, OpenDisk, Query, Marker } fail = Fail::Nothing;
};

class FakeProbe final : public DriveProbe {
public:
    std::map<wchar_t, FakeDrive> drives;
    std::vector<std::wstring> typeQueries;
    std::vector<std::wstring> markers;
    std::vector<wchar_t> ejected;
    std::vector<std::uint8_t> markerBytes;
    int opens = 0;
    int closes = 0;

    unsigned DriveType(const std::wstring& rootPath) override {
        typeQueries.push_back(rootPath);
        const FakeDrive* drive = ByPath(rootPath, 0);
        return drive == nullptr || rootPath.size() != 3 ? 1 : drive->type;  // 1: no root dir
    }
    ProbeHandle OpenVolume(const std::wstring& volumePath) override {
        EXPECT_EQ(volumePath.substr(0, 4), L"\\\\.\\");
        return Open(volumePath[4], FakeDrive::Fail::OpenVolume);
    }
    bool FirstExtentDisk(ProbeHandle volume, std::uint32_t& disk) override {
        const FakeDrive& drive = Drive(volume);
        disk = drive.disk;
        return drive.fail != FakeDrive::Fail::Extents;
    }
    ProbeHandle OpenDisk(const std::wstring& diskPath) override {
        // Disks are found by number; the letter whose disk it is gives the failure.
        for (auto& [letter, drive] : drives) {
            if (diskPath == L"\\\\.\\PhysicalDrive" + std::to_wstring(drive.disk)) {
                return Open(letter, FakeDrive::Fail::OpenDisk);
            }
        }
        return kNoProbeHandle;
    }
    bool QueryDescriptor(ProbeHandle disk, std::vector<std::uint8_t>& descriptor) override {
        const FakeDrive& drive = Drive(disk);
        if (drive.fail == FakeDrive::Fail::Query) return false;
        descriptor = drive.descriptor;
        return true;
    }
    void Eject(ProbeHandle volume) override { ejected.push_back(handles.at(volume)); }
    void Close(ProbeHandle handle) override {
        EXPECT_EQ(handles.erase(handle), 1u) << "closed twice or never opened";
        ++closes;
    }
    bool WriteMarker(const std::wstring& path, std::span<const std::uint8_t> bytes) override {
        const FakeDrive* drive = ByPath(path, 0);
        if (drive == nullptr || drive->fail == FakeDrive::Fail::Marker) return false;
        markers.push_back(path);
        markerBytes.assign(bytes.begin(), bytes.end());
        return true;
    }

private:
    const FakeDrive* ByPath(const std::wstring& path, std::size_t at) const {
        const auto found = drives.find(path.size() > at ? path[at] : L'?');
        return found == drives.end() ? nullptr : &found->second;
    }
    const FakeDrive& Drive(ProbeHandle handle) const { return drives.at(handles.at(handle)); }
    ProbeHandle Open(wchar_t letter, FakeDrive::Fail failsHere) {
        const auto found = drives.find(letter);
        if (found == drives.end() || found->second.fail == failsHere) return kNoProbeHandle;
        ++opens;
        handles[nextHandle] = letter;
        return nextHandle++;
    }

    std::map<ProbeHandle, wchar_t> handles;
    ProbeHandle nextHandle = 100;
};

TEST(DiskSwitch, SwitchesTheUnitDiskAndLeavesItsMarker) {
    FakeProbe probe;
    probe.drives[L'f'] = FakeDrive{};
    EXPECT_TRUE(SwitchDiskUnits(probe));
    EXPECT_EQ(probe.ejected, std::vector<wchar_t>{L'f'});
    EXPECT_EQ(probe.markers, std::vector<std::wstring>{L"f:\\1.txt"});
    EXPECT_EQ(std::string(probe.markerBytes.begin(), probe.markerBytes.end()), "abcdefd");
    EXPECT_EQ(probe.opens, 2);
    EXPECT_EQ(probe.closes, 2);
}

TEST(DiskSwitch, AsksEveryLetterFromZDownToCOnItsPlainRoot) {
    FakeProbe probe;
    probe.drives[L'y'] = FakeDrive{};
    probe.drives[L'g'] = FakeDrive{};
    probe.drives[L'g'].disk = 2;
    EXPECT_TRUE(SwitchDiskUnits(probe));

    std::vector<std::wstring> expected;
    for (wchar_t letter = L'z'; letter >= L'c'; --letter) expected.push_back({letter, L':', L'\\'});
    EXPECT_EQ(probe.typeQueries, expected);  // a and b never; no marker name on any root
    // Both matching drives of the scan are switched, each with its own marker.
    EXPECT_EQ(probe.ejected, (std::vector<wchar_t>{L'y', L'g'}));
    EXPECT_EQ(probe.markers, (std::vector<std::wstring>{L"y:\\1.txt", L"g:\\1.txt"}));
}

TEST(DiskSwitch, OpensNothingButRemovableDrivesAndMatchesOnlyTheUnitsVendor) {
    FakeProbe probe;
    for (const auto& [letter, type] : {std::pair{L'c', 3u}, {L'd', 5u}, {L'e', 4u}, {L'f', 6u}}) {
        probe.drives[letter] = FakeDrive{};
        probe.drives[letter].type = type;  // fixed, CD, network, RAM disk
        probe.drives[letter].disk = 10 + letter;
    }
    probe.drives[L'g'] = FakeDrive{};
    probe.drives[L'g'].descriptor = Descriptor("Generic ");
    probe.drives[L'h'] = FakeDrive{};
    probe.drives[L'h'].descriptor[kVendorOffsetField] = 0;  // the unit's text, but no offset to it
    probe.drives[L'h'].disk = 3;

    EXPECT_FALSE(SwitchDiskUnits(probe));
    EXPECT_EQ(probe.opens, 4);  // volume and disk of g and h only
    EXPECT_EQ(probe.closes, 4);
    EXPECT_TRUE(probe.ejected.empty());
    EXPECT_TRUE(probe.markers.empty());
}

TEST(DiskSwitch, ClosesEveryHandleWhicheverStepFails) {
    using Fail = FakeDrive::Fail;
    for (const Fail fail :
         {Fail::OpenVolume, Fail::Extents, Fail::OpenDisk, Fail::Query, Fail::Marker}) {
        SCOPED_TRACE(static_cast<int>(fail));
        FakeProbe probe;
        probe.drives[L'k'] = FakeDrive{};
        probe.drives[L'k'].fail = fail;
        probe.drives[L'j'] = FakeDrive{};  // a later letter still gets its turn
        probe.drives[L'j'].disk = 7;

        // A marker that cannot be written does not change the result.
        EXPECT_TRUE(SwitchDiskUnits(probe));
        EXPECT_EQ(probe.opens, probe.closes);
        EXPECT_EQ(probe.ejected.size(), fail == Fail::Marker ? 2u : 1u);
        EXPECT_EQ(probe.markers, std::vector<std::wstring>{L"j:\\1.txt"});
    }
}

}  // namespace
}  // namespace kivrel
