// Windows keeps the system's temp path for the version file and the staging folders.

#include <windows.h>
#include <gtest/gtest.h>

#include "base/disk_space.h"
#include "base/temp_folder.h"

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

}  // namespace
}  // namespace kivrel
