// The settings window writes the unit's own settings: a band stored to the wrong byte, a check
// skipped, a field overrun or a carrier's values stored over the unit's own change how the
// unit behaves on the road.

#include "settings/config_model.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "base/ascii_text.h"
#include "base/le_bytes.h"
#include "package/carrier_profiles.h"
#include "tests/support/settings_blocks.h"

namespace kivrel {
namespace {

constexpr std::uint32_t ModelCode(const char (&text)[5]) {
    return std::uint32_t{static_cast<std::uint8_t>(text[0])} |
           std::uint32_t{static_cast<std::uint8_t>(text[1])} << 8 |
           std::uint32_t{static_cast<std::uint8_t>(text[2])} << 16 |
           std::uint32_t{static_cast<std::uint8_t>(text[3])} << 24;
}

using Counts = SubBandCounts;

SettingsBlock MakeBlock(int layout, Counts counts = {1, 1, 3, 2, 1}, int radarType = 5) {
    return test::SampleSettingsBlock(layout, counts, radarType);
}

ConfigInputs Inputs(int layout) {
    ConfigInputs inputs;
    inputs.title = L"Setting";
    inputs.bootVersion = 12;
    inputs.layout = layout;
    inputs.fiveBandTag = "KIVRL";
    return inputs;
}

// Names of the labels, without their ranges.
std::vector<std::wstring> Names(const ConfigModel& model) {
    std::vector<std::wstring> names;
    for (const BandBox& box : model.Bands())
        names.push_back(box.label.substr(0, box.label.find(L'(')));
    return names;
}

TEST(ConfigModel, TitleCarriesTheBlockTextBootAndProgramVersion) {
    SettingsBlock block = MakeBlock(1);
    std::memcpy(block.bytes.data() + 4, "ABC\0", 4);
    PutU32(block.bytes.data() + 8, 1005);
    const ConfigModel model(Inputs(1), block);
    EXPECT_EQ(model.Title(),
              L"Setting" + std::wstring(14, L' ') + L"ABC    Boot:12     Program Version:1005");
}

TEST(ConfigModel, EachLayoutBuildsItsBandList) {
    struct Case {
        const char* name;
        int layout;
        std::string identity;
        std::uint32_t recordModel;
        Counts counts;
        int radarType;
        std::uint8_t subBandDisplay;
        bool subBands;
        std::vector<std::wstring> names;
    };
    const std::vector<std::wstring> five = {L"X Band", L"Ku Band", L"K Band", L"KA Band",
                                            L"Laser Band"};
    const std::vector<std::wstring> fixed = {L"X Band",   L"Ku Band",  L"MTR Band", L"K Band",
                                             L"K3 Band",  L"K4 Band",  L"KA1 Band", L"KA2 Band",
                                             L"KA3 Band", L"KA4 Band", L"KA5 Band", L"Laser Band"};
    const Case cases[] = {
        {"layout 1 with the five-band tag", 1, "KIVRL GPS", 0, {}, 0, 0, false, five},
        {"layout 1 without it", 1, "KIVRX", 0, {}, 0, 0, true, fixed},
        {"layout 2 of model V47", 2, "", ModelCode("V47 "), {}, 0, 0, true, fixed},
        {"layout 2 of another model", 2, "", ModelCode("V48 "), {}, 0, 0, false, five},
        {"layout 3, radar type 5",
         3,
         "",
         0,
         {1, 1, 3, 2, 1},
         5,
         0,
         true,
         {L"X Band", L"Ku Band", L"MTR Band", L"K Band", L"K Band", L"Ka1 Band", L"Ka2 Band",
          L"Laser Band"}},
        {"layout 4, sub-band flag",
         4,
         "",
         0,
         {2, 0, 1, 0, 2},
         1,
         1,
         true,
         {L"X1 Band", L"X2 Band", L"K Band", L"Laser1 Band", L"Laser2 Band"}},
        {"layout 4, four K sub-bands",
         4,
         "",
         0,
         {0, 0, 4, 0, 0},
         5,
         0,
         true,
         {L"MTR Band", L"K Band", L"K Band", L"K Band"}},
        {"layout 4, radar type 4, no flag", 4, "", 0, {}, 4, 0, false, five},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsBlock block = MakeBlock(c.layout, c.counts, c.radarType);
        if (c.layout >= 3) block.bytes[52] = c.subBandDisplay;
        ConfigInputs inputs = Inputs(c.layout);
        std::memcpy(inputs.identity.data(), c.identity.data(), c.identity.size());
        inputs.recordModelId = c.recordModel;
        const ConfigModel model(inputs, block);
        EXPECT_EQ(model.SubBandList(), c.subBands);
        EXPECT_EQ(Names(model), c.names);
        for (std::size_t i = 0; i < model.Bands().size(); ++i) {
            EXPECT_EQ(model.Bands()[i].id, 100 + static_cast<int>(i));
        }
    }
}

TEST(ConfigModel, SubBandLabelsCarryTheirRangesInGigahertz) {
    const ConfigModel fixed(Inputs(1), MakeBlock(1));
    ASSERT_EQ(fixed.Bands().size(), 12u);
    EXPECT_EQ(fixed.Bands()[0].label, L"X Band(10.480~10.720)");
    EXPECT_EQ(fixed.Bands()[11].label, L"Laser Band(0.000~0.000)");

    SettingsBlock block = MakeBlock(3);
    ASSERT_TRUE(block.SetSubBandRange(3, 2, {22700, 23660}));
    const ConfigModel unit(Inputs(3), block);
    EXPECT_EQ(unit.Bands()[0].label, L"X Band(10.000~10.050)");
    EXPECT_EQ(unit.Bands()[2].label, L"MTR Band(22.700~23.660)");
}

TEST(ConfigModel, BandBoxesFillColumnOneThenColumnTwo) {
    struct Case {
        const char* name;
        int layout;
        Counts counts;
        std::size_t boxes;
        std::size_t inColumn1;
    };
    const Case cases[] = {
        {"fixed sub-bands", 2, {}, 12, 6},
        {"ten sub-bands", 3, {2, 2, 2, 2, 2}, 10, 7},
        {"five bands", 1, {}, 5, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConfigInputs inputs = Inputs(c.layout);
        if (c.layout == 2) inputs.recordModelId = ModelCode("V47 ");
        if (c.name == std::string("five bands")) std::memcpy(inputs.identity.data(), "KIVRL", 5);
        const ConfigModel model(inputs, MakeBlock(c.layout, c.counts));
        ASSERT_EQ(model.Bands().size(), c.boxes);
        for (std::size_t i = 0; i < c.boxes; ++i) {
            const BandBox& box = model.Bands()[i];
            const bool first = i < c.inColumn1;
            EXPECT_EQ(box.column, first ? 1 : 2) << i;
            EXPECT_EQ(box.row, static_cast<int>(first ? i : i - c.inColumn1)) << i;
        }
    }

    // In pixels: each box H high, 15 below the one before, in its anchor's column.
    const PixelRect anchor1{11, 11, 194, 27};
    const PixelRect anchor2{204, 11, 387, 27};
    EXPECT_EQ(ConfigModel::BandBoxRect({100, L"", false, 1, 0, {}}, anchor1, anchor2), anchor1);
    EXPECT_EQ(ConfigModel::BandBoxRect({109, L"", false, 2, 2, {}}, anchor1, anchor2),
              (PixelRect{204, 73, 387, 89}));
}

TEST(ConfigModel, StartUpHidesWhatTheBlockDoesNotOffer) {
    struct Case {
        const char* name;
        int layout;
        std::size_t offset;
        std::uint8_t value;
        std::vector<int> hidden;
        std::vector<int> shown;
    };
    const std::vector<int> network(kNetworkControlIds.begin(), kNetworkControlIds.end());
    const Case cases[] = {
        {"time zone 14", 1, 10, 14, {kIdTimeZoneLabel, kIdTimeZone}, {kIdDaytime, kIdNighttime}},
        {"time zone -13", 3, 18, 0xF3, {kIdTimeZoneLabel, kIdTimeZone}, {kIdDaytime}},
        {"time zone 13", 3, 18, 13, {}, {kIdTimeZoneLabel, kIdTimeZone}},
        {"daytime -1", 2, 24, 0xFF, {kIdDaytimeLabel, kIdDaytime}, {kIdNighttime, kIdTimeZone}},
        {"nighttime -1", 4, 51, 0xFF, {kIdNighttimeLabel, kIdNighttime}, {kIdDaytime}},
        {"layout 3", 3, 0, 0, {}, network},
        {"layout 4", 4, 0, 0, network, {}},
        {"layout 1", 1, 0, 0, network, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsBlock block = MakeBlock(c.layout);
        if (c.offset != 0) block.bytes[c.offset] = c.value;
        const ConfigModel model(Inputs(c.layout), block);
        for (int id : c.hidden) EXPECT_FALSE(model.Shown(id)) << id;
        for (int id : c.shown) EXPECT_TRUE(model.Shown(id)) << id;
        for (int id : {kIdBandAnchor1, kIdBandAnchor2, kIdTwelveHour})
            EXPECT_FALSE(model.Shown(id));
    }
}

TEST(ConfigModel, FrequencyDisplayFollowsRadarTypeOptionBitsAndModel) {
    struct Case {
        const char* name;
        int layout;
        int radarType;
        std::uint8_t options;
        std::uint8_t subBandDisplay;
        const char* model;
        bool shown;
        bool checked;
    };
    const Case cases[] = {
        {"type 5, offered, flag", 3, 5, 0xC0, 1, "KV3A", true, true},
        {"type 5, not offered", 3, 5, 0x40, 1, "KV3A", false, false},
        {"type 5, offered, no flag", 4, 5, 0xC0, 0, "KV3A", false, false},
        {"type 2, sub-band flag", 4, 2, 0x00, 1, "KV3A", true, false},
        {"type 2, model UXO", 3, 2, 0x40, 1, "UXO ", false, false},
        {"layout 1 sub-bands", 1, 0, 0x40, 0, "KV1A", true, true},
        {"layout 1 sub-bands, model UXO", 1, 0, 0x40, 0, "UXO ", false, false},
        {"five-band list", 4, 1, 0xC0, 0, "KV3A", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsBlock block = MakeBlock(c.layout, {}, c.radarType);
        const std::size_t options = c.layout >= 3 ? 16 : 8;
        block.bytes[options] = c.options;
        if (c.layout >= 3) block.bytes[52] = c.subBandDisplay;
        std::memcpy(block.bytes.data() + (c.layout >= 3 ? 4 : 28), c.model, 4);
        const ConfigModel model(Inputs(c.layout), block);
        EXPECT_EQ(model.Shown(kIdFrequencyDisplay), c.shown);
        EXPECT_EQ(model.Initial().frequencyDisplay, c.checked);
        bool texted = false;
        for (const auto& [id, text] : model.Texts()) {
            if (id == kIdFrequencyDisplay) texted = text == L"Radar Frequency display";
        }
        EXPECT_EQ(texted, c.shown);
    }
}

// OK with the entries start-up gave, changed by `edit`.
SettingsBlock OkWith(const ConfigModel& model, SettingsBlock block,
                     const std::function<void(ConfigEntries&)>& edit,
                     std::wstring* error = nullptr) {
    ConfigEntries entries = model.Initial();
    edit(entries);
    const std::wstring text = model.Ok(entries, block);
    if (error != nullptr) *error = text;
    return block;
}

TEST(ConfigModel, OkStoresBandsNetworkOptionsAndHoursByLayout) {
    // Five bands in layouts 1-2: K covers bytes 13-16, KA bytes 17-21.
    {
        SettingsBlock block = MakeBlock(1);
        block.bytes[14] = 1;
        ConfigInputs inputs = Inputs(1);
        std::memcpy(inputs.identity.data(), "KIVRL", 5);
        const ConfigModel model(inputs, block);
        EXPECT_EQ(model.Initial().bands, (std::vector<bool>{false, false, true, false, false}));
        const SettingsBlock stored = OkWith(model, block, [](ConfigEntries& e) {
            e.bands[3] = true;
            e.timeZone = L"-5";
        });
        for (std::size_t b = 13; b <= 21; ++b) EXPECT_EQ(stored.bytes[b], 1) << b;
        EXPECT_EQ(stored.bytes[11], 0);
        EXPECT_EQ(stored.bytes[22], 0);
        EXPECT_EQ(stored.bytes[10], 0xFB);  // low 8 bits
        EXPECT_EQ(stored.bytes[8], 0x21);   // no frequency box in this list: bits kept
    }
    // Fixed sub-bands in layouts 1-2: box i to byte 11+i; the option bit 6 only.
    {
        const SettingsBlock block = MakeBlock(2);
        ConfigInputs inputs = Inputs(2);
        inputs.recordModelId = ModelCode("V47 ");
        const ConfigModel model(inputs, block);
        const SettingsBlock stored = OkWith(model, block, [](ConfigEntries& e) {
            e.bands[11] = true;
            e.frequencyDisplay = true;
            e.daytime = L"10";
            e.nighttime = L" 15 ";
        });
        EXPECT_EQ(stored.bytes[22], 1);
        EXPECT_EQ(stored.bytes[8], 0x61);
        EXPECT_EQ(stored.bytes[24], 10);
        EXPECT_EQ(stored.bytes[25], 15);
    }
    // Layouts 3-4 with the five-band list and S = 4: the Laser box is not stored.
    {
        SettingsBlock block = MakeBlock(4, {1, 1, 1, 1, 0}, 1);
        block.bytes[52] = 0;
        const ConfigModel model(Inputs(4), block);
        ASSERT_FALSE(model.SubBandList());
        const SettingsBlock stored =
            OkWith(model, block, [](ConfigEntries& e) { e.bands.assign(5, true); });
        for (std::size_t b = 24; b <= 27; ++b) EXPECT_EQ(stored.bytes[b], 1) << b;
        EXPECT_EQ(stored.bytes[28], 0);
    }
    // Sub-bands in layout 3: box i to byte 24+i, hours to 50 and 51, server and port stored.
    {
        const SettingsBlock block = MakeBlock(3, {2, 2, 2, 2, 2});
        const ConfigModel model(Inputs(3), block);
        const SettingsBlock stored = OkWith(model, block, [](ConfigEntries& e) {
            e.bands[9] = true;
            e.nighttime = L"23";
            e.server = L"10.0.0.1";
            e.port = L"";
        });
        EXPECT_EQ(stored.bytes[33], 1);
        EXPECT_EQ(stored.bytes[34], 0);
        EXPECT_EQ(stored.bytes[51], 23);
        EXPECT_EQ(stored.Server(), "10.0.0.1");
        EXPECT_EQ(stored.Port(), "");
        EXPECT_EQ(stored.bytes[101], 0);
    }
}

TEST(ConfigModel, OkRefusesInOrderAndStoresNothing) {
    const SettingsBlock block = MakeBlock(3);
    const ConfigModel model(Inputs(3), block);
    ASSERT_EQ(model.Carrier(), 2);  // hxdata: a profile, so APN, user and password are stored
    struct Case {
        const char* name;
        std::function<void(ConfigEntries&)> edit;
        std::wstring error;
    };
    const std::wstring long28(28, L'a');
    const Case cases[] = {
        {"letters in a number box", [](ConfigEntries& e) { e.daytime = L"7a"; },
         L"请输入一个整数。"},
        {"empty number box", [](ConfigEntries& e) { e.nighttime = L""; }, L"请输入一个整数。"},
        {"number past 32 bits", [](ConfigEntries& e) { e.timeZone = L"4294967304"; },
         L"请输入一个整数。"},
        {"time zone 14", [](ConfigEntries& e) { e.timeZone = L"14"; }, L"Time Zone error!"},
        {"time zone -13 before a bad daytime",
         [](ConfigEntries& e) {
             e.timeZone = L"-13";
             e.daytime = L"11";
         },
         L"Time Zone error!"},
        {"daytime 2", [](ConfigEntries& e) { e.daytime = L"2"; },
         L"Daytime screen start time error!"},
        {"nighttime 24 before a long APN",
         [&](ConfigEntries& e) {
             e.nighttime = L"24";
             e.apn = long28;
         },
         L"Nighttime screen start time error!"},
        {"APN of 28", [&](ConfigEntries& e) { e.apn = long28; },
         L"APN is too long: at most 27 characters!"},
        {"user of 28", [&](ConfigEntries& e) { e.userName = long28; },
         L"User name is too long: at most 27 characters!"},
        {"password of 28", [&](ConfigEntries& e) { e.password = long28; },
         L"Password is too long: at most 27 characters!"},
        {"server of 20", [](ConfigEntries& e) { e.server = std::wstring(20, L's'); },
         L"Server is too long: at most 19 characters!"},
        {"port of 7 digits", [](ConfigEntries& e) { e.port = L"1234567"; },
         L"Port is too long: at most 6 characters!"},
        {"a character past one byte", [](ConfigEntries& e) { e.server = L"gps.\x4E2D.example"; },
         L"Server holds a character the unit cannot store: use ASCII characters only!"},
        {"pasted letters in the port", [](ConfigEntries& e) { e.port = L"80a"; },
         L"Port must hold digits only!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring error;
        const SettingsBlock stored = OkWith(model, block, c.edit, &error);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(stored, block);
    }
    // A hidden box is not checked, and keeps its byte.
    SettingsBlock hidden = MakeBlock(3);
    hidden.bytes[18] = 14;
    const ConfigModel hiddenModel(Inputs(3), hidden);
    std::wstring error;
    const SettingsBlock stored = OkWith(
        hiddenModel, hidden, [](ConfigEntries& e) { e.daytime = L"9"; }, &error);
    EXPECT_EQ(error, L"");
    EXPECT_EQ(stored.bytes[18], 14);
    EXPECT_EQ(stored.bytes[50], 9);
}

TEST(ConfigModel, TextsAreStoredOneBytePerCharacter) {
    const SettingsBlock block = MakeBlock(3);
    const ConfigModel model(Inputs(3), block);
    const SettingsBlock stored =
        OkWith(model, block, [](ConfigEntries& e) { e.server = L"caf\u00E9"; });
    EXPECT_EQ(stored.Server(), "caf\xE9");
    // And read back as the same characters.
    EXPECT_EQ(WidenBytes(stored.Server()), L"caf\u00E9");
    EXPECT_FALSE(NarrowToBytes(L"a\u0100"));
    EXPECT_FALSE(NarrowToBytes(std::wstring(1, L'\0')));
}

TEST(ConfigModel, CarrierProfilesFillAndLockTheCredentials) {
    const auto& profiles = CarrierProfiles();
    // The table: the last entry is the editable one; two pairs share an APN host name.
    int sharedPairs = 0;
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        for (std::size_t j = i + 1; j < profiles.size(); ++j) {
            sharedPairs += EqualsIgnoringAsciiCase(profiles[i].apn, profiles[j].apn) ? 1 : 0;
        }
        EXPECT_LE(profiles[i].name.size(), kCarrierFieldChars);
        EXPECT_LE(profiles[i].apn.size(), 27u);
    }
    EXPECT_EQ(sharedPairs, 2);

    struct Case {
        const char* name;
        const char* apn;
        int carrier;
        bool editable;
    };
    const Case cases[] = {
        {"one profile", "HXDATA", 2, false},
        {"two profiles: the later", "kvnet", 1, false},
        {"two profiles, the later editable", "Internet", 7, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsBlock block = MakeBlock(3);
        ASSERT_TRUE(block.SetApn(c.apn));
        ASSERT_TRUE(block.SetUserName("own-user"));
        const ConfigModel model(Inputs(3), block);
        const CarrierProfile& profile = profiles[static_cast<std::size_t>(c.carrier)];
        EXPECT_EQ(model.Carrier(), c.carrier);
        EXPECT_EQ(model.CompanyText(), profile.name);
        EXPECT_EQ(model.CredentialsEditable(), c.editable);
        EXPECT_EQ(model.Initial().apn, profile.apn);
        EXPECT_EQ(model.Initial().userName, profile.userName);
        EXPECT_EQ(model.Initial().server, L"gps.example");
        // The profile's values are what OK stores, over the unit's own user name.
        const SettingsBlock stored = OkWith(model, block, [](ConfigEntries&) {});
        EXPECT_EQ(WidenBytes(stored.Apn()), profile.apn);
        EXPECT_EQ(WidenBytes(stored.UserName()), profile.userName);
    }
}

TEST(ConfigModel, AnApnOfNoProfileIsKeptUnlessACarrierIsPicked) {
    SettingsBlock block = MakeBlock(3);
    ASSERT_TRUE(block.SetApn("corp.private"));
    ASSERT_TRUE(block.SetUserName("fleet7"));
    ASSERT_TRUE(block.SetPassword("s3cret"));
    ConfigModel model(Inputs(3), block);
    EXPECT_EQ(model.Carrier(), -1);
    EXPECT_EQ(model.CompanyText(), L"");
    EXPECT_FALSE(model.CredentialsEditable());
    EXPECT_EQ(model.Initial().apn, L"corp.private");
    EXPECT_EQ(model.Initial().userName, L"fleet7");

    // Changing only the time zone leaves the unit's own connection as it was.
    const SettingsBlock stored = OkWith(model, block, [](ConfigEntries& e) { e.timeZone = L"9"; });
    EXPECT_EQ(stored.Apn(), "corp.private");
    EXPECT_EQ(stored.UserName(), "fleet7");
    EXPECT_EQ(stored.Password(), "s3cret");
    EXPECT_EQ(stored.bytes[18], 9);

    // Picking a carrier replaces them with its profile; the last entry may be edited.
    ConfigEntries entries = model.Initial();
    model.PickCarrier(4, entries);
    EXPECT_EQ(entries.apn, L"dfwap");
    EXPECT_FALSE(model.CredentialsEditable());
    SettingsBlock picked = block;
    ASSERT_EQ(model.Ok(entries, picked), L"");
    EXPECT_EQ(picked.Apn(), "dfwap");
    EXPECT_EQ(picked.UserName(), "");
    model.PickCarrier(kEditableCarrierProfile, entries);
    EXPECT_TRUE(model.CredentialsEditable());
    EXPECT_EQ(model.CompanyText(), CarrierProfiles()[kEditableCarrierProfile].name);
}

TEST(ConfigModel, SubBandCountsPastTheBlocksRoomAreCapped) {
    // The enable bytes end where the radar type begins (byte 48): 24 of them. Layout 3's range
    // entries start at byte 174, so only 20 fit before byte 256.
    struct Case {
        int layout;
        Counts counts;
        std::size_t room;
    };
    const Case cases[] = {
        {4, {10, 10, 10, 10, 10}, 24}, {3, {10, 10, 10, 0, 0}, 20}, {4, {127, 127, 0, 0, 0}, 24}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.layout);
        const SettingsBlock block = MakeBlock(c.layout, c.counts, 5);
        const ConfigModel model(Inputs(c.layout), block);
        EXPECT_EQ(model.SubBandCount(), c.room);
        EXPECT_EQ(model.Bands().size(), c.room);
        EXPECT_EQ(model.Bands().back().label.substr(model.Bands().back().label.find(L'(')),
                  c.layout == 3 ? L"(11.900~11.950)" : L"(12.300~12.350)");
        // Ticking every box stores the enable bytes only: the radar type, the screen hours and
        // layout 4's marker stay.
        const SettingsBlock stored = OkWith(
            model, block, [](ConfigEntries& e) { e.bands.assign(e.bands.size() + 20, true); });
        for (std::size_t b = 24; b < 24 + c.room; ++b) EXPECT_EQ(stored.bytes[b], 1) << b;
        for (std::size_t b = 24 + c.room; b < 256; ++b)
            EXPECT_EQ(stored.bytes[b], block.bytes[b]) << b;
        EXPECT_EQ(stored.bytes[48], 5);
        EXPECT_EQ(stored.bytes[50], 7);
        EXPECT_EQ(stored.bytes[51], 19);
    }
}

}  // namespace
}  // namespace kivrel
