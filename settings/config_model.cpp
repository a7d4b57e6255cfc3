#include "settings/config_model.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <limits>

#include "base/ascii_text.h"
#include "device/gps_unit.h"
#include "package/carrier_profiles.h"
#include "package/vendor_config.h"
#include "settings_block/band_table.h"

namespace kivrel {
namespace {

// Controls the template itself keeps hidden: the two band anchors and the 12-hour box.
constexpr int kHiddenInTemplate[] = {kIdBandAnchor1, kIdBandAnchor2, kIdTwelveHour};

// The band list's model code for layout-2 units that have sub-bands.
constexpr std::uint32_t kSubBandModel = 'V' | '4' << 8 | '7' << 16 | std::uint32_t{' '} << 24;

// Fixed-band enable bytes of the five-band list in layouts 1-2: each box covers a run of them.
struct FiveBand {
    std::wstring_view label;
    std::size_t firstFixedBand;
    std::size_t fixedBands;
    std::string_view key;
};
constexpr FiveBand kFiveBands[] = {{L"X Band", 0, 1, "x"},
                                   {L"Ku Band", 1, 1, "ku"},
                                   {L"K Band", 2, 4, "k"},
                                   {L"KA Band", 6, 5, "ka"},
                                   {L"Laser Band", 11, 1, "laser"}};

// A sub-band's name ("Ka2 Band") as scripts write it ("ka2").
std::string UnitBandKey(std::string_view name) {
    constexpr std::string_view kSuffix = " Band";
    if (name.ends_with(kSuffix)) name.remove_suffix(kSuffix.size());
    std::string key;
    for (char c : name) key += static_cast<char>(FoldAscii(c));
    return key;
}

// Numbers the keys a list holds more than once, in list order: k_1, k_2, ...
void NumberRepeatedKeys(std::vector<BandBox>& bands) {
    for (std::size_t i = 0; i < bands.size(); ++i) {
        const std::string key = bands[i].key;
        const auto same = std::count_if(bands.begin(), bands.end(),
                                        [&key](const BandBox& box) { return box.key == key; });
        if (same < 2) continue;
        for (std::size_t j = i, n = 1; j < bands.size(); ++j) {
            if (bands[j].key == key) bands[j].key = key + "_" + std::to_string(n++);
        }
    }
}

std::wstring RangeText(std::uint16_t lowMhz, std::uint16_t highMhz) {
    wchar_t text[48];
    std::swprintf(text, std::size(text), L"(%.03f~%.03f)", lowMhz / 1000.0, highMhz / 1000.0);
    return text;
}

std::wstring TooLongText(std::wstring_view field, std::size_t limit) {
    return std::wstring(field) + L" is too long: at most " + std::to_wstring(limit) +
           L" characters!";
}

std::wstring NotOneByteText(std::wstring_view field) {
    return std::wstring(field) +
           L" holds a character the unit cannot store: use ASCII characters only!";
}

}  // namespace

std::wstring WidenBytes(std::string_view bytes) {
    std::wstring wide;
    wide.reserve(bytes.size());
    for (char c : bytes) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return wide;
}

std::optional<std::string> NarrowToBytes(std::wstring_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (wchar_t c : text) {
        const auto code = static_cast<std::uint32_t>(c);
        // A zero byte would end the text early when the unit reads it.
        if (code == 0 || code > 0xFF) return std::nullopt;
        bytes += static_cast<char>(code);
    }
    return bytes;
}

std::optional<int> ParseBoxInteger(std::wstring_view text) {
    const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == L'-' || text.front() == L'+')) {
        negative = text.front() == L'-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    std::int64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
        if (value > std::int64_t{std::numeric_limits<int>::max()} + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int>::max()) return std::nullopt;
    return static_cast<int>(value);
}

ConfigInputs ConfigInputsOf(const CGpsUnit& unit, std::wstring title, const VendorConfig& vendor) {
    ConfigInputs inputs;
    inputs.title = std::move(title);
    inputs.bootVersion = unit.bootVersion;
    inputs.layout = unit.settingsFormat;
    inputs.identity = unit.identity;
    inputs.recordModelId = unit.layoutRecord.Word(LayoutRecord::kModelId);
    inputs.fiveBandTag = std::string(vendor.fiveBandTag);
    return inputs;
}

ConfigModel::ConfigModel(const ConfigInputs& inputs, const SettingsBlock& block)
    : layout(inputs.layout), original(block) {
    title = inputs.title + std::wstring(14, L' ') + WidenBytes(block.TitleText()) + L"    Boot:" +
            std::to_wstring(inputs.bootVersion) + L"     Program Version:" +
            std::to_wstring(block.ProgramVersion());

    if (layout == 3) {
        BuildNetwork();
    } else {
        for (int id : kNetworkControlIds) Hide(id);
    }
    BuildBandList(inputs);

    const int timeZone = block.TimeZone(layout);
    const int daytime = block.DaytimeHour(layout);
    const int nighttime = block.NighttimeHour(layout);
    texts.emplace_back(kIdTimeZoneLabel, kTimeZoneLabelText);
    if (timeZone > 13 || timeZone < -12) {
        Hide(kIdTimeZoneLabel);
        Hide(kIdTimeZone);
    }
    texts.emplace_back(kIdDaytimeLabel, kDaytimeLabelText);
    if (daytime < 0) {
        Hide(kIdDaytimeLabel);
        Hide(kIdDaytime);
    }
    texts.emplace_back(kIdNighttimeLabel, kNighttimeLabelText);
    if (nighttime < 0) {
        Hide(kIdNighttimeLabel);
        Hide(kIdNighttime);
    }
    texts.emplace_back(kIdConfigOk, L"OK");
    texts.emplace_back(kIdConfigCancel, L"Cancel");
    initial.timeZone = std::to_wstring(timeZone);
    initial.daytime = std::to_wstring(daytime);
    initial.nighttime = std::to_wstring(nighttime);
}

void ConfigModel::Hide(int id) {
    if (std::find(hidden.begin(), hidden.end(), id) == hidden.end()) hidden.push_back(id);
}

bool ConfigModel::Shown(int id) const noexcept {
    if (std::find(std::begin(kHiddenInTemplate), std::end(kHiddenInTemplate), id) !=
        std::end(kHiddenInTemplate)) {
        return false;
    }
    return std::find(hidden.begin(), hidden.end(), id) == hidden.end();
}

void ConfigModel::BuildBandList(const ConfigInputs& inputs) {
    // The unit says how many sub-bands it has, but the block has room for only so many enable
    // bytes (before the radar type at byte 48) and, in layout 3, range entries (before byte
    // 256): past that room a count would overwrite other fields or read past the block.
    const auto counted = static_cast<std::size_t>(original.SubBands().Total());
    subBandCount = layout >= 3 ? std::min(counted, SettingsBlock::SubBandRoom(layout)) : 0;

    if (layout == 2) {
        subBandList = inputs.recordModelId == kSubBandModel;
    } else if (layout == 1) {
        const std::string_view tag = inputs.fiveBandTag;
        subBandList =
            !(tag.size() == 5 &&
              std::equal(tag.begin(), tag.end(), inputs.identity.begin(),
                         [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
    } else {
        subBandList = original.RadarType() >= 5 || original.SubBandDisplay() > 0;
    }

    if (!subBandList) {
        BuildFiveBands();
        Hide(kIdFrequencyDisplay);
    } else {
        if (layout <= 2) {
            BuildFixedSubBands();
        } else {
            BuildUnitSubBands();
        }
        PlaceFrequencyDisplay();
    }
    for (const BandBox& box : bands) initial.bands.push_back(box.checked);
}

void ConfigModel::BuildFiveBands() {
    for (std::size_t i = 0; i < std::size(kFiveBands); ++i) {
        const FiveBand& band = kFiveBands[i];
        bool checked = false;
        if (layout <= 2) {
            for (std::size_t b = 0; b < band.fixedBands; ++b) {
                checked = checked || original.FixedBandEnabled(band.firstFixedBand + b);
            }
        } else {
            checked = original.SubBandEnabled(i);
        }
        bands.push_back({kIdFirstBandBox + static_cast<int>(i), std::wstring(band.label), checked,
                         1, static_cast<int>(i), std::string(band.key)});
    }
}

void ConfigModel::BuildFixedSubBands() {
    for (std::size_t i = 0; i < kFixedBands.size(); ++i) {
        const FixedBand& band = kFixedBands[i];
        const int row = static_cast<int>(i % 6);
        bands.push_back({kIdFirstBandBox + static_cast<int>(i),
                         WidenBytes(band.name) + RangeText(band.lowMhz, band.highMhz),
                         original.FixedBandEnabled(i), i < 6 ? 1 : 2, row, std::string(band.key)});
    }
}

void ConfigModel::BuildUnitSubBands() {
    for (std::size_t i = 0; i < subBandCount; ++i) {
        FrequencyRange range;
        (void)original.SubBandRange(layout, i, range);  // within the room: always read
        const bool first = i < kSubBandsInColumn1;
        bands.push_back(
            {kIdFirstBandBox + static_cast<int>(i),
             WidenBytes(original.SubBandName(i)) + RangeText(range.lowMhz, range.highMhz),
             original.SubBandEnabled(i), first ? 1 : 2,
             static_cast<int>(first ? i : i - kSubBandsInColumn1),
             UnitBandKey(original.SubBandName(i))});
    }
    NumberRepeatedKeys(bands);
}

void ConfigModel::PlaceFrequencyDisplay() {
    bool shown = false;
    if (layout >= 3 && original.RadarType() > 2) {
        shown = original.FrequencyDisplayOffered() && original.SubBandDisplay() != 0;
    } else {
        shown = original.ModelCode(layout) != "UXO ";
    }
    if (!shown) {
        Hide(kIdFrequencyDisplay);
        return;
    }
    texts.emplace_back(kIdFrequencyDisplay, kFrequencyDisplayText);
    initial.frequencyDisplay = original.ShowsRadarFrequency(layout);
}

void ConfigModel::BuildNetwork() {
    const auto& profiles = CarrierProfiles();
    const std::wstring apn = WidenBytes(original.Apn());
    int match = -1;
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        if (EqualsIgnoringAsciiCase(apn, profiles[i].apn)) match = static_cast<int>(i);
    }
    if (match >= 0) {
        PickCarrier(static_cast<std::size_t>(match), initial);
    } else {
        // An APN of no profile is the unit's own connection: show it and keep it, rather than
        // offering the first carrier's and storing that over it.
        initial.apn = apn;
        initial.userName = WidenBytes(original.UserName());
        initial.password = WidenBytes(original.Password());
    }
    initial.server = WidenBytes(original.Server());
    initial.port = WidenBytes(original.Port());
}

void ConfigModel::PickCarrier(std::size_t index, ConfigEntries& entries) {
    const auto& profiles = CarrierProfiles();
    if (index >= profiles.size()) return;
    carrier = static_cast<int>(index);
    companyText = profiles[index].name;
    entries.apn = profiles[index].apn;
    entries.userName = profiles[index].userName;
    entries.password = profiles[index].password;
    credentialsEditable = index == kEditableCarrierProfile;
}

PixelRect ConfigModel::BandBoxRect(const BandBox& box, const PixelRect& anchor1,
                                   const PixelRect& anchor2) noexcept {
    const PixelRect& column = box.column == 1 ? anchor1 : anchor2;
    const int height = anchor1.Height();
    const int top = column.top + box.row * (height + kBandBoxGap);
    return {column.left, top, column.right, top + height};
}

std::wstring ConfigModel::CheckTexts(const ConfigEntries& entries) const {
    // The unit's APN, user and password are kept as they are while no carrier applies.
    const bool credentials = layout == 3 && carrier >= 0;
    struct Field {
        std::wstring_view name;
        const std::wstring& text;
        std::size_t limit;
        bool stored;
    };
    // Each field's name in messages and the characters the block has room for.
    const Field fields[] = {
        {L"APN", entries.apn, SettingsBlock::kApnChars, credentials},
        {L"User name", entries.userName, SettingsBlock::kUserNameChars, credentials},
        {L"Password", entries.password, SettingsBlock::kPasswordChars, credentials},
        {L"Server", entries.server, SettingsBlock::kServerChars, true},
        {L"Port", entries.port, SettingsBlock::kPortChars, true}};
    for (const Field& field : fields) {
        if (field.stored && field.text.size() > field.limit) {
            return TooLongText(field.name, field.limit);
        }
    }
    for (const Field& field : fields) {
        if (field.stored && !NarrowToBytes(field.text)) return NotOneByteText(field.name);
    }
    // The box takes only digits as typed, but a pasted text gets past that.
    if (entries.port.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return std::wstring(kTextPortDigits);
    }
    return {};
}

std::wstring ConfigModel::Ok(const ConfigEntries& entries, SettingsBlock& block) const {
    const std::optional<int> timeZone = ParseBoxInteger(entries.timeZone);
    const std::optional<int> daytime = timeZone ? ParseBoxInteger(entries.daytime) : std::nullopt;
    const std::optional<int> nighttime =
        daytime ? ParseBoxInteger(entries.nighttime) : std::nullopt;
    if (!nighttime) return std::wstring(kTextNotAnInteger);
    if (Shown(kIdTimeZone) && (*timeZone < -12 || *timeZone > 13)) {
        return std::wstring(kTextTimeZoneError);
    }
    if (Shown(kIdDaytime) && (*daytime < 3 || *daytime > 10)) {
        return std::wstring(kTextDaytimeError);
    }
    if (Shown(kIdNighttime) && (*nighttime < 15 || *nighttime > 23)) {
        return std::wstring(kTextNighttimeError);
    }
    if (std::wstring error = CheckTexts(entries); !error.empty()) return error;

    // Every check has passed: from here on, store.
    const std::size_t boxes = std::min(entries.bands.size(), bands.size());
    if (layout <= 2 && !subBandList) {
        for (std::size_t i = 0; i < boxes; ++i) {
            const FiveBand& band = kFiveBands[i];
            for (std::size_t b = 0; b < band.fixedBands; ++b) {
                block.SetFixedBandEnabled(band.firstFixedBand + b, entries.bands[i]);
            }
        }
    } else if (layout <= 2) {
        for (std::size_t i = 0; i < boxes; ++i) block.SetFixedBandEnabled(i, entries.bands[i]);
    } else {
        for (std::size_t i = 0; i < std::min(boxes, subBandCount); ++i) {
            (void)block.SetSubBandEnabled(i, entries.bands[i]);  // within the room
        }
    }
    if (layout == 3) {
        // Lengths and characters were checked above, so these setters cannot refuse.
        if (carrier >= 0) {
            (void)block.SetApn(*NarrowToBytes(entries.apn));
            (void)block.SetUserName(*NarrowToBytes(entries.userName));
            (void)block.SetPassword(*NarrowToBytes(entries.password));
        }
        (void)block.SetServer(*NarrowToBytes(entries.server));
        (void)block.SetPort(*NarrowToBytes(entries.port));
    }
    if (Shown(kIdFrequencyDisplay)) block.SetShowsRadarFrequency(layout, entries.frequencyDisplay);
    if (Shown(kIdTimeZone)) block.SetTimeZone(layout, *timeZone);
    if (Shown(kIdDaytime)) block.SetDaytimeHour(layout, *daytime);
    if (Shown(kIdNighttime)) block.SetNighttimeHour(layout, *nighttime);
    return {};
}

}  // namespace kivrel
