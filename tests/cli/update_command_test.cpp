// `kivrel update` and `kivrel check` end to end against a simulated unit kept in a folder: what
// a script sees (exit status, texts), what the unit holds afterwards, and what is left on disk.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "device/layout_record.h"
#include "package/package_writer.h"
#include "package/sample_package.h"
#include "tests/support/cli_runner.h"
#include "tests/support/http_test_server.h"
#include "tests/support/test_files.h"

namespace kivrel {
namespace {

namespace fs = std::filesystem;
using test::ReadAll;

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& bytes, std::size_t at,
                                std::size_t length) {
    return {bytes.begin() + static_cast<std::ptrdiff_t>(at),
            bytes.begin() + static_cast<std::ptrdiff_t>(at + length)};
}

class UpdateCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kivrel-update-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        unitDir = (dir / "unit").string();
        // Staging and the version file go to the per-user cache folder.
        ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
        ASSERT_EQ(Run({"sim", "create", unitDir}).status, 0);

        SampleOptions options;
        options.sizes.modelCount = 0;
        contents = MakeSamplePackage(options);
        const auto file = WritePackage(contents).bytes;
        std::ofstream(dir / "camera.qdx", std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()),
                   static_cast<std::streamsize>(file.size()));
    }
    void TearDown() override {
        ::unsetenv("XDG_CACHE_HOME");
        fs::remove_all(dir);
    }

    using Result = test::CliResult;
    static Result Run(std::vector<std::string> args) { return test::RunCli(std::move(args)); }
    std::string Device() const { return "sim:" + unitDir; }
    std::vector<std::uint8_t> Bank(int bank) const {
        return ReadAll(fs::path(unitDir) / ("bank" + std::to_string(bank) + ".bin"));
    }
    void PutBank0(std::uint32_t address, std::span<const std::uint8_t> bytes) {
        std::fstream file(fs::path(unitDir) / "bank0.bin",
                          std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(address);
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    void SetFault(const std::string& key, long value) {
        std::ofstream(fs::path(unitDir) / "unit.json")
            << "{\"boot_version\": 1011, \"capacity\": 16777216, \"" << key << "\": " << value
            << "}";
    }
    // The unit holds the file's sections where a unit without a layout record keeps them.
    void ExpectUnitHoldsTheFile() {
        const auto bank1 = Bank(1);
        EXPECT_EQ(Slice(bank1, 0x2DE000, contents.database.size()), contents.database);
        EXPECT_EQ(Slice(bank1, 0x16000, contents.resource.size()), contents.resource);
        EXPECT_EQ(Slice(bank1, 0xDE000, contents.main.size()), contents.main);
        EXPECT_EQ(Slice(Bank(0), 0, contents.base.size()), contents.base);
    }

    fs::path dir;
    std::string unitDir;
    PackageContents contents;
};

TEST_F(UpdateCommand, ALocalUpdateWritesTheUnitAndLeavesATraceOfEveryReport) {
    const std::string trace = (dir / "trace.txt").string();
    const Result result = Run(
        {"--device", Device(), "--trace", trace, "update", (dir / "camera.qdx").string(), "--yes"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Update Successfully!\n");
    // The progress counts what is sent: the auxiliary image has no place in the fixed layout.
    EXPECT_NE(result.err.find("100.00%"), std::string::npos) << result.err;
    ExpectUnitHoldsTheFile();

    std::ifstream lines(trace);
    const std::regex line("[<>] [0-9a-f]{130}");
    std::string text;
    std::size_t count = 0, fromTool = 0;
    while (std::getline(lines, text)) {
        ++count;
        EXPECT_TRUE(std::regex_match(text, line)) << text;
        fromTool += text[0] == '>';
    }
    EXPECT_GT(count, 200u);
    EXPECT_GT(fromTool, count / 2);  // data reports go one way

    const Result info = Run({"--device", Device(), "info"});
    EXPECT_NE(info.out.find("Database date:     2024-05-01 08:00:00"), std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("Main date:         2024-05-01 08:00:00"), std::string::npos);
}

TEST_F(UpdateCommand, AFailedUpdateSaysSoAndWhatTheUnitNowHolds) {
    SetFault("refuse_block", 0x2DE000 / 256);  // the database region
    const Result result =
        Run({"--device", Device(), "update", (dir / "camera.qdx").string(), "--yes"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.out.empty()) << result.out;
    EXPECT_NE(result.err.find("Update Failed!\n"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("The unit now holds:"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("Successfully"), std::string::npos);
}

TEST_F(UpdateCommand, ASilentUnitEndsInABoundedFailure) {
    SetFault("stop_after_reports", 40);
    const Result result = Run({"--device", Device(), "--timeout-ms", "200", "update",
                               (dir / "camera.qdx").string(), "--yes"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("Update Failed!"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("The unit cannot be read now"), std::string::npos) << result.err;
}

TEST_F(UpdateCommand, AReportLostWhileTheUnitIsReadLeavesItUnwrittenAndARetryGoesByItsRecord) {
    LayoutRecord record;  // the sample's sections, each in a region of its rounded size
    record.SetWord(LayoutRecord::kMarker, kLayoutMarker);
    for (const auto& [start, size, at, bytes] :
         {std::array<std::uint32_t, 4>{LayoutRecord::kMainStart, LayoutRecord::kMainSize, 0x22000,
                                       0x1000},
          {LayoutRecord::kResourceStart, LayoutRecord::kResourceSize, 0x23000, 0x1000},
          {LayoutRecord::kDatabaseStart, LayoutRecord::kDatabaseSize, 0x24000, 0x2000},
          {LayoutRecord::kAuxiliaryStart, LayoutRecord::kAuxiliarySize, 0x26000, 0x1000}}) {
        record.SetWord(start, at);
        record.SetWord(size, bytes);
    }
    PutBank0(0x16000, WriteLayoutBlock(record));
    SetFault("drop_report", 8);  // a data report of the layout block
    const auto bank0 = Bank(0), bank1 = Bank(1);
    const Result lost = Run({"--device", Device(), "--timeout-ms", "200", "update",
                             (dir / "camera.qdx").string(), "--yes"});
    EXPECT_EQ(lost.status, 1);
    EXPECT_NE(lost.err.find("the layout block did not come whole"), std::string::npos) << lost.err;
    EXPECT_EQ(lost.out.find("Successfully"), std::string::npos);
    EXPECT_EQ(Bank(0), bank0);
    EXPECT_EQ(Bank(1), bank1);

    SetFault("drop_report", 0);
    const Result retry =
        Run({"--device", Device(), "update", (dir / "camera.qdx").string(), "--yes"});
    ASSERT_EQ(retry.status, 0) << retry.err;
    const auto written = Bank(1);
    EXPECT_EQ(Slice(written, 0x22000, contents.main.size()), contents.main);
    EXPECT_EQ(Slice(written, 0x23000, contents.resource.size()), contents.resource);
    EXPECT_EQ(Slice(written, 0x24000, contents.database.size()), contents.database);
}

TEST_F(UpdateCommand, AUnitSilentOnceTheDataIsInIsUpdatedAndTheUserToldToCheckIt) {
    // A whole update on another unit, traced, shows where the data ends: the last reply to a
    // WriteBlocks.
    const std::string other = (dir / "other").string();
    const std::string trace = (dir / "trace.txt").string();
    ASSERT_EQ(Run({"sim", "create", other}).status, 0);
    ASSERT_EQ(Run({"--device", "sim:" + other, "--trace", trace, "update",
                   (dir / "camera.qdx").string(), "--yes"})
                  .status,
              0);
    std::ifstream lines(trace);
    long lastWriteReply = 0;
    long number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (line.starts_with("< 00f3")) lastWriteReply = number;
    }
    ASSERT_GT(lastWriteReply, 0);

    SetFault("stop_after_reports", lastWriteReply);
    const Result result = Run({"--device", Device(), "--timeout-ms", "100", "update",
                               (dir / "camera.qdx").string(), "--yes"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Update Successfully!\n");
    EXPECT_NE(result.err.find("The unit stopped answering at the end of the update"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("`kivrel info`"), std::string::npos);
    ExpectUnitHoldsTheFile();
}

TEST_F(UpdateCommand, AMissingFileIsNamedAndTheUnitLeftAlone) {
    const auto bank0 = Bank(0), bank1 = Bank(1);
    const Result result =
        Run({"--device", Device(), "update", (dir / "missing.qdx").string(), "--yes"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("Open update file failed!\nThe file missing.qdx cannot be opened"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(Bank(0), bank0);
    EXPECT_EQ(Bank(1), bank1);
}

TEST_F(UpdateCommand, ProvinceListsAreCheckedBeforeTheUnitIsTouched) {
    struct Case {
        std::string list;
        bool ok;
    };
    const Case cases[] = {
        {"0,27", true},
        {"\xE5\x8C\x97\xE4\xBA\xAC, 33", true},  // 北京 by name
        {"34", false},
        {"nowhere", false},
        {"0,1,2,3,4,5,6,7,8,9,10,11,12", false},  // thirteen
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list);
        const Result result = Run(
            {"--device", Device(), "update", (dir / "camera.qdx").string(), "--provinces", c.list});
        EXPECT_EQ(result.status, c.ok ? 0 : 2) << result.err;
    }
}

TEST_F(UpdateCommand, ChosenProvincesAreSentAsARegionalDatabase) {
    SampleOptions options;
    options.sizes.modelCount = 0;
    options.sizes.recordsPerProvince = 5;
    const auto file = WritePackage(MakeSamplePackage(options)).bytes;
    std::ofstream(dir / "provinces.qdx", std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    const Result result = Run({"--device", Device(), "update", (dir / "provinces.qdx").string(),
                               "--provinces", "0,27,33"});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto database = Slice(Bank(1), 0x2DE000, 8);
    EXPECT_EQ(database[4], 15);  // three provinces of five records
}

class OnlineUpdate : public UpdateCommand {
protected:
    void SetUp() override {
        UpdateCommand::SetUp();
        if (std::system("7z > /dev/null 2>&1") != 0) GTEST_SKIP() << "7z is not installed";
        const std::string command =
            "cd '" + dir.string() + "' && 7z a -tzip camera-db.zip camera.qdx > /dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0);
        zip = ReadAll(dir / "camera-db.zip");
        server.ServeText("/version.txt", "20240501\r\n" + server.Url("/db/camera-db.zip") + "\r\n");
    }

    test::HttpTestServer server;
    std::vector<std::uint8_t> zip;
};

TEST_F(OnlineUpdate, TheNewestDatabaseIsDownloadedUnpackedAndWritten) {
    server.ServeBytes("/db/camera-db.zip", zip);
    const Result result = Run({"--device", Device(), "update", "--online", "--version-url",
                               server.Url("/version.txt"), "--yes"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("Internet vesion:20240501\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Update Successfully!\n"), std::string::npos);
    ExpectUnitHoldsTheFile();
    // The archive stays in its staging folder; the unpacked files are gone.
    const fs::path staging = dir / "cache" / "kivrel" / "camera-db";
    EXPECT_TRUE(fs::exists(staging / "camera-db.zip"));
    EXPECT_FALSE(fs::exists(staging / "TmpTmp"));
    // The version file is deleted once read.
    EXPECT_FALSE(fs::exists(dir / "cache" / "kivrel" / "Tmp"));
}

TEST_F(OnlineUpdate, ADroppedDownloadIsReportedAndLeavesTheUnitUntouched) {
    test::HttpRoute dropping;
    dropping.body = zip;
    dropping.dropAfterBytes = zip.size() / 2;
    server.Serve("/db/camera-db.zip", dropping);
    const auto bank0 = Bank(0), bank1 = Bank(1);
    const Result result = Run({"--device", Device(), "update", "--online", "--version-url",
                               server.Url("/version.txt"), "--yes"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("Error! Please update by local file!"), std::string::npos)
        << result.err;
    EXPECT_EQ(Bank(0), bank0);
    EXPECT_EQ(Bank(1), bank1);
}

TEST_F(OnlineUpdate, CheckComparesTheOnlineVersionWithTheUnit) {
    const Result result =
        Run({"--device", Device(), "check", "--version-url", server.Url("/version.txt"), "--json"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("\"online_version\": 20240501"), std::string::npos) << result.out;

    server.ServeText("/version.txt", "20240501\r\n");  // no archive line
    const Result broken =
        Run({"--device", Device(), "check", "--version-url", server.Url("/version.txt")});
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.err.find("Access database failed,please updated by local file!"),
              std::string::npos);
}

}  // namespace
}  // namespace kivrel
