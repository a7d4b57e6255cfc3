// `kivrel info` and `sim create` are how scripts and the demo see a unit: a
// wrong key, a wrong exit status or a lost trace line breaks them silently.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>

#include "base/le_bytes.h"
#include "settings_block/settings_block.h"
#include "tests/support/cli_runner.h"

namespace kivrel {
namespace {

namespace fs = std::filesystem;

class UnitCommands : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kivrel-cli-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        unitDir = (dir / "unit").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    using Result = test::CliResult;
    static Result Run(std::vector<std::string> args) { return test::RunCli(std::move(args)); }
    void PutBank0(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
        std::fstream file(fs::path(unitDir) / "bank0.bin",
                          std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(address);
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }

    fs::path dir;
    std::string unitDir;
};

TEST_F(UnitCommands, InfoOnABlankSimulatedUnitGivesEveryKey) {
    ASSERT_EQ(Run({"sim", "create", unitDir, "--boot", "1012", "--capacity", "131072"}).status, 0);
    const Result info = Run({"--device", "sim:" + unitDir, "info", "--json"});
    ASSERT_EQ(info.status, 0) << info.err;
    const auto json = nlohmann::json::parse(info.out);
    EXPECT_EQ(json["boot_version"], 1012);
    EXPECT_EQ(json["capacity"], 131072);
    EXPECT_EQ(json["model_id_hex"], "00000000");
    EXPECT_EQ(json["settings_format"], -1);
    EXPECT_EQ(json["settings_revision"], 0);
    EXPECT_EQ(json["has_layout_record"], false);
    EXPECT_EQ(json["identity_hex"], std::string(512, 'f'));
    EXPECT_EQ(json["dates"]["resource"], "2106-02-07 06:28:15");  // erased flash: all ones
    // 128 KiB has no room for the fixed main and database places: never read, never set.
    EXPECT_EQ(json["dates"]["main"], "0000-00-00 00:00:00");
    EXPECT_EQ(json["dates"]["database"], "0000-00-00 00:00:00");
    EXPECT_EQ(json["database_version"], 0);
    EXPECT_EQ(json["blank_regions"], nlohmann::json::array({"resource"}));

    const Result text = Run({"info", "--device", "sim:" + unitDir});
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("Boot version:      1012"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Resource date:     blank (erased flash)\n"), std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("Identity:          blank (erased flash)\n"), std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("Settings layout:   -1 (not recognised), revision 0\n"),
              std::string::npos)
        << text.out;
    EXPECT_EQ(text.out.find("2106"), std::string::npos) << text.out;
}

TEST_F(UnitCommands, TraceAppendsEveryReportOfEachRun) {
    ASSERT_EQ(Run({"sim", "create", unitDir, "--capacity", "131072"}).status, 0);
    const std::string trace = (dir / "trace.txt").string();
    ASSERT_EQ(Run({"--device", "sim:" + unitDir, "--trace", trace, "info"}).status, 0);
    ASSERT_EQ(Run({"info", "--trace", trace, "--device", "sim:" + unitDir}).status, 0);
    std::ifstream in(trace);
    std::size_t lines = 0;
    const std::regex format("[<>] [0-9a-f]{130}");
    for (std::string line; std::getline(in, line); ++lines) {
        EXPECT_TRUE(std::regex_match(line, format)) << line;
    }
    EXPECT_EQ(lines, 2u * 40u);  // each run: the reading the window does, nothing more
}

TEST_F(UnitCommands, FailuresHaveTheirExitStatusAndAReason) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int status;
        const char* reason;
    };
    ASSERT_EQ(Run({"sim", "create", unitDir, "--capacity", "131072"}).status, 0);
    {
        std::ofstream unitFile(fs::path(unitDir) / "unit.json");
        unitFile << R"({"boot_version": 1011, "capacity": 131072, "stop_after_reports": 1})";
    }
    const std::string missing = (dir / "missing").string();
    const Case cases[] = {
        {"unknown device", {"--device", "usb", "info"}, 2, "hid or sim:DIR"},
        {"no unit in the directory",
         {"--device", "sim:" + missing, "info"},
         1,
         "no simulated unit"},
        {"unit that stops answering",
         {"--device", "sim:" + unitDir, "--timeout-ms", "20", "info"},
         1,
         "does not answer"},
        {"second unit in one directory", {"sim", "create", unitDir}, 1, "already holds"},
        {"ragged capacity",
         {"sim", "create", missing, "--capacity", "5000"},
         1,
         "multiple of 4096"},
        {"sim without a directory", {"sim", "create"}, 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Result result = Run(c.args);
        EXPECT_EQ(result.status, c.status);
        EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
    }
}

}  // namespace
}  // namespace kivrel
