// What `kivrel update` shows before it writes: a dry run must send nothing that changes the
// unit and print exactly what the update then sends, and a file, a unit or a disk that will
// not do must stop the update, with its cause, before anything is sent.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "base/disk_space.h"
#include "device/layout_record.h"
#include "package/vendor_config.h"
#include "tests/support/cli_runner.h"
#include "tests/support/http_test_server.h"
#include "tests/support/test_files.h"

namespace kivrel {
namespace {

namespace fs = std::filesystem;
using test::ReadAll;
using Json = nlohmann::json;

// The sample's sections, each in a region of its rounded size; the database's region is
// `databaseRoom` bytes.
LayoutRecord SampleRecord(std::uint32_t databaseRoom) {
    LayoutRecord record;
    record.SetWord(LayoutRecord::kMarker, kLayoutMarker);
    std::uint32_t at = 0x22000;
    for (const auto& [start, size, bytes] :
         {std::array<std::uint32_t, 3>{LayoutRecord::kMainStart, LayoutRecord::kMainSize, 0x1000},
          {LayoutRecord::kResourceStart, LayoutRecord::kResourceSize, 0x1000},
          {LayoutRecord::kDatabaseStart, LayoutRecord::kDatabaseSize, databaseRoom},
          {LayoutRecord::kAuxiliaryStart, LayoutRecord::kAuxiliarySize, 0x1000}}) {
        record.SetWord(start, at);
        record.SetWord(size, bytes);
        at += bytes;
    }
    return record;
}

// One command a tool-to-unit trace line carries: code, then the frame's words.
struct Command {
    unsigned code;
    std::uint32_t a, b, c, bank, sum;
    friend bool operator==(const Command&, const Command&) = default;
};

std::uint32_t TraceWord(const std::string& line, std::size_t byte) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<std::uint32_t>(
                                 std::stoul(line.substr(2 + 2 * (byte + i), 2), nullptr, 16));
    }
    return value;
}

// The command reports the tool sent, in order; data reports are told apart by the frame's
// length byte and signature.
std::vector<Command> SentCommands(const fs::path& trace) {
    std::vector<Command> commands;
    std::ifstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
        if (line[0] != '>' || line.substr(6, 2) != "17" || line.substr(42, 8) != "48494443") {
            continue;
        }
        commands.push_back({static_cast<unsigned>(std::stoul(line.substr(4, 2), nullptr, 16)),
                            TraceWord(line, 3), TraceWord(line, 7), TraceWord(line, 11),
                            TraceWord(line, 15) & 0xFF, TraceWord(line, 16)});
    }
    return commands;
}

class UpdatePlanCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kivrel-plan-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
        vendor.toolTag = MakeToolTag("KIVRL test tool!");  // 16 bytes: the whole compared tag
    }
    void TearDown() override {
        ::unsetenv("XDG_CACHE_HOME");
        fs::remove_all(dir);
    }

    using Result = test::CliResult;
    Result Run(std::vector<std::string> args) const {
        return test::RunCli(std::move(args), environment);
    }

    // A blank unit of 4 MiB (room for the fixed layout, and quick to make).
    std::string NewUnit(const std::string& name) {
        const std::string unit = (dir / name).string();
        EXPECT_EQ(Run({"sim", "create", unit, "--capacity", "4194304"}).status, 0);
        return "sim:" + unit;
    }
    void PutBank0(const std::string& device, std::uint32_t address,
                  std::span<const std::uint8_t> bytes) {
        std::fstream file(fs::path(device.substr(4)) / "bank0.bin",
                          std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(address);
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<std::uint8_t> Banks(const std::string& device) const {
        auto bytes = ReadAll(fs::path(device.substr(4)) / "bank0.bin");
        const auto bank1 = ReadAll(fs::path(device.substr(4)) / "bank1.bin");
        bytes.insert(bytes.end(), bank1.begin(), bank1.end());
        return bytes;
    }
    // The sample update file with `options` for `kivrel pack`.
    std::string Pack(const std::string& name, std::vector<std::string> options) {
        const std::string file = (dir / name).string();
        std::vector<std::string> args = {"pack", file, "--sample"};
        args.insert(args.end(), options.begin(), options.end());
        EXPECT_EQ(Run(args).status, 0);
        return file;
    }
    Json LastRecord() const {
        std::ifstream in(dir / "cache" / "kivrel" / "kivrel-last-update.json");
        return in ? Json::parse(in) : Json();
    }

    fs::path dir;
    VendorConfig vendor = DefaultVendorConfig();
    cli::CliEnvironment environment;
};

TEST_F(UpdatePlanCommand, ADryRunPrintsThePlanForEachKindOfUnitAndChangesNothing) {
    struct Case {
        const char* name;
        std::vector<std::string> pack;
        bool record;      // the unit holds a layout record
        bool vendorTool;  // a vendor's tool: a blank unit gets the file's identity
        std::string layout;
        std::vector<std::string> steps;
    };
    const Case cases[] = {
        {"no record, no model table: fixed addresses",
         {"--omit", "models"},
         false,
         false,
         "fixed",
         {"resource", "database", "main", "base"}},
        {"the unit's record kept",
         {"--omit", "models"},
         true,
         false,
         "keep",
         {"resource", "auxiliary", "database", "main", "base"}},
        {"compact model table: back to the fixed layout",
         {"--sample-models", "1", "--compact-models"},
         true,
         false,
         "back_to_fixed",
         {"identity", "layout_sector", "resource", "database", "main", "base", "model_header",
          "model_data"}},
        {"extended model table: a new record, the model's area erased",
         {"--sample-models", "1", "--model-layout", "KV01=8192,0,0"},
         false,
         false,
         "store",
         {"layout_block", "model_area", "model_image", "resource", "auxiliary", "database", "main",
          "base", "model_header", "model_data"}},
        {"a vendor's tool on a blank unit: the identity block is written",
         {"--omit", "models", "--vendor", "KIVRL test tool!"},
         false,
         true,
         "fixed",
         {"identity", "resource", "database", "main", "base"}},
    };
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        environment.vendor = c.vendorTool ? &vendor : nullptr;
        const std::string name = "case" + std::to_string(++number);
        const std::string device = NewUnit(name);
        if (c.record) PutBank0(device, 0x16000, WriteLayoutBlock(SampleRecord(0x2000)));
        const std::string file = Pack(name + ".qdx", c.pack);
        const auto before = Banks(device);

        const Result result = Run({"--device", device, "update", file, "--dry-run", "--json"});
        ASSERT_EQ(result.status, 0) << result.err;
        const Json out = Json::parse(result.out);
        EXPECT_EQ(out["plan"]["layout"], c.layout);
        std::vector<std::string> steps;
        for (const Json& step : out["plan"]["steps"]) steps.push_back(step["what"]);
        EXPECT_EQ(steps, c.steps);
        EXPECT_EQ(out["plan"]["identity_write"], c.vendorTool);
        EXPECT_EQ(out["file"]["name"], fs::path(file).filename().string());
        EXPECT_EQ(out["settings_sector_erase"]["first_sector"], 17);
        EXPECT_EQ(Banks(device), before);

        const Result text = Run({"--device", device, "update", file, "--dry-run"});
        EXPECT_EQ(text.status, 0);
        EXPECT_NE(text.out.find("Dry run: the unit was read, and nothing that changes it was sent"),
                  std::string::npos)
            << text.out;
        EXPECT_NE(
            text.out.find("\nTotal: " + std::to_string(out["plan"]["total_bytes"].get<int>()) +
                          " bytes in "),
            std::string::npos)
            << text.out;
    }
    // A dry run is no update: the record of the last one is left alone.
    EXPECT_TRUE(LastRecord().is_null());
}

TEST_F(UpdatePlanCommand, ADryRunSendsOnlyReadsEvenToAUnitOfAnotherVendor) {
    environment.vendor = &vendor;
    const std::string file = Pack("tool.qdx", {"--omit", "models", "--vendor", "KIVRL test tool!"});
    struct Case {
        const char* name;
        const char* unitTag;  // at the unit's identity address; null: blank
        int status;
    };
    const Case cases[] = {{"a blank unit", nullptr, 0},
                          {"another vendor's unit", "OTHER BRAND", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string device = NewUnit(c.unitTag ? "other" : "blank");
        if (c.unitTag) {
            const std::string tag = c.unitTag;
            PutBank0(device, 0x7000, std::vector<std::uint8_t>(tag.begin(), tag.end()));
        }
        const fs::path trace = dir / (std::string(c.name) + ".trace");
        const Result result =
            Run({"--device", device, "--trace", trace.string(), "update", file, "--dry-run"});
        EXPECT_EQ(result.status, c.status) << result.err;
        const auto commands = SentCommands(trace);
        ASSERT_FALSE(commands.empty());
        std::size_t lines = 0, sent = 0;
        std::ifstream all(trace);
        for (std::string line; std::getline(all, line); ++lines) sent += line[0] == '>';
        EXPECT_EQ(commands.size(), sent) << "only command reports go to the unit";
        for (const Command& command : commands) {
            EXPECT_TRUE(command.code == 0xF7 || command.code == 0xFB || command.code == 0xF2)
                << std::hex << command.code;
        }
        if (c.status != 0) {
            EXPECT_NE(result.err.find("the unit does not belong to this tool's vendor\nDry run: "
                                      "the unit was only read. An update would send it "
                                      "AbandonUnit"),
                      std::string::npos)
                << result.err;
            // Where an update is refused the same unit, AbandonUnit goes out.
            const fs::path real = dir / "real.trace";
            EXPECT_EQ(Run({"--device", device, "--trace", real.string(), "update", file}).status,
                      1);
            const auto refused = SentCommands(real);
            EXPECT_EQ(refused.back().code, 0xFAu);
        }
    }
}

TEST_F(UpdatePlanCommand, ThePlanPrintedIsWhatTheUpdateThenSendsCommandByCommand) {
    struct Case {
        const char* name;
        std::vector<std::string> pack;
        bool record;
    };
    const Case cases[] = {
        {"a new record", {"--sample-models", "1", "--model-layout", "KV01=8192,0,0"}, false},
        {"back to the fixed layout", {"--sample-models", "1", "--compact-models"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string device = NewUnit(c.record ? "with-record" : "without-record");
        if (c.record) PutBank0(device, 0x16000, WriteLayoutBlock(SampleRecord(0x2000)));
        const std::string file = Pack(c.record ? "compact.qdx" : "extended.qdx", c.pack);

        const Result dry = Run({"--device", device, "update", file, "--dry-run", "--json"});
        ASSERT_EQ(dry.status, 0) << dry.err;
        const Json plan = Json::parse(dry.out)["plan"];
        std::vector<Command> expected;
        for (const Json& step : plan["steps"]) {
            if (step["command"] == "EraseSectors") {
                expected.push_back({0xF1, step["first_sector"], step["sectors"], 0, 0, 0});
            } else {
                expected.push_back({0xF3, step["address"].get<std::uint32_t>() / 256,
                                    step["blocks"], step["word_c"], step["bank"],
                                    static_cast<std::uint32_t>(std::stoul(
                                        step["data_sum_hex"].get<std::string>(), nullptr, 16))});
            }
        }
        expected.push_back({0xF1, 17, 1, 0, 0, 0});  // the settings sector, after the reading

        const fs::path trace = dir / (std::string(c.name) + ".trace");
        const Result real = Run({"--device", device, "--trace", trace.string(), "update", file});
        ASSERT_EQ(real.status, 0) << real.err;
        std::vector<Command> written;
        for (const Command& command : SentCommands(trace)) {
            if (command.code == 0xF1 || command.code == 0xF3) written.push_back(command);
        }
        EXPECT_EQ(written, expected);
        EXPECT_EQ(LastRecord()["plan"], plan);
        EXPECT_EQ(LastRecord()["outcome"], "succeeded");
    }
}

TEST_F(UpdatePlanCommand, AFileOrAPlanThatWillNotDoStopsTheUpdateWithItsCauseBeforeAnyWrite) {
    environment.vendor = &vendor;
    std::ofstream(dir / "junk.qdx") << "not an update file at all";
    struct Case {
        const char* name;
        std::string file;
        std::string texts;  // the system's text, then the cause on the next line
        bool unitOpened;
    };
    const Case cases[] = {
        {"a missing file", (dir / "missing.qdx").string(),
         "Open update file failed!\nThe file missing.qdx cannot be opened for reading", false},
        {"not an update file", (dir / "junk.qdx").string(),
         "Open update file failed!\nIt is not an update file, or it is damaged", false},
        {"another vendor's file", Pack("other.qdx", {"--omit", "models"}),
         "Open update file failed!\nIt is made for another brand's units (its vendor tag reads "
         "\"Kivrel sample\"). Use the update file made for your unit's brand.",
         false},
        {"a database larger than the unit's region",
         Pack("large.qdx", {"--omit", "models", "--vendor", "KIVRL test tool!"}),
         "Error\nThe update file does not fit this unit: its database is 8.2 KB, the unit's "
         "region holds 4.1 KB. Use the update file made for this model.",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string device = NewUnit(std::string("unit-") + c.name);
        PutBank0(device, 0x16000, WriteLayoutBlock(SampleRecord(0x1000)));
        const auto before = Banks(device);
        const fs::path trace = dir / (std::string(c.name) + ".trace");
        for (const bool dryRun : {false, true}) {
            std::vector<std::string> args = {"--device",     device,   "--trace",
                                             trace.string(), "update", c.file};
            if (dryRun) args.push_back("--dry-run");
            const Result result = Run(args);
            EXPECT_EQ(result.status, 1);
            EXPECT_NE(result.err.find(c.texts), std::string::npos) << result.err;
            EXPECT_EQ(result.out.find("Successfully"), std::string::npos);
        }
        EXPECT_EQ(Banks(device), before);
        EXPECT_EQ(fs::exists(trace), c.unitOpened);
        for (const Command& command : SentCommands(trace)) {
            EXPECT_TRUE(command.code == 0xF7 || command.code == 0xFB || command.code == 0xF2);
        }
        const Json record = LastRecord();
        EXPECT_EQ(record["outcome"], "failed");
        EXPECT_TRUE((record["error"].get<std::string>() + "\n" + record["cause"].get<std::string>())
                        .starts_with(c.texts))
            << record.dump();
    }
}

TEST_F(UpdatePlanCommand, ADiskWithoutRoomForTheDownloadStopsItBeforeTheArchiveIsWritten) {
    test::HttpTestServer server;
    server.ServeText("/version.txt", "20240501\r\n" + server.Url("/db/camera-db.zip") + "\r\n");
    server.ServeBytes("/db/camera-db.zip", std::vector<std::uint8_t>(3'000'000, 0x5A));
    environment.freeSpace = [](const std::wstring&) {
        return std::optional<std::uint64_t>(2'500'000);
    };
    const std::string device = NewUnit("unit");
    const auto before = Banks(device);

    const Result result = Run({"--device", device, "update", "--online", "--version-url",
                               server.Url("/version.txt"), "--yes"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("Error! Please update by local file!\nThere is not enough free "
                              "space for the download in "),
              std::string::npos)
        << result.err;
    // The archive, and what a 4 MiB unit's update file unpacks to at most.
    EXPECT_NE(result.err.find(": 2.5 MB free, and the archive (3.0 MB) and its unpacked files (up "
                              "to 9.4 MB) need 12.4 MB."),
              std::string::npos)
        << result.err;
    EXPECT_EQ(Banks(device), before);
    const fs::path part = dir / "cache" / "kivrel" / "camera-db";
    for (const auto& entry : fs::recursive_directory_iterator(part)) {
        EXPECT_EQ(fs::is_regular_file(entry) ? fs::file_size(entry) : 0u, 0u) << entry.path();
    }
    EXPECT_EQ(LastRecord()["cause"].get<std::string>().find(dir.string()), std::string::npos);
}

}  // namespace
}  // namespace kivrel
