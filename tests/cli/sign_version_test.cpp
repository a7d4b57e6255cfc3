// `kivrel sign-version` writes what a vendor publishes, and `check` and `update --online` take
// it with the key given: a signing tool whose files the checker refuses, or a checker that
// takes what it should refuse, would leave owners with no update or with any update.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "package/package_writer.h"
#include "package/sample_package.h"
#include "tests/support/cli_runner.h"
#include "tests/support/http_test_server.h"
#include "tests/support/test_files.h"

namespace kivrel {
namespace {

namespace fs = std::filesystem;
using test::ReadText;

class SignVersion : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kivrel-sign-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
        if (std::system("7z > /dev/null 2>&1") != 0) GTEST_SKIP() << "7z is not installed";
        const std::string keys = "cd '" + dir.string() +
                                 "' && openssl ecparam -name prime256v1 -genkey -noout -out "
                                 "key.pem && openssl ec -in key.pem -pubout -out key.pub && "
                                 "openssl ecparam -name prime256v1 -genkey -noout -out other.pem "
                                 "&& openssl ec -in other.pem -pubout -out other.pub";
        if (std::system((keys + " 2>/dev/null").c_str()) != 0) GTEST_SKIP() << "no openssl";
        ASSERT_EQ(test::RunCli({"sim", "create", (dir / "unit").string()}).status, 0);
        SampleOptions options;
        options.sizes.modelCount = 0;
        const auto file = WritePackage(MakeSamplePackage(options)).bytes;
        std::ofstream(dir / "camera.qdx", std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()),
                   static_cast<std::streamsize>(file.size()));
        ASSERT_EQ(std::system(("cd '" + dir.string() +
                               "' && 7z a -tzip camera-db.zip camera.qdx > /dev/null 2>&1")
                                  .c_str()),
                  0);
    }
    void TearDown() override {
        ::unsetenv("XDG_CACHE_HOME");
        fs::remove_all(dir);
    }
    // Signs the archive for `url` with the key; the file as printed, or empty.
    std::string Sign(const std::string& key, const std::string& url) {
        const test::CliResult result =
            test::RunCli({"sign-version", "--key", (dir / key).string(), "--version", "20300101",
                          "--url", url, (dir / "camera-db.zip").string()});
        EXPECT_EQ(result.status, 0) << result.err;
        return result.out;
    }
    std::string Device() const { return "sim:" + (dir / "unit").string(); }

    fs::path dir;
    test::HttpTestServer server;
};

TEST_F(SignVersion, ASignedFileIsTakenWithItsKeyAndUpdatesTheUnit) {
    const std::string version = Sign("key.pem", server.Url("/db/camera-db.zip"));
    EXPECT_EQ(version.rfind("20300101\n" + server.Url("/db/camera-db.zip") + "\nsha256=", 0), 0u);
    EXPECT_NE(version.find("\nsize=" + std::to_string(fs::file_size(dir / "camera-db.zip")) +
                           "\nsignature="),
              std::string::npos);
    server.ServeText("/version.txt", version);
    server.ServeText("/unsigned.txt", "20300101\n" + server.Url("/db/camera-db.zip") + "\n");
    server.ServeText("/other.txt", Sign("other.pem", server.Url("/db/camera-db.zip")));
    ASSERT_TRUE(server.ServeFile("/db/camera-db.zip", dir / "camera-db.zip"));
    const std::string key = (dir / "key.pub").string();

    const test::CliResult check =
        test::RunCli({"--device", Device(), "check", "--version-url", server.Url("/version.txt"),
                      "--trusted-key", key, "--json"});
    ASSERT_EQ(check.status, 0) << check.err;
    EXPECT_NE(check.out.find("\"signature\": \"signed\""), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("\"signed_by\": \"key.pub ("), std::string::npos) << check.out;

    // Without a key it is taken as every file was, and said to be unsigned.
    const test::CliResult unkeyed =
        test::RunCli({"--device", Device(), "check", "--version-url", server.Url("/unsigned.txt")});
    ASSERT_EQ(unkeyed.status, 0) << unkeyed.err;
    EXPECT_NE(unkeyed.out.find("Signature: unsigned"), std::string::npos) << unkeyed.out;

    struct Refusal {
        const char* name;
        std::vector<std::string> options;
        std::string_view text;
    };
    const Refusal refusals[] = {
        {"unsigned, with a key",
         {"--version-url", server.Url("/unsigned.txt"), "--trusted-key", key},
         "The database is not signed by key.pub ("},
        {"unsigned, signature required",
         {"--version-url", server.Url("/unsigned.txt"), "--require-signed"},
         "The database is not signed by a key this tool trusts."},
        {"another key",
         {"--version-url", server.Url("/other.txt"), "--trusted-key", key},
         "The database is not signed by key.pub ("},
    };
    const auto bank1 = ReadText(dir / "unit" / "bank1.bin");
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.name);
        std::vector<std::string> args = {"--device", Device(), "update", "--online", "--yes"};
        args.insert(args.end(), r.options.begin(), r.options.end());
        const test::CliResult refused = test::RunCli(args);
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.err.find(r.text), std::string::npos) << refused.err;
        EXPECT_EQ(ReadText(dir / "unit" / "bank1.bin"), bank1);
    }

    const test::CliResult update =
        test::RunCli({"--device", Device(), "update", "--online", "--version-url",
                      server.Url("/version.txt"), "--trusted-key", key, "--yes"});
    ASSERT_EQ(update.status, 0) << update.err;
    EXPECT_NE(update.out.find("Signature: signed by key.pub ("), std::string::npos);
    EXPECT_NE(update.out.find("Update Successfully!"), std::string::npos);
    EXPECT_NE(ReadText(dir / "unit" / "bank1.bin"), bank1);
}

TEST_F(SignVersion, WrongInputsAreRefusedAsUsage) {
    const std::string archive = (dir / "camera-db.zip").string();
    const std::string key = (dir / "key.pem").string();
    const std::vector<std::vector<std::string>> usages = {
        {"sign-version", "--key", key, "--version", "2030-01-01", "--url",
         "http://h/db/camera-db.zip", archive},
        {"sign-version", "--key", key, "--version", "20300101", "--url", "ftp://h/db.zip", archive},
        {"sign-version", "--key", key, "--version", "20300101", "--url", "http://h/db/", archive},
        {"sign-version", "--key", (dir / "missing.pem").string(), "--version", "20300101", "--url",
         "http://h/db.zip", archive},
        {"check", "--trusted-key", archive},  // not a key
    };
    for (const auto& args : usages) {
        SCOPED_TRACE(args[args.size() - 1] + " " + args[1] + " " + args[2]);
        const test::CliResult result = test::RunCli(args);
        EXPECT_EQ(result.status, 2) << result.err;
        EXPECT_TRUE(result.out.empty());
    }
    // A public key cannot sign.
    const test::CliResult result =
        test::RunCli({"sign-version", "--key", (dir / "key.pub").string(), "--version", "20300101",
                      "--url", "http://h/db.zip", archive});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("it holds no private key"), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty());
}

}  // namespace
}  // namespace kivrel
