// `kivrel report` is what a user hands to support: it must hold every section whatever state
// the unit is in, show the last update and the end of its trace within a bound, and carry
// nothing of the user's own (folders, names, environment).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/update_record.h"
#include "kivrel_version.h"
#include "tests/support/cli_runner.h"
#include "tests/support/test_files.h"

namespace kivrel {
namespace {

namespace fs = std::filesystem;
using test::ReadText;

class ReportCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kivrel-report-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
        unit = (dir / "unit").string();
        ASSERT_EQ(Run({"sim", "create", unit, "--capacity", "4194304"}).status, 0);
    }
    void TearDown() override {
        ::unsetenv("XDG_CACHE_HOME");
        fs::remove_all(dir);
    }

    static test::CliResult Run(std::vector<std::string> args) {
        return test::RunCli(std::move(args));
    }
    fs::path Kept(std::wstring_view name) const {
        return dir / "cache" / "kivrel" / fs::path(std::wstring(name));
    }

    fs::path dir;
    std::string unit;
};

TEST_F(ReportCommand, HoldsEverySectionAndTheLastUpdateButNothingOfTheUsersFolders) {
    const std::string file = (dir / "camera.qdx").string();
    ASSERT_EQ(Run({"pack", file, "--sample", "--omit", "models"}).status, 0);
    ASSERT_EQ(Run({"--device", "sim:" + unit, "update", file}).status, 0);
    const std::string kept = ReadText(Kept(cli::kLastTraceName));
    EXPECT_GT(std::count(kept.begin(), kept.end(), '\n'), 100);

    const fs::path out = dir / "support.txt";
    const test::CliResult result = Run({"--device", "sim:" + unit, "report", out.string()});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Support report written to " + out.string() + "\n");
    const std::string report = ReadText(out);
    for (const std::string& expected : {
             std::string("== Tool ==\nkivrel ") + KIVREL_VERSION + "\n",
             std::string("== Operating system ==\nLinux "),
             std::string("== Unit (kivrel info --json) ==\n{\n  \"blank_regions\": []"),
             std::string("\"database_version\": 20240501"),
             std::string("== Settings block (256 bytes at 0x11000) ==\n000: ff ff"),
             std::string("== Settings (kivrel settings show --json) ==\nNot shown: "),
             std::string("== Last update (kivrel-last-update.json) ==\n{"),
             std::string("\"outcome\": \"succeeded\""),
             std::string("\"name\": \"camera.qdx\""),
             std::string("\"what\": \"database\""),
             std::string("== Last trace (kivrel-last-trace.txt, "),
         }) {
        EXPECT_NE(report.find(expected), std::string::npos) << expected;
    }
    EXPECT_NE(report.find(kept), std::string::npos) << "the whole kept trace";
    EXPECT_EQ(report.find(dir.string()), std::string::npos);
    EXPECT_EQ(report.find(std::getenv("HOME")), std::string::npos);
    EXPECT_EQ(ReadText(Kept(cli::kLastUpdateName)).find(dir.string()), std::string::npos);
}

TEST_F(ReportCommand, KeepsAndShowsOnlyTheEndOfATrace) {
    cli::TraceRing ring(3);
    for (const char* line : {"1", "2", "3", "4", "5"}) ring.Line(line);
    EXPECT_EQ(ring.Lines(), (std::deque<std::string>{"3", "4", "5"}));

    // A kept trace longer than the bound (left by another version, or edited) is cut too.
    fs::create_directories(Kept(cli::kLastTraceName).parent_path());
    fs::permissions(dir / "cache", fs::perms::owner_all);  // only a private folder is used
    fs::permissions(Kept(cli::kLastTraceName).parent_path(), fs::perms::owner_all);
    {
        std::ofstream trace(Kept(cli::kLastTraceName));
        for (int i = 1; i <= 5000; ++i) trace << "> line " << i << '\n';
    }
    const test::CliResult result = Run({"--device", "sim:" + unit, "report", "-"});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string& report = result.out;
    EXPECT_NE(report.find("== Last trace (kivrel-last-trace.txt, its last 2000 lines) ==\n"
                          "> line 3001\n"),
              std::string::npos);
    EXPECT_TRUE(report.ends_with("> line 5000\n"));
    EXPECT_EQ(report.find("> line 3000\n"), std::string::npos);
    EXPECT_NE(report.find("No update has been recorded for this user."), std::string::npos);
}

TEST_F(ReportCommand, IsWrittenUnderItsOwnNameWhenNoUnitCanBeRead) {
    const fs::path here = fs::current_path();
    fs::current_path(dir);
    const test::CliResult result = Run({"--device", "sim:" + (dir / "none").string(), "report"});
    fs::current_path(here);
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<fs::path> written;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("kivrel-report-")) written.push_back(entry.path());
    }
    ASSERT_EQ(written.size(), 1u);
    // kivrel-report-YYYYMMDD-HHMMSS.txt
    EXPECT_EQ(written[0].filename().string().size(), std::string("kivrel-report-").size() + 19);
    const std::string report = ReadText(written[0]);
    EXPECT_NE(report.find("== Unit (kivrel info --json) ==\nNo unit could be opened: "),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("== Last trace ("), std::string::npos);
}

}  // namespace
}  // namespace kivrel
