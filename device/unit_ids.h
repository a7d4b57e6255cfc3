#pragma once
// How the unit is recognised: its USB identifiers in device paths, and the interface classes
// whose arrival and removal the main window listens for.

#include <array>
#include <cstdint>
#include <string_view>

namespace kivrel {

inline constexpr std::uint16_t kUnitVendorId = 0x0416;
inline constexpr std::uint16_t kUnitProductId = 0xB500;
inline constexpr std::wstring_view kUnitPathText = L"vid_0416&pid_b500";

// A GUID as its four fields; the same 16 bytes Windows keeps in a GUID.
struct InterfaceClass {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};
    friend bool operator==(const InterfaceClass&, const InterfaceClass&) = default;
};

// In notification order; ClassIndex gives 1-based positions in this table.
inline constexpr std::array<InterfaceClass, 5> kNotificationClasses = {{
    {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}},  // USB device
    {0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}},  // volume
    {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}},  // disk
    {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}},  // HID
    {0xAD498944, 0x762F, 0x11D0, {0x8D, 0xCB, 0x00, 0xC0, 0x4F, 0xC3, 0x35, 0x8C}},  // network
}};
inline constexpr int kClassIndexVolume = 2;
inline constexpr int kClassIndexHid = 4;

// True when the device path names the unit: "vid_0416&pid_b500" anywhere, case ignored.
[[nodiscard]] bool IsUnitPath(std::wstring_view path) noexcept;
// 1-5: the position of the class in kNotificationClasses; 0 when it is not there.
[[nodiscard]] int ClassIndex(const InterfaceClass& interfaceClass) noexcept;

}  // namespace kivrel
