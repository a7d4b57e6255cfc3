#include "device/disk_switch.h"

#include <algorithm>
#include <utility>

#include "base/ascii_text.h"
#include "base/le_bytes.h"

namespace kivrel {
namespace {

// C-locale character classes on a byte.
bool IsPrint(std::uint8_t c) noexcept {
    return c >= 0x20 && c < 0x7F;
}
bool IsSpace(std::uint8_t c) noexcept {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The pairs of hexadecimal digits some units give instead of the text. False when the string
// is not such pairs (a character that is no digit, or a decoded byte that is not printable).
bool DecodeHexPairs(std::span<const std::uint8_t> digits, std::string& text) {
    std::string decoded;
    unsigned byte = 0;
    bool secondDigit = false;
    for (const std::uint8_t raw : digits) {
        const auto c = static_cast<std::uint8_t>(FoldAscii(static_cast<char>(raw)));
        unsigned digit = 0;
        if (IsSpace(c)) {
            digit = 0;  // units pad with blanks, which count as 0
        } else if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else {
            return false;
        }
        byte = ((byte << 4) + digit) & 0xFF;
        if (secondDigit) {
            if (byte != 0 && !IsPrint(static_cast<std::uint8_t>(byte))) return false;
            decoded.push_back(static_cast<char>(byte));
            byte = 0;
        }
        secondDigit = !secondDigit;
    }
    // A half-built last byte is dropped; the text ends at its first zero byte.
    text = decoded.substr(0, decoded.find('\0'));
    return true;
}

// The string as it stands: empty when any of it is not printable.
std::string PrintableText(std::span<const std::uint8_t> chars) {
    if (!std::all_of(chars.begin(), chars.end(), IsPrint)) return {};
    return std::string(chars.begin(), chars.end());
}

void TrimOuterSpace(std::string& text) {
    const auto isSpace = [](char c) { return IsSpace(static_cast<std::uint8_t>(c)); };
    const auto first = std::find_if_not(text.begin(), text.end(), isSpace);
    // All white space stays as it is.
    if (first == text.end()) return;
    const auto last = std::find_if_not(text.rbegin(), text.rend(), isSpace).base();
    text = std::string(first, last);
}

}  // namespace

std::int32_t VendorOffsetOf(std::span<const std::uint8_t> descriptor) noexcept {
    std::uint32_t value = 0;  // a descriptor too short to hold the field gives 0
    (void)LeReader(descriptor).U32At(kVendorOffsetField, value);
    return static_cast<std::int32_t>(value);
}

std::string ExtractVendorText(std::span<const std::uint8_t> descriptor, std::int32_t vendorOffset) {
    if (vendorOffset <= 0) return {};
    const auto offset = static_cast<std::size_t>(vendorOffset);
    if (offset >= descriptor.size()) return {};
    // The string runs to its NUL, or to the end of what the query returned.
    std::span<const std::uint8_t> chars = descriptor.subspan(offset);
    const auto nul = std::find(chars.begin(), chars.end(), std::uint8_t{0});
    chars = chars.first(static_cast<std::size_t>(nul - chars.begin()));

    std::string text;
    if (!DecodeHexPairs(chars, text)) text = PrintableText(chars);
    if (!text.empty()) TrimOuterSpace(text);
    if (text.size() > kVendorTextMax) text.resize(kVendorTextMax);
    return text;
}

namespace {

// Gives a probe handle back on every path out of a scan step.
class ProbeHandleOwner {
public:
    ProbeHandleOwner(DriveProbe& owner, ProbeHandle opened) noexcept
        : probe(owner), handle(opened) {}
    ~ProbeHandleOwner() { Reset(); }
    ProbeHandleOwner(const ProbeHandleOwner&) = delete;
    ProbeHandleOwner& operator=(const ProbeHandleOwner&) = delete;

    [[nodiscard]] bool Valid() const noexcept { return handle != kNoProbeHandle; }
    [[nodiscard]] ProbeHandle Get() const noexcept { return handle; }
    void Reset() noexcept {
        if (Valid()) probe.Close(std::exchange(handle, kNoProbeHandle));
    }

private:
    DriveProbe& probe;
    ProbeHandle handle;
};

bool IsUnitDisk(DriveProbe& probe, ProbeHandle volume) {
    std::uint32_t diskNumber = 0;
    if (!probe.FirstExtentDisk(volume, diskNumber)) return false;
    ProbeHandleOwner disk(probe,
                          probe.OpenDisk(L"\\\\.\\PhysicalDrive" + std::to_wstring(diskNumber)));
    if (!disk.Valid()) return false;
    std::vector<std::uint8_t> descriptor;
    if (!probe.QueryDescriptor(disk.Get(), descriptor)) return false;
    disk.Reset();
    const std::string vendor = ExtractVendorText(descriptor, VendorOffsetOf(descriptor));
    return EqualsIgnoringAsciiCase(std::string_view(vendor), kDiskModeVendor);
}

}  // namespace

bool SwitchDiskUnits(DriveProbe& probe) {
    bool switched = false;
    for (wchar_t letter = L'z'; letter >= L'c'; --letter) {
        const std::wstring root = std::wstring(1, letter) + L":\\";
        if (probe.DriveType(root) != kDriveRemovable) continue;
        ProbeHandleOwner volume(probe,
                                probe.OpenVolume(L"\\\\.\\" + std::wstring(1, letter) + L":"));
        if (!volume.Valid() || !IsUnitDisk(probe, volume.Get())) continue;

        probe.Eject(volume.Get());
        // The marker path is this letter's own: the next letters' drive types are asked on
        // their plain roots.
        const std::wstring marker =
            root + std::wstring(kDiskModeMarkerName.begin(), kDiskModeMarkerName.end());
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(kDiskModeMarkerBytes.data());
        probe.WriteMarker(marker, {bytes, kDiskModeMarkerBytes.size()});  // failure changes nothing
        switched = true;
    }
    return switched;
}

}  // namespace kivrel
