// Downloads and unpacked archives must go into a folder only this user can write: another
// user must not be able to plant a file or a link there first.

#include "base/temp_folder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/disk_space.h"
#include "base/text.h"
#include "base/user_data_folder.h"

namespace kivrel {
namespace {

namespace fs = std::filesystem;

class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("kivrel-temp-folder-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "cache");
        ::setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
        ::setenv("HOME", (root / "home").c_str(), 1);
    }
    void TearDown() override {
        fs::permissions(root, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(root);
    }

    fs::path root;
};

TEST_F(TempFolderTest, CreatesAPrivateFolderInTheUsersCache) {
    std::wstring whyNot;
    const std::wstring folder = TempFolder(whyNot);

    EXPECT_EQ(folder, Utf8ToWide((root / "cache" / "kivrel").string() + "/"));
    EXPECT_EQ(whyNot, L"");
    struct stat info {};
    ASSERT_EQ(::lstat((root / "cache" / "kivrel").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(TempFolder(), folder);  // an existing private folder is fine
}

TEST_F(TempFolderTest, FallsBackToHomeWhenTheCacheSettingIsNotAnAbsolutePath) {
    ::setenv("XDG_CACHE_HOME", "relative/cache", 1);
    fs::create_directories(root / "home");

    EXPECT_EQ(TempFolder(), Utf8ToWide((root / "home" / ".cache" / "kivrel").string() + "/"));
}

TEST_F(TempFolderTest, RefusesAFolderOthersCouldWriteOrALink) {
    const fs::path folder = root / "cache" / "kivrel";
    struct Case {
        const char* name;
        void (*arrange)(const fs::path&);
    };
    const Case cases[] = {
        {"open to others",
         [](const fs::path& f) {
             fs::create_directory(f);
             ::chmod(f.c_str(), 0777);
         }},
        {"readable by the group",
         [](const fs::path& f) {
             fs::create_directory(f);
             ::chmod(f.c_str(), 0750);
         }},
        {"a link to a private folder",
         [](const fs::path& f) {
             fs::create_directory(f.parent_path() / "elsewhere");
             ::chmod((f.parent_path() / "elsewhere").c_str(), 0700);
             fs::create_directory_symlink(f.parent_path() / "elsewhere", f);
         }},
        {"a file", [](const fs::path& f) { ::close(::creat(f.c_str(), 0600)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(folder);
        fs::remove_all(root / "cache" / "elsewhere");
        c.arrange(folder);
        std::wstring whyNot;
        EXPECT_EQ(TempFolder(whyNot), L"");
        EXPECT_NE(whyNot.find(L"Refusing to use"), std::wstring::npos) << WideToUtf8(whyNot);
    }
}

TEST_F(TempFolderTest, SaysWhyWhenTheFolderCannotBeMade) {
    ::setenv("XDG_CACHE_HOME", (root / "missing" / "deeper").c_str(), 1);

    std::wstring whyNot;
    EXPECT_EQ(TempFolder(whyNot), L"");
    EXPECT_NE(whyNot.find(L"Cannot create"), std::wstring::npos);
}

TEST_F(TempFolderTest, TheFreeSpaceOfTheFolderIsKnownAndAMissingFolderHasNone) {
    const std::wstring folder = TempFolder();
    ASSERT_FALSE(folder.empty());
    const auto free = SystemFreeDiskSpace(folder);
    ASSERT_TRUE(free.has_value());
    EXPECT_GT(*free, 0u);
    EXPECT_FALSE(SystemFreeDiskSpace(folder + L"missing/deeper").has_value());
}

TEST_F(TempFolderTest, KeepsRecordsInAPrivateDataFolderAndRefusesALinkedOne) {
    ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    std::wstring whyNot;
    const std::wstring folder = UserDataFolder(whyNot);
    ASSERT_EQ(folder, Utf8ToWide((root / "data" / "kivrel").string() + "/")) << WideToUtf8(whyNot);
    const std::wstring units = UserDataSubfolder(folder, L"units", whyNot);
    ASSERT_FALSE(units.empty()) << WideToUtf8(whyNot);
    EXPECT_EQ(fs::status(WideToUtf8(units)).permissions() & fs::perms::all, fs::perms::owner_all);

    // Another user's link in its place would send a unit's settings elsewhere.
    fs::create_directories(root / "elsewhere");
    fs::create_directory_symlink(root / "elsewhere", root / "data" / "kivrel" / "linked");
    EXPECT_EQ(UserDataSubfolder(folder, L"linked", whyNot), L"");
    EXPECT_NE(whyNot.find(L"not a plain folder"), std::wstring::npos);
    ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace kivrel
