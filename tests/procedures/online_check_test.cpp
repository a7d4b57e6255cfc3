// The online version check as both programs run it: which address a unit gets, the version
// file fetched and read, and each way the check fails, against the local HTTP server.

#include "procedures/online_check.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/text.h"
#include "net/http_download.h"
#include "net/proxy_settings.h"
#include "net/version_check.h"
#include "package/vendor_config.h"
#include "tests/support/http_test_server.h"

namespace kivrel {
namespace {

namespace fs = std::filesystem;

class OnlineCheck : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / "kivrel-online-check";
        fs::remove_all(dir);
        fs::create_directories(dir);
        temp.folder = (dir / "").wstring();
    }
    void TearDown() override { fs::remove_all(dir); }

    std::wstring Check(const std::wstring& address, AnnouncedDatabase& found) {
        const std::array<std::uint8_t, 256> identity{};
        return CheckOnlineVersion(identity, DefaultVendorConfig(), address, VersionTrustPolicy{},
                                  NetworkSettings{}, temp, nullptr, found);
    }

    test::HttpTestServer server;
    fs::path dir;
    TempFolderChoice temp;
};

TEST_F(OnlineCheck, TheAddressIsTheOptionsOrTheVendorTablesAndAnArchiveNeedsNoVersionFile) {
    const std::array<std::uint8_t, 256> identity{};
    VendorConfig none = DefaultVendorConfig();
    none.versionSources = {};
    EXPECT_EQ(ChooseOnlineSource(identity, none).kind, OnlineSourceKind::kNone);
    EXPECT_EQ(ChooseOnlineSource(identity, none, L"http://h/db.ZIP").kind,
              OnlineSourceKind::kArchive);
    const OnlineSource file = ChooseOnlineSource(identity, none, L"http://h/version.txt");
    EXPECT_EQ(file.kind, OnlineSourceKind::kVersionFile);
    EXPECT_EQ(file.address, L"http://h/version.txt");
    // The neutral build's own table has an address for every unit.
    EXPECT_EQ(ChooseOnlineSource(identity, DefaultVendorConfig()).kind,
              OnlineSourceKind::kVersionFile);

    AnnouncedDatabase found;
    EXPECT_EQ(Check(L"http://127.0.0.1:1/db.7z", found), L"");  // nothing fetched
    EXPECT_EQ(found.archiveUrl, L"http://127.0.0.1:1/db.7z");
    EXPECT_EQ(found.version, 0);
}

TEST_F(OnlineCheck, AFetchedVersionFileGivesTheVersionAndTheArchiveAndIsRemoved) {
    server.ServeText("/version.txt", "20240501 camera database\r\nhttp://mirror/db.rar\r\n");
    AnnouncedDatabase found;
    ASSERT_EQ(Check(Utf8ToWide(server.Url("/version.txt")), found), L"");
    EXPECT_EQ(found.version, 20240501);
    EXPECT_EQ(found.archiveUrl, L"http://mirror/db.rar");
    EXPECT_EQ(found.versionText, "20240501 camera database");
    EXPECT_FALSE(fs::exists(dir / "Tmp"));
}

TEST_F(OnlineCheck, EveryFailureIsTheAccessFailedTextOrWhyThereIsNoTempFolder) {
    server.ServeText("/empty.txt", "");
    struct Case {
        const char* name;
        std::wstring address;
        std::wstring_view text;
    };
    const Case cases[] = {
        {"a missing file", Utf8ToWide(server.Url("/missing.txt")), kTextAccessFailed},
        {"a file that does not parse", Utf8ToWide(server.Url("/empty.txt")), kTextAccessFailed},
        {"no server", L"http://127.0.0.1:1/version.txt", kTextAccessFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AnnouncedDatabase found;
        EXPECT_EQ(Check(c.address, found), c.text);
    }
    temp = {{}, L"no folder for this user"};
    AnnouncedDatabase found;
    EXPECT_EQ(Check(Utf8ToWide(server.Url("/version.txt")), found), L"no folder for this user");
}

TEST_F(OnlineCheck, TheWindowsFetchOnItsOwnThreadIsReadWhenItHasFinished) {
    server.ServeText("/version.txt", "20250101\r\nhttp://mirror/db.zip\r\n");
    CHttpDownload downloader;
    NullEventSink sink;
    ASSERT_EQ(
        StartVersionFetch(downloader, &sink, Utf8ToWide(server.Url("/version.txt")), temp, false),
        L"");
    for (int i = 0; i < 500 && !downloader.Finished(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(downloader.Finished());
    AnnouncedDatabase found;
    ASSERT_EQ(ReadFetchedVersion(ToDownloadResultCode(downloader.Result().code), temp,
                                 VersionTrustPolicy{}, found),
              L"");
    EXPECT_EQ(found.version, 20250101);
    // A cancelled or failed fetch is no version, whatever the folder holds.
    EXPECT_EQ(ReadFetchedVersion(DownloadResultCode::kCancelled, temp, VersionTrustPolicy{}, found),
              kTextAccessFailed);
}

}  // namespace
}  // namespace kivrel
