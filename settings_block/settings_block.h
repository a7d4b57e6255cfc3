#pragma once
// The unit's 256-byte settings record in its four layouts: the checksum, the recognition of the
// layout, and typed access to every field. Bytes that no field names are kept as read.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kivrel {

inline constexpr std::size_t kSettingsBlockBytes = 256;
inline constexpr std::uint32_t kSettingsMarker = 0x12345678;  // bytes 59-62 of layout 4

// Layout numbers: 1-4 usable; 0 (identity begins "UXO") and -1 mean the block is not usable.
inline constexpr int kSettingsUnusableUxo = 0;
inline constexpr int kSettingsUnusable = -1;

// Bytes 4 ... 4+N-1 are summed into bytes 0-3: N = 24 for layout 1 and below, 72 for 2,
// 170 for 3, 59 for 4 and above.
[[nodiscard]] std::size_t SettingsSumLength(int layout) noexcept;

struct SubBandCounts {
    int x = 0, ku = 0, k = 0, ka = 0, laser = 0;
    [[nodiscard]] int Total() const noexcept { return x + ku + k + ka + laser; }
};

struct FrequencyRange {
    std::uint16_t lowMhz = 0;
    std::uint16_t highMhz = 0;
};

class SettingsBlock {
public:
    std::array<std::uint8_t, kSettingsBlockBytes> bytes{};

    SettingsBlock() = default;
    explicit SettingsBlock(std::span<const std::uint8_t, kSettingsBlockBytes> raw) noexcept;

    // Checksum: what bytes 0-3 hold, what they should hold for a layout, and storing it.
    [[nodiscard]] std::uint32_t StoredSum() const noexcept;
    [[nodiscard]] std::uint32_t ComputeSum(int layout) const noexcept;
    void StoreSum(int layout) noexcept;

    // Shown in every layout's window title: bytes 4-7 as text to the first zero byte, and the
    // signed number at bytes 8-11.
    [[nodiscard]] std::string TitleText() const;
    [[nodiscard]] std::int32_t ProgramVersion() const noexcept;

    // Fields whose place depends on the layout: 1-2 (and the unusable 0/-1) or 3-4.
    [[nodiscard]] std::string ModelCode(int layout) const;             // bytes 28-31 or 4-7
    [[nodiscard]] std::uint8_t OptionBits(int layout) const noexcept;  // byte 8 or 16
    void SetOptionBits(int layout, std::uint8_t bits) noexcept;
    [[nodiscard]] bool ShowsRadarFrequency(int layout) const noexcept;  // option bit 6
    void SetShowsRadarFrequency(int layout, bool on) noexcept;
    [[nodiscard]] bool TwelveHourClock(int layout) const noexcept;  // option bit 5
    [[nodiscard]] bool FrequencyDisplayOffered() const noexcept;    // layouts 3-4, bit 7
    [[nodiscard]] int TimeZone(int layout) const noexcept;          // byte 10 or 18
    void SetTimeZone(int layout, int hours) noexcept;
    [[nodiscard]] int DaytimeHour(int layout) const noexcept;  // byte 24 or 50
    void SetDaytimeHour(int layout, int hour) noexcept;
    [[nodiscard]] int NighttimeHour(int layout) const noexcept;  // byte 25 or 51
    void SetNighttimeHour(int layout, int hour) noexcept;

    // Layouts 1-2: one enable byte per fixed band (bytes 11-22). Index beyond 11: false/no-op.
    [[nodiscard]] bool FixedBandEnabled(std::size_t index) const noexcept;
    void SetFixedBandEnabled(std::size_t index, bool on) noexcept;

    // Layouts 3-4: sub-band counts (bytes 19-23; a negative count counts as 0), enable bytes
    // from 24, radar type (byte 48), sub-band display flag (byte 52) and the frequency ranges
    // (from 174 in layout 3, from 63 in layout 4). The counts come from the unit, so every
    // index is checked against the room the layout has; out of room reads false and writes
    // nothing.
    [[nodiscard]] SubBandCounts SubBands() const noexcept;
    [[nodiscard]] static std::size_t SubBandRoom(int layout) noexcept;
    [[nodiscard]] bool SubBandEnabled(std::size_t index) const noexcept;
    [[nodiscard]] bool SetSubBandEnabled(std::size_t index, bool on) noexcept;
    [[nodiscard]] bool SubBandRange(int layout, std::size_t index, FrequencyRange& out) const;
    [[nodiscard]] bool SetSubBandRange(int layout, std::size_t index, FrequencyRange range);
    // "X", "Ku1", "MTR", "K", "Ka2", "Laser" ... followed by " Band"; empty beyond the count.
    [[nodiscard]] std::string SubBandName(std::size_t index) const;
    [[nodiscard]] int RadarType() const noexcept;
    [[nodiscard]] int SubBandDisplay() const noexcept;

    // Layout 3: the mobile data connection, 8-bit texts in zero-padded fields. A setter refuses
    // (false, field unchanged) a text that leaves no room for the terminating zero or holds a
    // zero byte.
    [[nodiscard]] std::string Apn() const;
    [[nodiscard]] std::string Server() const;
    [[nodiscard]] std::string Port() const;
    [[nodiscard]] std::string UserName() const;
    [[nodiscard]] std::string Password() const;
    [[nodiscard]] bool SetApn(std::string_view text) noexcept;
    [[nodiscard]] bool SetServer(std::string_view text) noexcept;
    [[nodiscard]] bool SetPort(std::string_view text) noexcept;
    [[nodiscard]] bool SetUserName(std::string_view text) noexcept;
    [[nodiscard]] bool SetPassword(std::string_view text) noexcept;
    // The characters each of those fields holds, its terminating zero not counted.
    static constexpr std::size_t kApnChars = 27;
    static constexpr std::size_t kServerChars = 19;
    static constexpr std::size_t kPortChars = 6;
    static constexpr std::size_t kUserNameChars = 27;
    static constexpr std::size_t kPasswordChars = 27;

    friend bool operator==(const SettingsBlock&, const SettingsBlock&) = default;

private:
    [[nodiscard]] std::string TextField(std::size_t offset, std::size_t width) const;
    [[nodiscard]] bool SetTextField(std::size_t offset, std::size_t width,
                                    std::string_view text) noexcept;
    [[nodiscard]] int SignedByte(std::size_t offset) const noexcept;
    void SetByte(std::size_t offset, int value) noexcept;
};

// The layout of a block as read, tested in the order 4, 3, 2, 1; when no sum matches, 0 if the
// identity block begins with "UXO", else -1.
[[nodiscard]] int RecogniseSettingsLayout(const SettingsBlock& block,
                                          std::span<const std::uint8_t> identity) noexcept;

}  // namespace kivrel
