// `kivrel settings` edits a unit's own settings from scripts: a key that stores the wrong byte,
// a refusal that still writes, or a backup that loads into the wrong unit changes the unit.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "base/le_bytes.h"
#include "device/layout_record.h"
#include "settings_block/settings_block.h"
#include "tests/support/cli_runner.h"
#include "tests/support/settings_blocks.h"

namespace kivrel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kSettingsAt = 0x11000;
constexpr std::uint32_t kLayoutAt = 0x16000;

// Layout 3 with X, MTR and K sub-bands, layout 4 likewise.
SettingsBlock BlockOf(int layout, const char* model = nullptr) {
    return test::SampleSettingsBlock(layout, {1, 0, 2, 0, 0}, 5, model);
}

class SettingsCommands : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kivrel-settings-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        unitDir = (dir / "unit").string();
        ASSERT_EQ(Run({"sim", "create", unitDir, "--capacity", "4194304"}).status, 0);
    }
    void TearDown() override { fs::remove_all(dir); }

    static test::CliResult Run(std::vector<std::string> args) {
        return test::RunCli(std::move(args));
    }
    test::CliResult Settings(std::vector<std::string> args) {
        args.insert(args.begin(), {"--device", "sim:" + unitDir, "settings"});
        return Run(std::move(args));
    }

    void Put(std::uint32_t address, const Bytes& bytes) {
        std::fstream file(fs::path(unitDir) / "bank0.bin",
                          std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(address);
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    SettingsBlock Stored() {
        std::ifstream file(fs::path(unitDir) / "bank0.bin", std::ios::binary);
        file.seekg(kSettingsAt);
        SettingsBlock block;
        file.read(reinterpret_cast<char*>(block.bytes.data()), 256);
        return block;
    }
    // The unit with `block`; a layout record carries the model and a settings revision the
    // tool can edit (layout 3's revision word would otherwise lie inside its APN).
    void Give(const SettingsBlock& block) {
        Put(kSettingsAt, {block.bytes.begin(), block.bytes.end()});
        LayoutRecord record;
        record.SetWord(LayoutRecord::kModelId, 0x41335654);
        record.SetWord(LayoutRecord::kSettingsRevision, 204);
        record.SetWord(LayoutRecord::kMarker, kLayoutMarker);
        const auto layoutBlock = WriteLayoutBlock(record);
        Put(kLayoutAt, {layoutBlock.begin(), layoutBlock.end()});
    }
    nlohmann::ordered_json ShowJson() {
        const test::CliResult shown =
            Run({"--device", "sim:" + unitDir, "--json", "settings", "show"});
        EXPECT_EQ(shown.status, 0) << shown.err;
        return nlohmann::ordered_json::parse(shown.out);
    }

    fs::path dir;
    std::string unitDir;
};

TEST_F(SettingsCommands, ShowListsTheKeysOfEachLayoutAndRefusesAnUnusableBlock) {
    const test::CliResult blank = Settings({"show"});
    EXPECT_EQ(blank.status, 1);
    EXPECT_NE(blank.err.find("Please start the machine to initialization parameter!!!!!"),
              std::string::npos);

    struct Case {
        int layout;
        std::vector<std::string> keys;
    };
    const Case cases[] = {
        {1,
         {"time_zone", "daytime_start", "nighttime_start", "radar_frequency_display", "x", "ku",
          "mtr", "k", "k3", "k4", "ka1", "ka2", "ka3", "ka4", "ka5", "laser"}},
        {2, {"time_zone", "daytime_start", "nighttime_start", "x", "ku", "k", "ka", "laser"}},
        {3,
         {"time_zone", "daytime_start", "nighttime_start", "radar_frequency_display", "x", "mtr",
          "k", "carrier", "apn", "user", "password", "server", "port"}},
        {4,
         {"time_zone", "daytime_start", "nighttime_start", "radar_frequency_display", "x", "mtr",
          "k"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.layout);
        Give(BlockOf(c.layout));
        const nlohmann::ordered_json json = ShowJson();
        EXPECT_EQ(json["settings_format"], c.layout);
        std::vector<std::string> keys;
        for (const auto& [key, value] : json["settings"].items()) keys.push_back(key);
        EXPECT_EQ(keys, c.keys);
        EXPECT_EQ(json["settings"]["time_zone"], 8);
        const test::CliResult text = Settings({"show"});
        EXPECT_EQ(text.status, 0);
        EXPECT_NE(text.out.find("time_zone=8"), std::string::npos) << text.out;
    }
    const nlohmann::ordered_json json = ShowJson();  // layout 4
    EXPECT_EQ(json["settings"]["x"], true);
    EXPECT_EQ(json["labels"]["x"], "X Band(10.000~10.050)");
    EXPECT_EQ(json["model_code"], "KV3A");
    EXPECT_EQ(json["bands"][1]["name"], "MTR Band");

    Give(BlockOf(3));
    const nlohmann::ordered_json modem = ShowJson();
    EXPECT_EQ(modem["settings"]["carrier"], 2);
    EXPECT_EQ(modem["settings"]["apn"], "hxdata");
    EXPECT_EQ(modem["network"]["server"], "gps.example");

    // Without a layout record a layout-3 block has no revision word: its bytes are the APN's.
    SettingsBlock apnBlock = BlockOf(3);
    ASSERT_TRUE(apnBlock.SetApn("cmnet"));
    apnBlock.StoreSum(3);
    Put(kSettingsAt, {apnBlock.bytes.begin(), apnBlock.bytes.end()});
    Put(kLayoutAt, Bytes(256, 0xFF));
    const nlohmann::ordered_json noRecord = ShowJson();
    EXPECT_EQ(noRecord["settings_revision"], 0);
    EXPECT_EQ(Settings({"set", "time_zone=7"}).status, 0);  // not refused as too new
}

TEST_F(SettingsCommands, SetStoresWhatTheWindowStoresAndRefusesWithItsTexts) {
    struct Case {
        int layout;
        std::vector<std::string> good;
        std::function<void(const SettingsBlock&)> check;
        std::vector<std::string> bad;
        std::string refusal;
    };
    const Case cases[] = {
        {1,
         {"time_zone=-5", "ka3=on", "radar_frequency_display=on"},
         [](const SettingsBlock& b) {
             EXPECT_EQ(b.bytes[10], 0xFB);
             EXPECT_EQ(b.bytes[19], 1);
             EXPECT_EQ(b.bytes[8] & 0x40, 0x40);
         },
         {"daytime_start=11"},
         "Daytime screen start time error!"},
        {2,
         {"k=on", "nighttime_start=23"},
         [](const SettingsBlock& b) {
             for (std::size_t i = 13; i <= 16; ++i) EXPECT_EQ(b.bytes[i], 1) << i;
             EXPECT_EQ(b.bytes[25], 23);
         },
         {"time_zone=eight"},
         "请输入一个整数。"},
        {3,
         {"carrier=Dongfang Unicom Data", "k=on", "port=8080"},
         [](const SettingsBlock& b) {
             EXPECT_EQ(b.Apn(), "dfnet");
             EXPECT_EQ(b.UserName(), "guest");
             EXPECT_EQ(b.Port(), "8080");
             EXPECT_EQ(b.bytes[26], 1);
         },
         {"server=gps.example.example.org"},
         "Server is too long: at most 19 characters!"},
        {4,
         {"x=off", "daytime_start=3"},
         [](const SettingsBlock& b) {
             EXPECT_EQ(b.bytes[24], 0);
             EXPECT_EQ(b.bytes[50], 3);
             EXPECT_EQ(GetU32(b.bytes.data() + 59), kSettingsMarker);
         },
         {"time_zone=14"},
         "Time Zone error!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.layout);
        Give(BlockOf(c.layout));
        std::vector<std::string> args = {"set"};
        args.insert(args.end(), c.good.begin(), c.good.end());
        const test::CliResult set = Settings(args);
        EXPECT_EQ(set.status, 0) << set.err;
        EXPECT_NE(set.out.find("Configuration success!"), std::string::npos);
        const SettingsBlock stored = Stored();
        c.check(stored);
        EXPECT_EQ(RecogniseSettingsLayout(stored, {}), c.layout);

        args = {"set", "time_zone=3"};
        args.insert(args.end(), c.bad.begin(), c.bad.end());
        const test::CliResult refused = Settings(args);
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.err.find(c.refusal), std::string::npos) << refused.err;
        EXPECT_EQ(Stored(), stored);
    }
}

TEST_F(SettingsCommands, SetRefusesWhatTheUnitDoesNotOfferOrCannotTake) {
    SettingsBlock hidden = BlockOf(3);
    hidden.bytes[18] = 14;  // no time zone setting on this unit
    hidden.StoreSum(3);
    Give(hidden);
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string text;
    };
    const Case cases[] = {
        {{"set", "time_zone=1"}, 1, "no setting \"time_zone\""},
        {{"set", "x=maybe"}, 1, "x: give on or off"},
        {{"set", "carrier=9"}, 1, "carrier: give 0-7"},
        {{"set", "carrier=2", "apn=mine"}, 1, "give carrier=7"},
        {{"set", "server=\xE4\xB8\xAD"}, 1, "Server holds a character the unit cannot store"},
        {{"set", "port=80a"}, 1, "Port must hold digits only!"},
        {{"set", "time_zone"}, 2, "not KEY=VALUE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        const test::CliResult result = Settings(c.args);
        EXPECT_EQ(result.status, c.status);
        EXPECT_NE(result.err.find(c.text), std::string::npos) << result.err;
        EXPECT_EQ(Stored(), hidden);
    }

    // Without a carrier, APN alone is the unit's own: user and password stay as they are.
    const test::CliResult own = Settings({"set", "apn=corp.example"});
    ASSERT_EQ(own.status, 0) << own.err;
    EXPECT_EQ(Stored().Apn(), "corp.example");
    EXPECT_EQ(Stored().UserName(), "card");
    // An APN of no carrier is kept by a change of something else.
    ASSERT_EQ(Settings({"set", "nighttime_start=20"}).status, 0);
    EXPECT_EQ(Stored().Apn(), "corp.example");
    EXPECT_EQ(Stored().bytes[18], 14);

    // The unit is gone by the time the block is sent: the failure is reported, not success.
    // The reading before it takes as many reports as a `show`, which the trace counts.
    const std::string trace = (dir / "trace.txt").string();
    ASSERT_EQ(Run({"--device", "sim:" + unitDir, "--trace", trace, "settings", "show"}).status, 0);
    std::ifstream traced(trace);
    std::size_t reports = 0;
    for (std::string line; std::getline(traced, line);) ++reports;
    {
        std::ofstream unitFile(fs::path(unitDir) / "unit.json");
        unitFile << R"({"boot_version": 1011, "capacity": 4194304, "disconnect_after_reports": )"
                 << reports << "}";
    }
    const SettingsBlock before = Stored();
    const test::CliResult refused = Settings({"set", "nighttime_start=21"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("Configuration failed!"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.out.find("Configuration success!"), std::string::npos);
    EXPECT_EQ(Stored(), before);
}

TEST_F(SettingsCommands, SaveThenLoadRoundTripsAndLoadChecksTheFile) {
    for (int layout : {1, 2, 3, 4}) {
        SCOPED_TRACE(layout);
        const SettingsBlock original = BlockOf(layout);
        Give(original);
        const std::string file = (dir / ("layout" + std::to_string(layout) + ".bin")).string();
        const test::CliResult saved = Settings({"save", file});
        ASSERT_EQ(saved.status, 0) << saved.err;
        EXPECT_EQ(fs::file_size(file), 256u);

        ASSERT_EQ(Settings({"set", "time_zone=-2", "nighttime_start=22"}).status, 0);
        ASSERT_NE(Stored(), original);
        const test::CliResult loaded = Settings({"load", file});
        EXPECT_EQ(loaded.status, 0) << loaded.err;
        EXPECT_NE(loaded.out.find("Configuration success!"), std::string::npos);
        EXPECT_EQ(Stored(), original);
    }

    // A unit of layout 4 and model KV3A; files that must not go into it.
    Give(BlockOf(4));
    const auto write = [&](const std::string& name, const Bytes& bytes) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    };
    const SettingsBlock otherModel = BlockOf(4, "KV9Z");
    SettingsBlock badSum = BlockOf(4);
    badSum.bytes[0] ^= 1;
    const SettingsBlock layout3 = BlockOf(3);
    struct Case {
        std::string file;
        std::string text;
    };
    const Case cases[] = {
        {write("short.bin", Bytes(100, 0)), "should hold exactly 256 bytes"},
        {write("long.bin", Bytes(300, 0)), "should hold exactly 256 bytes"},
        {write("sum.bin", {badSum.bytes.begin(), badSum.bytes.end()}), "fails its checksum"},
        {write("layout.bin", {layout3.bytes.begin(), layout3.bytes.end()}),
         "holds a layout-3 settings block; this unit's is layout 4"},
        {write("model.bin", {otherModel.bytes.begin(), otherModel.bytes.end()}),
         "comes from a unit of model \"KV9Z\"; this unit is model \"KV3A\""},
        {(dir / "missing.bin").string(), "cannot read"},
    };
    const SettingsBlock before = Stored();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const test::CliResult result = Settings({"load", c.file});
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.err.find(c.text), std::string::npos) << result.err;
        EXPECT_EQ(Stored(), before);
    }
}

}  // namespace
}  // namespace kivrel
