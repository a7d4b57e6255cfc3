#include "settings_block/settings_block.h"

#include <algorithm>
#include <cstring>

#include "base/byte_sum.h"
#include "base/le_bytes.h"

namespace kivrel {
namespace {

constexpr std::size_t kSumStart = 4;

// Field offsets, by layout family.
constexpr std::size_t kOptionsLow = 8, kOptionsHigh = 16;
constexpr std::size_t kTimeZoneLow = 10, kTimeZoneHigh = 18;
constexpr std::size_t kDaytimeLow = 24, kDaytimeHigh = 50;
constexpr std::size_t kNighttimeLow = 25, kNighttimeHigh = 51;
constexpr std::size_t kModelCodeLow = 28, kModelCodeHigh = 4;
constexpr std::size_t kFixedBandsAt = 11;
constexpr std::size_t kSubBandCountsAt = 19;
constexpr std::size_t kSubBandEnablesAt = 24;
constexpr std::size_t kRadarTypeAt = 48;
constexpr std::size_t kSubBandDisplayAt = 52;
constexpr std::size_t kMarkerAt = 59;
constexpr std::size_t kRangesLayout3 = 174;
constexpr std::size_t kRangesLayout4 = 63;
// The enable bytes end where the radar type begins.
constexpr std::size_t kEnableRoom = kRadarTypeAt - kSubBandEnablesAt;

struct TextFieldPlace {
    std::size_t offset;
    std::size_t width;
};
constexpr TextFieldPlace kApn{53, SettingsBlock::kApnChars + 1};
constexpr TextFieldPlace kServer{81, SettingsBlock::kServerChars + 1};
constexpr TextFieldPlace kPort{101, SettingsBlock::kPortChars + 1};
constexpr TextFieldPlace kUserName{108, SettingsBlock::kUserNameChars + 1};
constexpr TextFieldPlace kPassword{136, SettingsBlock::kPasswordChars + 1};

constexpr bool HighFamily(int layout) noexcept {
    return layout >= 3;
}

std::size_t RangesAt(int layout) noexcept {
    return layout == 3 ? kRangesLayout3 : kRangesLayout4;
}

std::uint32_t SumOver(const SettingsBlock& block, std::size_t length) noexcept {
    return ByteSum(std::span<const std::uint8_t>(block.bytes).subspan(kSumStart, length));
}

}  // namespace

std::size_t SettingsSumLength(int layout) noexcept {
    if (layout <= 1) return 24;
    if (layout == 2) return 72;
    if (layout == 3) return 170;
    return 59;
}

SettingsBlock::SettingsBlock(std::span<const std::uint8_t, kSettingsBlockBytes> raw) noexcept {
    std::copy(raw.begin(), raw.end(), bytes.begin());
}

std::uint32_t SettingsBlock::StoredSum() const noexcept {
    return GetU32(bytes.data());
}

std::uint32_t SettingsBlock::ComputeSum(int layout) const noexcept {
    return SumOver(*this, SettingsSumLength(layout));
}

void SettingsBlock::StoreSum(int layout) noexcept {
    PutU32(bytes.data(), ComputeSum(layout));
}

std::string SettingsBlock::TitleText() const {
    return TextField(4, 4);
}

std::int32_t SettingsBlock::ProgramVersion() const noexcept {
    return static_cast<std::int32_t>(GetU32(bytes.data() + 8));
}

std::string SettingsBlock::ModelCode(int layout) const {
    const std::size_t at = HighFamily(layout) ? kModelCodeHigh : kModelCodeLow;
    return std::string(bytes.begin() + at, bytes.begin() + at + 4);
}

std::uint8_t SettingsBlock::OptionBits(int layout) const noexcept {
    return bytes[HighFamily(layout) ? kOptionsHigh : kOptionsLow];
}

void SettingsBlock::SetOptionBits(int layout, std::uint8_t bits) noexcept {
    bytes[HighFamily(layout) ? kOptionsHigh : kOptionsLow] = bits;
}

bool SettingsBlock::ShowsRadarFrequency(int layout) const noexcept {
    return (OptionBits(layout) & 0x40) != 0;
}

void SettingsBlock::SetShowsRadarFrequency(int layout, bool on) noexcept {
    const std::uint8_t bits = OptionBits(layout);
    SetOptionBits(layout, static_cast<std::uint8_t>(on ? bits | 0x40 : bits & ~0x40));
}

bool SettingsBlock::TwelveHourClock(int layout) const noexcept {
    return (OptionBits(layout) & 0x20) != 0;
}

bool SettingsBlock::FrequencyDisplayOffered() const noexcept {
    return (bytes[kOptionsHigh] & 0x80) != 0;
}

int SettingsBlock::TimeZone(int layout) const noexcept {
    return SignedByte(HighFamily(layout) ? kTimeZoneHigh : kTimeZoneLow);
}

void SettingsBlock::SetTimeZone(int layout, int hours) noexcept {
    SetByte(HighFamily(layout) ? kTimeZoneHigh : kTimeZoneLow, hours);
}

int SettingsBlock::DaytimeHour(int layout) const noexcept {
    return SignedByte(HighFamily(layout) ? kDaytimeHigh : kDaytimeLow);
}

void SettingsBlock::SetDaytimeHour(int layout, int hour) noexcept {
    SetByte(HighFamily(layout) ? kDaytimeHigh : kDaytimeLow, hour);
}

int SettingsBlock::NighttimeHour(int layout) const noexcept {
    return SignedByte(HighFamily(layout) ? kNighttimeHigh : kNighttimeLow);
}

void SettingsBlock::SetNighttimeHour(int layout, int hour) noexcept {
    SetByte(HighFamily(layout) ? kNighttimeHigh : kNighttimeLow, hour);
}

bool SettingsBlock::FixedBandEnabled(std::size_t index) const noexcept {
    return index < 12 && bytes[kFixedBandsAt + index] != 0;
}

void SettingsBlock::SetFixedBandEnabled(std::size_t index, bool on) noexcept {
    if (index < 12) bytes[kFixedBandsAt + index] = on ? 1 : 0;
}

SubBandCounts SettingsBlock::SubBands() const noexcept {
    auto count = [&](std::size_t i) { return std::max(0, SignedByte(kSubBandCountsAt + i)); };
    return {count(0), count(1), count(2), count(3), count(4)};
}

std::size_t SettingsBlock::SubBandRoom(int layout) noexcept {
    const std::size_t rangeRoom = (kSettingsBlockBytes - RangesAt(layout)) / 4;
    return std::min(kEnableRoom, rangeRoom);
}

bool SettingsBlock::SubBandEnabled(std::size_t index) const noexcept {
    return index < kEnableRoom && bytes[kSubBandEnablesAt + index] != 0;
}

bool SettingsBlock::SetSubBandEnabled(std::size_t index, bool on) noexcept {
    if (index >= kEnableRoom) return false;
    bytes[kSubBandEnablesAt + index] = on ? 1 : 0;
    return true;
}

bool SettingsBlock::SubBandRange(int layout, std::size_t index, FrequencyRange& out) const {
    if (index >= SubBandRoom(layout)) return false;
    const std::uint8_t* p = bytes.data() + RangesAt(layout) + index * 4;
    out.lowMhz = static_cast<std::uint16_t>(p[0] | p[1] << 8);
    out.highMhz = static_cast<std::uint16_t>(p[2] | p[3] << 8);
    return true;
}

bool SettingsBlock::SetSubBandRange(int layout, std::size_t index, FrequencyRange range) {
    if (index >= SubBandRoom(layout)) return false;
    std::uint8_t* p = bytes.data() + RangesAt(layout) + index * 4;
    p[0] = static_cast<std::uint8_t>(range.lowMhz);
    p[1] = static_cast<std::uint8_t>(range.lowMhz >> 8);
    p[2] = static_cast<std::uint8_t>(range.highMhz);
    p[3] = static_cast<std::uint8_t>(range.highMhz >> 8);
    return true;
}

std::string SettingsBlock::SubBandName(std::size_t index) const {
    const SubBandCounts counts = SubBands();
    struct Group {
        const char* name;
        int count;
    };
    const Group groups[] = {{"X", counts.x},
                            {"Ku", counts.ku},
                            {"K", counts.k},
                            {"Ka", counts.ka},
                            {"Laser", counts.laser}};
    std::size_t place = index;
    for (const Group& group : groups) {
        const auto count = static_cast<std::size_t>(group.count);
        if (place >= count) {
            place -= count;
            continue;
        }
        std::string name = group.name;
        if (name == "K") {
            // Several K sub-bands: the first is the MTR band, the others plain K, unnumbered.
            if (count > 1 && place == 0) name = "MTR";
        } else if (count > 1) {
            name += std::to_string(place + 1);
        }
        return name + " Band";
    }
    return {};
}

int SettingsBlock::RadarType() const noexcept {
    return SignedByte(kRadarTypeAt);
}

int SettingsBlock::SubBandDisplay() const noexcept {
    return SignedByte(kSubBandDisplayAt);
}

std::string SettingsBlock::Apn() const {
    return TextField(kApn.offset, kApn.width);
}
std::string SettingsBlock::Server() const {
    return TextField(kServer.offset, kServer.width);
}
std::string SettingsBlock::Port() const {
    return TextField(kPort.offset, kPort.width);
}
std::string SettingsBlock::UserName() const {
    return TextField(kUserName.offset, kUserName.width);
}
std::string SettingsBlock::Password() const {
    return TextField(kPassword.offset, kPassword.width);
}

bool SettingsBlock::SetApn(std::string_view text) noexcept {
    return SetTextField(kApn.offset, kApn.width, text);
}
bool SettingsBlock::SetServer(std::string_view text) noexcept {
    return SetTextField(kServer.offset, kServer.width, text);
}
bool SettingsBlock::SetPort(std::string_view text) noexcept {
    return SetTextField(kPort.offset, kPort.width, text);
}
bool SettingsBlock::SetUserName(std::string_view text) noexcept {
    return SetTextField(kUserName.offset, kUserName.width, text);
}
bool SettingsBlock::SetPassword(std::string_view text) noexcept {
    return SetTextField(kPassword.offset, kPassword.width, text);
}

std::string SettingsBlock::TextField(std::size_t offset, std::size_t width) const {
    const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(offset);
    const auto last = first + static_cast<std::ptrdiff_t>(width);
    return std::string(first, std::find(first, last, std::uint8_t{0}));
}

bool SettingsBlock::SetTextField(std::size_t offset, std::size_t width,
                                 std::string_view text) noexcept {
    // A zero byte inside would cut the text short when read back.
    if (text.size() >= width || text.find('\0') != std::string_view::npos) return false;
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), width, std::uint8_t{0});
    std::memcpy(bytes.data() + offset, text.data(), text.size());
    return true;
}

int SettingsBlock::SignedByte(std::size_t offset) const noexcept {
    return static_cast<std::int8_t>(bytes[offset]);
}

void SettingsBlock::SetByte(std::size_t offset, int value) noexcept {
    bytes[offset] = static_cast<std::uint8_t>(value);  // low 8 bits, as the unit stores them
}

int RecogniseSettingsLayout(const SettingsBlock& block,
                            std::span<const std::uint8_t> identity) noexcept {
    const std::uint32_t stored = block.StoredSum();
    if (GetU32(block.bytes.data() + kMarkerAt) == kSettingsMarker &&
        SumOver(block, SettingsSumLength(4)) == stored) {
        return 4;
    }
    // The longer sums first: a block can match several.
    for (int layout : {3, 2, 1}) {
        if (SumOver(block, SettingsSumLength(layout)) == stored) return layout;
    }
    constexpr std::uint8_t kUxo[] = {'U', 'X', 'O'};
    if (identity.size() >= 3 && std::equal(kUxo, kUxo + 3, identity.begin())) {
        return kSettingsUnusableUxo;
    }
    return kSettingsUnusable;
}

}  // namespace kivrel
