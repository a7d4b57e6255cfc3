#pragma once
// The switch out of removable-disk mode: a unit that shows up as a removable disk is found by
// the vendor text its disk reports, its medium is ejected and a marker file left in its root
// folder, after which it comes back as the HID device.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "device/drive_probe.h"

namespace kivrel {

inline constexpr std::string_view kDiskModeVendor = "qorvexd";
inline constexpr std::string_view kDiskModeMarkerName = "1.txt";
inline constexpr std::string_view kDiskModeMarkerBytes = "abcdefd";
// The vendor text is kept in a 104-byte buffer: at most 103 bytes and the terminator.
inline constexpr std::size_t kVendorTextMax = 103;
// Where a storage device descriptor keeps the offset of its vendor text.
inline constexpr std::size_t kVendorOffsetField = 12;

// The vendor text at `vendorOffset` in a storage device descriptor. Some units give it as
// pairs of hexadecimal digits, which are decoded; otherwise the printable text is taken as it
// is; then outer white space is trimmed. The descriptor is untrusted: neither the offset nor
// the text may reach past the bytes the query returned, and the end of those bytes ends the
// text as its terminator would. An offset of 0 or less gives an empty text.
[[nodiscard]] std::string ExtractVendorText(std::span<const std::uint8_t> descriptor,
                                            std::int32_t vendorOffset);
// The vendor offset field of a descriptor; 0 when the descriptor is too short to hold it.
[[nodiscard]] std::int32_t VendorOffsetOf(std::span<const std::uint8_t> descriptor) noexcept;

// Scans the drive letters z down to c for removable disks whose vendor text is the unit's,
// ejects each and writes the marker into its root. True when at least one was found and sent
// the eject request. Every handle opened is closed on every path; any failing step only skips
// that letter. Every matching drive of one scan is switched.
[[nodiscard]] bool SwitchDiskUnits(DriveProbe& probe);

// The same over the system's drives (Windows only: drive_probe_win32.cpp).
[[nodiscard]] bool SwitchDiskUnits();

}  // namespace kivrel
