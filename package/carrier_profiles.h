#pragma once
// The mobile carriers a layout-3 unit can be set up for: a build-time table beside the vendor
// table. The settings window offers the entries in this order; only the last one's APN, user
// name and password may be changed by the user.

#include <array>
#include <cstddef>
#include <string_view>

namespace kivrel {

inline constexpr std::size_t kCarrierProfileCount = 8;
inline constexpr std::size_t kEditableCarrierProfile = kCarrierProfileCount - 1;
// Each text field of a profile holds at most this many characters.
inline constexpr std::size_t kCarrierFieldChars = 100;

struct CarrierProfile {
    std::wstring_view name;  // shown in the Company box
    std::wstring_view apn;   // APN host name, compared with the unit's ignoring case
    std::wstring_view userName;
    std::wstring_view password;
};

[[nodiscard]] const std::array<CarrierProfile, kCarrierProfileCount>& CarrierProfiles() noexcept;

}  // namespace kivrel
