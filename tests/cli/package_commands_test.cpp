// `kivrel pack` and `kivrel inspect` are how people and scripts look into update files: the
// JSON keys are a contract, and a bad file must give a reason and exit 1.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "cli/main.h"
#include "package/package_writer.h"
#include "package/sample_package.h"

namespace kivrel {
namespace {

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result RunCli(std::vector<std::string> args) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = cli::RunKivrel(std::move(args));
    Result result{status, testing::internal::GetCapturedStdout(),
                  testing::internal::GetCapturedStderr()};
    return result;
}

class PackageCommands : public testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("kivrel-cli-" + std::to_string(::getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string PathOf(const char* name) const { return (dir / name).string(); }

    std::filesystem::path dir;
};

TEST_F(PackageCommands, InspectDescribesAPackedSampleAsText) {
    const std::string file = PathOf("sample.qdx");
    const Result pack = RunCli({"pack", file, "--sample", "--shuffle", "7", "--gap", "5"});
    ASSERT_EQ(pack.status, 0) << pack.err;
    const Result inspect = RunCli({"inspect", file});
    ASSERT_EQ(inspect.status, 0) << inspect.err;
    for (const char* expected :
         {"Index:          full form, format version 5", "Model table:    extended, 2 entries",
          "  database                 6000 bytes, padded       6144, recorded       6000",
          "  main               2024-05-01 08:00:00", "KV01", "Province table: tag",
          "  \xE5\x8F\xB0\xE6\xB9\xBE: 6 records"}) {
        EXPECT_NE(inspect.out.find(expected), std::string::npos) << expected << "\n" << inspect.out;
    }
}

TEST_F(PackageCommands, InspectJsonKeepsTheContractKeysAndUnsignedFields) {
    const std::string file = PathOf("sample.qdx");
    ASSERT_EQ(RunCli({"pack", file, "--sample", "--format-version", "4294967295", "--date",
                      "2000-02-29 12:34:56"})
                  .status,
              0);
    const Result inspect = RunCli({"--json", "inspect", file});
    ASSERT_EQ(inspect.status, 0) << inspect.err;
    const nlohmann::json out = nlohmann::json::parse(inspect.out);
    EXPECT_EQ(out["index_form"], "full");
    EXPECT_EQ(out["format_version"].dump(), "4294967295");
    EXPECT_EQ(out["identity_hex"].get<std::string>().size(), 512u);
    EXPECT_EQ(out["identity_hex"].get<std::string>().substr(0, 8), "4b697672");  // "Kivr"
    for (const char* name : {"base", "resource", "database", "main", "alt_main", "auxiliary",
                             "regional_main", "regional_alt_main"}) {
        SCOPED_TRACE(name);
        const nlohmann::json& section = out["sections"][name];
        for (const char* key : {"size", "padded_length", "recorded_size", "checksum"}) {
            EXPECT_TRUE(section[key].is_number_unsigned()) << key;
        }
    }
    EXPECT_EQ(out["sections"]["main"]["recorded_size"], 0);
    EXPECT_EQ(out["sections"]["resource"]["recorded_size"], 3000);
    EXPECT_EQ(out["dates"]["database"], "2000-02-29 12:34:56");
    EXPECT_EQ(out["dates"]["regional_main"], "2000-02-29 12:34:56");
    EXPECT_EQ(out["models"]["extended"], true);
    const nlohmann::json& model = out["models"]["entries"][1];
    EXPECT_EQ(model["model_id_hex"], "3230564b");
    EXPECT_EQ(model["data_size"], 1500);
    EXPECT_EQ(model["padded_length"], 1536);
    EXPECT_EQ(model["alt_main"], 1);
    for (const char* key :
         {"checksum", "header_checksum", "first_layout_word", "second_layout_word"}) {
        EXPECT_TRUE(model[key].is_number_unsigned()) << key;
    }
    EXPECT_EQ(out["provinces"]["entries"].size(), 34u);
    EXPECT_EQ(out["provinces"]["entries"][0]["name"], "\xE5\x8C\x97\xE4\xBA\xAC");
    EXPECT_EQ(out["provinces"]["entries"][0]["records"], 6);
    EXPECT_EQ(out["provinces"]["tag_hex"].get<std::string>().size(), 8u);
}

TEST_F(PackageCommands, InspectJsonLeavesOutWhatTheFileDoesNotCarry) {
    const std::string file = PathOf("short.qdx");
    ASSERT_EQ(
        RunCli({"pack", file, "--sample", "--form", "short", "--omit", "models,resource"}).status,
        0);
    const Result inspect = RunCli({"inspect", file, "--json"});
    ASSERT_EQ(inspect.status, 0) << inspect.err;
    const nlohmann::json out = nlohmann::json::parse(inspect.out);
    EXPECT_EQ(out["index_form"], "short");
    EXPECT_EQ(out["format_version"], 1);
    EXPECT_FALSE(out.contains("models"));
    EXPECT_FALSE(out.contains("provinces"));
    EXPECT_FALSE(out["sections"].contains("resource"));
    EXPECT_FALSE(out["sections"].contains("alt_main"));
    EXPECT_FALSE(out["dates"].contains("resource"));
    EXPECT_TRUE(out["sections"].contains("database"));
}

TEST_F(PackageCommands, PackTakesPlainPartsFromFiles) {
    const std::string base = PathOf("base.bin");
    const std::string records = PathOf("records.bin");
    std::ofstream(base, std::ios::binary) << std::string(300, 'b');
    std::ofstream(records, std::ios::binary) << std::string(24, 'r');
    const std::string file = PathOf("parts.qdx");
    const Result pack =
        RunCli({"pack", file, "--base", base, "--model", "AB12=" + base, "--model-layout",
                "AB12=4096,7,1", "--province", "\xE5\x8F\xB0\xE6\xB9\xBE=" + records, "--province",
                "010=" + records, "--form", "full", "--vendor", "ACME"});
    ASSERT_EQ(pack.status, 0) << pack.err;
    const nlohmann::json out = nlohmann::json::parse(RunCli({"inspect", file, "--json"}).out);
    EXPECT_EQ(out["sections"]["base"]["size"], 300);
    EXPECT_EQ(out["sections"].size(), 1u);
    EXPECT_EQ(out["identity_hex"].get<std::string>().substr(0, 10), "41434d4520");
    EXPECT_EQ(out["models"]["entries"][0]["model_id_hex"], "32314241");
    EXPECT_EQ(out["models"]["entries"][0]["first_layout_word"], 4096);
    EXPECT_EQ(out["models"]["entries"][0]["second_layout_word"], 7);
    EXPECT_EQ(out["provinces"]["entries"][0]["name"], "\xE5\x8F\xB0\xE6\xB9\xBE");
    EXPECT_EQ(out["provinces"]["entries"][1]["name"], "\xE9\x99\x95\xE8\xA5\xBF");  // 10: 陕西
    EXPECT_EQ(out["provinces"]["entries"][1]["records"], 2);
}

TEST_F(PackageCommands, BadFilesGiveAReasonAndExitOne) {
    const std::string junk = PathOf("junk.qdx");
    std::ofstream(junk, std::ios::binary) << std::string(1000, 'j');
    const std::string tiny = PathOf("tiny.qdx");
    std::ofstream(tiny, std::ios::binary) << "qdx";
    struct Case {
        std::string file;
        const char* reason;
    };
    const Case cases[] = {
        {PathOf("missing.qdx"), "cannot open the file"},
        {tiny, "too short to be an update file"},
        {junk, "not an update file (no valid index block at its end)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        const Result inspect = RunCli({"inspect", c.file});
        EXPECT_EQ(inspect.status, 1);
        EXPECT_EQ(inspect.out, "");
        EXPECT_NE(inspect.err.find(c.reason), std::string::npos) << inspect.err;
    }
}

TEST_F(PackageCommands, PackRefusesBadOptionsAsWrongUsage) {
    const std::string file = PathOf("x.qdx");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"pack", file, "--form", "tiny"},
             {"pack", file, "--omit", "nothing"},
             {"pack", file, "--province", "Atlantis=" + file},
             {"pack", file, "--province", "34=" + file},
             {"pack", file, "--model", "KV01"},
             {"pack", file, "--date", "2024-05-01"},  // no sample to date
             {"pack", file, "--sample", "--date", "1969-12-31"},
             {"pack", file, "--sample", "--date", "2106-02-07 06:28:16"},
             {"pack", file, "--sample", "--date", "2024-261-01"},
             {"pack", file, "--sample", "--date", "2023-02-29"},
             {"pack", file, "--sample", "--date", "2024-04-31"},
             {"pack", file, "--sample", "--date", "2024-00-10"},
             {"pack", file, "--sample", "--date", "2024-05-01 24:00:00"},
             {"pack", file, "--sample", "--date", "2024-05-01 08:60:00"},
             {"pack", file, "--sample", "--date", "2024-5-1"},
             {"pack", file, "--sample", "--date", "2024-05-01T08:00:00"},
             {"pack", file, "--sample", "--date", "2024-05-01 08:00"},
             {"pack", file, "--sample", "--date", "2024-05-01 08:00:00 "},
             {"pack", file, "--sample", "--date", "+024-05-01"},
             {"pack", file, "--sample", "--date", ""},
         }) {
        SCOPED_TRACE(args[args.size() - 2] + " " + args.back());
        EXPECT_EQ(RunCli(args).status, 2);
    }
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(PackageCommands, PackWritesEveryRealDateItCanHold) {
    const std::string file = PathOf("dated.qdx");
    struct Case {
        const char* date;
        const char* written;
    };
    const Case cases[] = {
        {"2024-02-29", "2024-02-29 00:00:00"},
        {"1970-01-01 00:00:00", "1970-01-01 00:00:00"},
        {"2106-02-07 06:28:15", "2106-02-07 06:28:15"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.date);
        ASSERT_EQ(RunCli({"pack", file, "--sample", "--date", c.date}).status, 0);
        const Result inspect = RunCli({"inspect", file, "--json"});
        EXPECT_EQ(nlohmann::json::parse(inspect.out)["dates"]["database"], c.written);
    }
}

TEST_F(PackageCommands, InspectShowsProvinceNamesOutsideTheListInUtf8) {
    PackageContents contents = MakeSamplePackage({});
    contents.provinces.resize(3);
    contents.provinces[0].name = "\xCC\xA8\xB1\xB1";      // 台北
    contents.provinces[1].name = "\xBB\xF0\xD0\xC7\xFF";  // 火星, then a byte that is no GBK
    const std::string file = PathOf("names.qdx");
    const WrittenPackage written = WritePackage(contents);
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(written.bytes.data()),
               static_cast<std::streamsize>(written.bytes.size()));

    const Result json = RunCli({"inspect", file, "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const nlohmann::json out = nlohmann::json::parse(json.out);
    const nlohmann::json& entries = out["provinces"]["entries"];
    if (entries[0]["name"] == "\\xCC\\xA8\\xB1\\xB1") GTEST_SKIP() << "no GBK converter";
    EXPECT_EQ(entries[0]["name"], "\xE5\x8F\xB0\xE5\x8C\x97");
    EXPECT_EQ(entries[1]["name"], "\xE7\x81\xAB\xE6\x98\x9F\\xFF");
    EXPECT_EQ(entries[2]["name"], "\xE5\xA4\xA9\xE6\xB4\xA5");  // 天津, from the list

    const Result text = RunCli({"inspect", file});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("  \xE5\x8F\xB0\xE5\x8C\x97: 6 records\n"), std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("  \xE7\x81\xAB\xE6\x98\x9F\\xFF: 6 records\n"), std::string::npos);
}

}  // namespace
}  // namespace kivrel
