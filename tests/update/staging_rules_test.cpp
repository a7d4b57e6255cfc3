// Staging paths, server-given archive names and archiver command lines are built from
// untrusted text: a wrong character here unpacks somewhere else or runs the wrong program.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "update/app_paths.h"
#include "update/archive_names.h"
#include "update/archiver_commands.h"
#include "update/staging_paths.h"

namespace kivrel {
namespace {

const std::wstring kAppPaths = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

TEST(StagingFolder, IsTheTempFolderFollowedByTheBaseName) {
    struct Case {
        std::wstring temp;
        std::wstring baseName;
        bool made;
        std::wstring folder;
    };
    const std::wstring longest(kMaxPathChars - 1, L'a');
    const Case cases[] = {
        {L"/home/u/.cache/kivrel/", L"db20240501", true, L"/home/u/.cache/kivrel/db20240501"},
        // A cache folder without a trailing separator keeps its last component.
        {L"/home/u/.cache/kivrel", L"db20240501", true, L"/home/u/.cache/kivrel/db20240501"},
        // No dot in the archive's name: the staging folder is the temp folder itself.
        {L"/home/u/.cache/kivrel/", L"", true, L"/home/u/.cache/kivrel/"},
        {L"/" + longest, L"db", true, L"/" + longest + L"/db"},
        {L"/" + longest + L"a", L"db", false, L"unchanged"},
        {L"", L"db", false, L"unchanged"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.temp);
        std::wstring folder = L"unchanged";
        EXPECT_EQ(MakeStagingFolderPath(c.temp, c.baseName, folder), c.made);
        EXPECT_EQ(folder, c.folder);
    }
}

TEST(StagingFolder, TakesTheArchiveNameAfterTheLastSlashAndTheBaseNameBeforeTheLastDot) {
    struct Case {
        std::wstring_view url;
        std::wstring_view archiveName;
        std::wstring_view baseName;
    };
    constexpr Case cases[] = {
        {L"http://db.example/gps/db.2024.05.zip", L"db.2024.05.zip", L"db.2024.05"},
        {L"db.rar", L"db.rar", L"db"},
        {L"http://db.example/gps/database", L"database", L""},
        {L"http://db.example/gps/", L"", L""},
        {L"http://db.example/gps/.7z", L".7z", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::wstring(c.url));
        EXPECT_EQ(ArchiveNameFromUrl(c.url), c.archiveName);
        EXPECT_EQ(BaseNameOf(ArchiveNameFromUrl(c.url)), c.baseName);
    }
}

TEST(ArchiveType, IsChosenByTheExactEndOfThePath) {
    struct Case {
        std::wstring_view path;
        ArchiveType type;
    };
    constexpr Case cases[] = {
        {L"/s/db.rar", ArchiveType::Rar},
        {L"/s/db.zip", ArchiveType::Zip},
        {L"/s/db.7z", ArchiveType::SevenZip},
        {L"/s/db.RAR", ArchiveType::None},  // case-sensitive: upper case is not unpacked
        {L"/s/db.Zip", ArchiveType::None},
        {L"/s/db.7Z", ArchiveType::None},
        {L"/s/db.tar.gz", ArchiveType::None},
        {L"/s/db.rar.part", ArchiveType::None},
        {L"/s/zip", ArchiveType::Zip},  // only the end counts, not a dot
        {L"", ArchiveType::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::wstring(c.path));
        EXPECT_EQ(ArchiveTypeOf(c.path), c.type);
    }
}

TEST(ArchiveName, OnlyPlainFileNamesFromTheServerAreAccepted) {
    struct Case {
        std::wstring name;
        bool safe;
    };
    const Case cases[] = {
        {L"db20240501.zip", true},
        {L"GPS Database 2024-05.rar", true},
        {L"数据库.7z", true},
        {L"database", true},
        {L".7z", true},
        {L"console.zip", true},  // starts like a device name but is not one
        {L"com10.zip", true},
        {L"lpt.zip", true},
        {L"", false},
        {L"..", false},
        {L".", false},
        {L"db..zip", false},
        {L"../db.zip", false},
        {L"..\\db.zip", false},
        {L"sub/db.zip", false},
        {L"sub\\db.zip", false},
        {L"/etc/db.zip", false},
        {L"C:db.zip", false},
        {L"C:\\db.zip", false},
        {L"\\\\server\\share\\db.zip", false},
        {L"db.zip:stream", false},
        {L"CON", false},
        {L"con.zip", false},
        {L"Con .zip", false},
        {L"PRN.rar", false},
        {L"aux", false},
        {L"NUL.tar.7z", false},
        {L"COM1.zip", false},
        {L"com9", false},
        {L"LPT1.zip", false},
        {L"lpt9.rar", false},
        {L"COM\u00B9.zip", false},
        {L"CONIN$", false},
        {L"conout$.zip", false},
        {L"db<1>.zip", false},
        {L"db\".zip", false},
        {L"db|x.zip", false},
        {L"db?.zip", false},
        {L"db*.zip", false},
        {L"db.zip?token=1", false},
        {std::wstring(L"db\0.zip", 7), false},
        {L"db\n.zip", false},
        {L"db\x1f.zip", false},
        {L"db.zip.", false},
        {L"db.zip ", false},
        {std::wstring(kMaxArchiveNameChars - 4, L'd') + L".zip", true},
        {std::wstring(kMaxArchiveNameChars - 3, L'd') + L".zip", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsSafeArchiveName(c.name), c.safe);
    }
}

TEST(ArchiverCommandLine, EachArchiverGetsItsExactArgumentText) {
    EXPECT_EQ(ArchiverArguments(ArchiverShape::WinRar, L"C:\\T\\db\\db.rar", L"C:\\T\\db\\TmpTmp"),
              L"x -o+ -y -IBCK \"C:\\T\\db\\db.rar\" *.* \"C:\\T\\db\\TmpTmp\"");
    EXPECT_EQ(ArchiverArguments(ArchiverShape::SevenZip, L"C:\\T\\db\\db.7z", L"C:\\T\\db\\TmpTmp"),
              L" x \"C:\\T\\db\\db.7z\" -aoa -y \"-oC:\\T\\db\\TmpTmp\"");
    // The 7-Zip shape starts with a blank, so its command line has two before the x.
    EXPECT_EQ(
        ArchiverCommandLine(L"C:\\7-Zip\\7z.exe", ArchiverArguments(ArchiverShape::SevenZip,
                                                                    L"C:\\a.zip", L"C:\\TmpTmp")),
        L"\"C:\\7-Zip\\7z.exe\"  x \"C:\\a.zip\" -aoa -y \"-oC:\\TmpTmp\"");
}

// The registry as maps from key name (after "App Paths\") to its "Path" value, one map for
// each view.
class FakeAppPaths final : public AppPathsSystem {
public:
    std::map<std::wstring, std::wstring> values;       // the 64-bit view
    std::map<std::wstring, std::wstring> wow32Values;  // the 32-bit view
    std::set<std::wstring> files;
    std::vector<std::wstring> keysRead;
    std::vector<std::wstring> foldersMade;

    bool ReadAppPath(const std::wstring& keyPath, RegistryView view, std::wstring& value) override {
        keysRead.push_back((view == RegistryView::Wow32 ? L"32:" : L"64:") + keyPath);
        if (keyPath.rfind(kAppPaths, 0) != 0) return false;
        const auto& viewValues = view == RegistryView::Wow32 ? wow32Values : values;
        const auto found = viewValues.find(keyPath.substr(kAppPaths.size()));
        if (found == viewValues.end()) return false;
        value = found->second;
        return true;
    }
    bool FileExists(const std::wstring& path) override { return files.count(path) != 0; }
    void MakeFolder(const std::wstring& path) override { foldersMade.push_back(path); }
};

TEST(AppPathsArchiver, TakesTheFirstInstalledOfWinRarHaoZipAnd7Zip) {
    const std::wstring dest = L"C:\\Temp\\db\\TmpTmp";
    const std::wstring archive = L"C:\\Temp\\db\\db.zip";
    const std::wstring winRarArgs = ArchiverArguments(ArchiverShape::WinRar, archive, dest);
    const std::wstring sevenZipArgs = ArchiverArguments(ArchiverShape::SevenZip, archive, dest);
    const std::wstring tooLong(kMaxPathChars - 10, L'x');
    struct Case {
        const char* name;
        std::map<std::wstring, std::wstring> values;
        std::map<std::wstring, std::wstring> wow32Values;
        std::set<std::wstring> files;
        std::wstring executable;  // empty: none found
        std::wstring arguments;
        bool destinationMade;
    };
    const Case cases[] = {
        {"a value without a trailing backslash gets one",
         {{L"WinRAR.exe", L"C:\\Program Files\\WinRAR"}},
         {},
         {L"C:\\Program Files\\WinRAR\\WinRar.exe"},
         L"C:\\Program Files\\WinRAR\\WinRar.exe",
         winRarArgs,
         true},
        {"a value ending in a backslash gets no second one",
         {{L"HaoZip.exe", L"C:\\HaoZip\\"}},
         {},
         {L"C:\\HaoZip\\HaoZipC.exe"},
         L"C:\\HaoZip\\HaoZipC.exe",
         sevenZipArgs,
         false},
        {"7-Zip is found by the key of its file manager",
         {{L"7zFM.exe", L"C:\\7-Zip"}},
         {},
         {L"C:\\7-Zip\\7z.exe"},
         L"C:\\7-Zip\\7z.exe",
         sevenZipArgs,
         false},
        {"a 32-bit archiver is found in the 32-bit view",
         {},
         {{L"7zFM.exe", L"C:\\Program Files (x86)\\7-Zip"}},
         {L"C:\\Program Files (x86)\\7-Zip\\7z.exe"},
         L"C:\\Program Files (x86)\\7-Zip\\7z.exe",
         sevenZipArgs,
         false},
        {"the 64-bit view comes first",
         {{L"7zFM.exe", L"C:\\S64"}},
         {{L"7zFM.exe", L"C:\\S32"}},
         {L"C:\\S64\\7z.exe", L"C:\\S32\\7z.exe"},
         L"C:\\S64\\7z.exe",
         sevenZipArgs,
         false},
        {"a 64-bit key whose executable is gone leaves the 32-bit one",
         {{L"WinRAR.exe", L"C:\\R64"}},
         {{L"WinRAR.exe", L"C:\\R32"}},
         {L"C:\\R32\\WinRar.exe"},
         L"C:\\R32\\WinRar.exe",
         winRarArgs,
         true},
        {"WinRAR comes first, in either view",
         {{L"HaoZip.exe", L"C:\\H"}, {L"7zFM.exe", L"C:\\S"}},
         {{L"WinRAR.exe", L"C:\\R"}},
         {L"C:\\R\\WinRar.exe", L"C:\\H\\HaoZipC.exe", L"C:\\S\\7z.exe"},
         L"C:\\R\\WinRar.exe",
         winRarArgs,
         true},
        {"a key whose executable is missing moves on",
         {{L"WinRAR.exe", L"C:\\R"}, {L"HaoZip.exe", L"C:\\H"}, {L"7zFM.exe", L"C:\\S"}},
         {},
         {L"C:\\S\\7z.exe"},
         L"C:\\S\\7z.exe",
         sevenZipArgs,
         false},
        {"an empty value is not the drive's root folder",
         {{L"WinRAR.exe", L""}, {L"7zFM.exe", L"C:\\S"}},
         {},
         {L"\\WinRar.exe", L"C:\\S\\7z.exe"},
         L"C:\\S\\7z.exe",
         sevenZipArgs,
         false},
        {"an executable path past the limit is refused",
         {{L"WinRAR.exe", tooLong}},
         {},
         {tooLong + L"\\WinRar.exe"},
         L"",
         L"",
         false},
        {"nothing installed", {}, {}, {}, L"", L"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeAppPaths system;
        system.values = c.values;
        system.wow32Values = c.wow32Values;
        system.files = c.files;
        std::wstring executable = L"unchanged";
        std::wstring arguments = L"unchanged";
        const bool found = FindAppPathsArchiver(system, dest, archive, executable, arguments);
        EXPECT_EQ(found, !c.executable.empty());
        EXPECT_EQ(executable, found ? c.executable : L"unchanged");
        EXPECT_EQ(arguments, found ? c.arguments : L"unchanged");
        EXPECT_EQ(system.foldersMade, c.destinationMade ? std::vector<std::wstring>{dest}
                                                        : std::vector<std::wstring>{});
    }
}

TEST(AppPathsArchiver, ReadsTheThreeKeysInOrderEachIn64AndThen32BitView) {
    FakeAppPaths system;
    std::wstring executable;
    std::wstring arguments;
    EXPECT_FALSE(
        FindAppPathsArchiver(system, L"C:\\T\\TmpTmp", L"C:\\T\\a.rar", executable, arguments));
    EXPECT_EQ(system.keysRead,
              (std::vector<std::wstring>{
                  L"64:" + kAppPaths + L"WinRAR.exe", L"32:" + kAppPaths + L"WinRAR.exe",
                  L"64:" + kAppPaths + L"HaoZip.exe", L"32:" + kAppPaths + L"HaoZip.exe",
                  L"64:" + kAppPaths + L"7zFM.exe", L"32:" + kAppPaths + L"7zFM.exe"}));
}

}  // namespace
}  // namespace kivrel
