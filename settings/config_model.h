#pragma once
// The settings window's decisions, without a window: its title, which controls show, the band
// list it builds (labels, ids, columns), the carrier fields of layout-3 units, the checks on OK
// and what OK stores in the block. The Win32 view (CConfigDialog) and `kivrel settings set`
// both drive this model, so the window and the command line accept and store the same things.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/pixel_rect.h"
#include "settings_block/settings_block.h"

namespace kivrel {

class CGpsUnit;
struct VendorConfig;

inline constexpr int kIdConfigDialog = 136;  // dialog template
inline constexpr int kIdConfigOk = 1;
inline constexpr int kIdConfigCancel = 2;
inline constexpr int kIdBandAnchor1 = 1013;
inline constexpr int kIdBandAnchor2 = 1014;
inline constexpr int kIdTimeZoneLabel = 1026;
inline constexpr int kIdTimeZone = 1025;
inline constexpr int kIdDaytimeLabel = 1027;
inline constexpr int kIdDaytime = 1028;
inline constexpr int kIdNighttimeLabel = 1029;
inline constexpr int kIdNighttime = 1030;
inline constexpr int kIdCompanyLabel = 1046;
inline constexpr int kIdCompany = 1043;
inline constexpr int kIdApnLabel = 1053;
inline constexpr int kIdApn = 1054;
inline constexpr int kIdUserLabel = 1050;
inline constexpr int kIdUser = 1051;
inline constexpr int kIdPasswordLabel = 1049;
inline constexpr int kIdPassword = 1052;
inline constexpr int kIdServerLabel = 1047;
inline constexpr int kIdServer = 1044;
inline constexpr int kIdPortLabel = 1048;
inline constexpr int kIdPort = 1045;
inline constexpr int kIdFrequencyDisplay = 1034;
inline constexpr int kIdTwelveHour = 1033;
inline constexpr int kIdFirstBandBox = 100;  // band boxes are created at run time from here

// The Company, APN, User, Psw, Server and Port labels and boxes: shown in layout 3 only.
inline constexpr std::array<int, 12> kNetworkControlIds = {
    kIdCompanyLabel,  kIdCompany,  kIdApnLabel,    kIdApn,    kIdUserLabel, kIdUser,
    kIdPasswordLabel, kIdPassword, kIdServerLabel, kIdServer, kIdPortLabel, kIdPort};

// Pixels below the previous band box at which the next one in its column starts.
inline constexpr int kBandBoxGap = 15;
// Boxes of the layout-3/4 sub-band list that go in the first column.
inline constexpr std::size_t kSubBandsInColumn1 = 7;

inline constexpr std::wstring_view kTimeZoneLabelText = L"Time Zone(-12~13)";
inline constexpr std::wstring_view kDaytimeLabelText = L"Daytime screen start time(3~10)";
inline constexpr std::wstring_view kNighttimeLabelText = L"Nighttime screen start time(15~23)";
inline constexpr std::wstring_view kFrequencyDisplayText = L"Radar Frequency display";

inline constexpr std::wstring_view kTextNotAnInteger = L"请输入一个整数。";
inline constexpr std::wstring_view kTextTimeZoneError = L"Time Zone error!";
inline constexpr std::wstring_view kTextDaytimeError = L"Daytime screen start time error!";
inline constexpr std::wstring_view kTextNighttimeError = L"Nighttime screen start time error!";
inline constexpr std::wstring_view kTextPortDigits = L"Port must hold digits only!";

// The layout number and what the window reads from outside the block.
struct ConfigInputs {
    std::wstring title;
    std::int32_t bootVersion = 0;
    int layout = 0;
    std::array<std::uint8_t, 256> identity{};
    std::uint32_t recordModelId = 0;  // the layout record's model code; 0 without a record
    std::string fiveBandTag;          // 5 bytes: layout-1 units beginning so get five bands
};

// The window's inputs for the unit as it was last read, with the build's five-band tag.
[[nodiscard]] ConfigInputs ConfigInputsOf(const CGpsUnit& unit, std::wstring title,
                                          const VendorConfig& vendor);

// A run-time band check box; `row` counts from 0 in its column (1 or 2).
struct BandBox {
    int id = 0;
    std::wstring label;
    bool checked = false;
    int column = 1;
    int row = 0;
    // What scripts call it (`kivrel settings set x=off`), unique in the list and independent
    // of the label: a group's sub-bands are numbered in list order (k_1, k_2, ...).
    std::string key;
};

// What the window's editable controls hold: start-up fills them, OK reads them back.
struct ConfigEntries {
    std::wstring timeZone, daytime, nighttime;  // the number boxes, as text
    std::vector<bool> bands;                    // the band boxes, in id order
    bool frequencyDisplay = false;
    std::wstring apn, userName, password, server, port;
};

// The 8-bit texts of the unit: each byte is one character.
[[nodiscard]] std::wstring WidenBytes(std::string_view bytes);
// Each character to one byte; nothing when a character does not fit in one (or is U+0000).
[[nodiscard]] std::optional<std::string> NarrowToBytes(std::wstring_view text);
// A number box's integer: optional blanks, an optional sign, digits, optional blanks, within
// 32 bits. Nothing otherwise.
[[nodiscard]] std::optional<int> ParseBoxInteger(std::wstring_view text);

class ConfigModel {
public:
    // Start-up over a copy of the block; `inputs.layout` is 1-4.
    ConfigModel(const ConfigInputs& inputs, const SettingsBlock& block);

    [[nodiscard]] const std::wstring& Title() const noexcept { return title; }
    [[nodiscard]] int Layout() const noexcept { return layout; }
    // Whether a template control shows after start-up.
    [[nodiscard]] bool Shown(int id) const noexcept;
    // The texts start-up gives template controls (labels, OK and Cancel, frequency display).
    [[nodiscard]] const std::vector<std::pair<int, std::wstring>>& Texts() const noexcept {
        return texts;
    }
    [[nodiscard]] bool SubBandList() const noexcept { return subBandList; }
    [[nodiscard]] const std::vector<BandBox>& Bands() const noexcept { return bands; }
    // Layouts 3-4: the sub-band count the window uses, the block's S capped at the room the
    // layout has. 0 in layouts 1-2, which have no such count.
    [[nodiscard]] std::size_t SubBandCount() const noexcept { return subBandCount; }
    // What the editable controls hold after start-up.
    [[nodiscard]] const ConfigEntries& Initial() const noexcept { return initial; }

    // Layout 3: the Company box's text after start-up, and whether APN, User and Psw may be
    // edited. The profile matched at start-up, or the one picked since; -1 when the block's
    // APN matched none and nothing was picked (OK then keeps the block's APN, user and
    // password).
    [[nodiscard]] const std::wstring& CompanyText() const noexcept { return companyText; }
    [[nodiscard]] bool CredentialsEditable() const noexcept { return credentialsEditable; }
    [[nodiscard]] int Carrier() const noexcept { return carrier; }
    // The user picked entry `index` of the Company box: its profile's APN, user name and
    // password go into `entries`. Out-of-range indices are ignored.
    void PickCarrier(std::size_t index, ConfigEntries& entries);

    // A band box's pixel rectangle from the two anchors' client rectangles.
    [[nodiscard]] static PixelRect BandBoxRect(const BandBox& box, const PixelRect& anchor1,
                                               const PixelRect& anchor2) noexcept;

    // OK: runs every check in order and, when all pass, stores the entries into `block`.
    // Returns the first failing check's text (block untouched), or empty.
    [[nodiscard]] std::wstring Ok(const ConfigEntries& entries, SettingsBlock& block) const;

private:
    void BuildBandList(const ConfigInputs& inputs);
    void BuildFiveBands();
    void BuildFixedSubBands();
    void BuildUnitSubBands();
    void PlaceFrequencyDisplay();
    void BuildNetwork();
    [[nodiscard]] std::wstring CheckTexts(const ConfigEntries& entries) const;
    void Hide(int id);

    int layout;
    SettingsBlock original;
    std::wstring title;
    std::vector<int> hidden;
    std::vector<std::pair<int, std::wstring>> texts;
    bool subBandList = false;
    std::size_t subBandCount = 0;
    std::vector<BandBox> bands;
    ConfigEntries initial;
    std::wstring companyText;
    bool credentialsEditable = false;
    int carrier = -1;
};

// Runs the settings window over `block` (a copy of the unit's); true when it ended with OK and
// `block` holds the edited fields.
class ConfigWindow {
public:
    virtual ~ConfigWindow() = default;
    [[nodiscard]] virtual bool Run(const ConfigInputs& inputs, SettingsBlock& block) = 0;
};

}  // namespace kivrel
