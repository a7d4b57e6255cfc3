// Windows keeps the system's temp path for the version file and the staging folders.

#include <windows.h>
#include <gtest/gtest.h>

#include "base/disk_space.h"
#include "base/temp_folder.h"
#include "base/user_data_folder.h"

namespace kivrel {
namespace {

TEST(WinTempFolder, IsTheSystemTempPathEndingInABackslash) {
    wchar_t expected[MAX_PATH + 1] = {};
    ASSERT_GT(::GetTempPathW(MAX_PATH + 1, expected), 0u);

    const std::wstring folder = TempFolder();

    EXPECT_EQ(folder, expected);
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), L'\\');
}

TEST(WinTempFolder, ItsFreeSpaceIsKnownAndAMissingFolderHasNone) {
    const std::wstring folder = TempFolder();
    const auto free = SystemFreeDiskSpace(folder);
    ASSERT_TRUE(free.has_value());
    EXPECT_GT(*free, 0u);
    EXPECT_FALSE(SystemFreeDiskSpace(L"Q:\\no such drive\\").has_value());
}

TEST(WinTempFolder, RecordsAreKeptInTheProfilesLocalAppDataFolder) {
    std::wstring whyNot;
    const std::wstring folder = UserDataFolder(whyNot);
    ASSERT_FALSE(folder.empty()) << std::string(whyNot.begin(), whyNot.end());
    EXPECT_TRUE(folder.ends_with(L"\\Kivrel\\"));
    const std::wstring units = UserDataSubfolder(folder, L"units", whyNot);
    ASSERT_EQ(units, folder + L"units\\");
    const DWORD attributes = ::GetFileAttributesW(units.c_str());
    EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

}  // namespace
}  // namespace kivrel
