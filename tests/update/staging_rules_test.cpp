// Staging paths, server-given archive names and archiver command lines are built from
// untrusted text: a wrong character here unpacks somewhere else or runs the wrong program.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "update/staging.h"

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
    EXPECT_EQ(ArchiverArguments(ArchiverShape::Unrar, L"/c/k/db.rar", L"/c/k/TmpTmp"),
              L"x -o+ -y -idq \"/c/k/db.rar\" \"/c/k/TmpTmp/\"");
    EXPECT_EQ(ArchiverArguments(ArchiverShape::UnrarFree, L"/c/k/db.rar", L"/c/k/TmpTmp/"),
              L"-x -f \"/c/k/db.rar\" \"/c/k/TmpTmp/\"");
    // The 7-Zip shape starts with a blank, so its command line has two before the x.
    EXPECT_EQ(
        ArchiverCommandLine(L"C:\\7-Zip\\7z.exe", ArchiverArguments(ArchiverShape::SevenZip,
                                                                    L"C:\\a.zip", L"C:\\TmpTmp")),
        L"\"C:\\7-Zip\\7z.exe\"  x \"C:\\a.zip\" -aoa -y \"-oC:\\TmpTmp\"");
}

TEST(ArchiverCommandLine, SplittingTheArgumentTextGivesBackEachQuotedPathWhole) {
    struct Case {
        std::wstring text;
        std::vector<std::wstring> pieces;
    };
    const Case cases[] = {
        {ArchiverArguments(ArchiverShape::SevenZip, L"/my cache/db 1.7z", L"/my cache/TmpTmp"),
         {L"x", L"/my cache/db 1.7z", L"-aoa", L"-y", L"-o/my cache/TmpTmp"}},
        {ArchiverArguments(ArchiverShape::WinRar, L"/c/db.rar", L"/c/T"),
         {L"x", L"-o+", L"-y", L"-IBCK", L"/c/db.rar", L"*.*", L"/c/T"}},
        {ArchiverArguments(ArchiverShape::UnrarFree, L"/a b/db.rar", L"/a b/T"),
         {L"-x", L"-f", L"/a b/db.rar", L"/a b/T/"}},
        {L"", {}},
        {L"  \t ", {}},
        {L"a \"\" b", {L"a", L"", L"b"}},
        {L"a\t\tb  c", {L"a", L"b", L"c"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(SplitArguments(c.text), c.pieces);
    }
}

// The registry as a map from key name (after "App Paths\") to its "Path" value.
class FakeAppPaths final : public AppPathsSystem {
public:
    std::map<std::wstring, std::wstring> values;
    std::set<std::wstring> files;
    std::vector<std::wstring> keysRead;
    std::vector<std::wstring> foldersMade;

    bool ReadAppPath(const std::wstring& keyPath, std::wstring& value) override {
        keysRead.push_back(keyPath);
        if (keyPath.rfind(kAppPaths, 0) != 0) return false;
        const auto found = values.find(keyPath.substr(kAppPaths.size()));
        if (found == values.end()) return false;
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
        std::set<std::wstring> files;
        std::wstring executable;  // empty: none found
        std::wstring arguments;
        bool destinationMade;
    };
    const Case cases[] = {
        {"a value without a trailing backslash gets one",
         {{L"WinRAR.exe", L"C:\\Program Files\\WinRAR"}},
         {L"C:\\Program Files\\WinRAR\\WinRar.exe"},
         L"C:\\Program Files\\WinRAR\\WinRar.exe",
         winRarArgs,
         true},
        {"a value ending in a backslash gets no second one",
         {{L"HaoZip.exe", L"C:\\HaoZip\\"}},
         {L"C:\\HaoZip\\HaoZipC.exe"},
         L"C:\\HaoZip\\HaoZipC.exe",
         sevenZipArgs,
         false},
        {"7-Zip is found by the key of its file manager",
         {{L"7zFM.exe", L"C:\\7-Zip"}},
         {L"C:\\7-Zip\\7z.exe"},
         L"C:\\7-Zip\\7z.exe",
         sevenZipArgs,
         false},
        {"WinRAR comes first",
         {{L"WinRAR.exe", L"C:\\R"}, {L"HaoZip.exe", L"C:\\H"}, {L"7zFM.exe", L"C:\\S"}},
         {L"C:\\R\\WinRar.exe", L"C:\\H\\HaoZipC.exe", L"C:\\S\\7z.exe"},
         L"C:\\R\\WinRar.exe",
         winRarArgs,
         true},
        {"a key whose executable is missing moves on",
         {{L"WinRAR.exe", L"C:\\R"}, {L"HaoZip.exe", L"C:\\H"}, {L"7zFM.exe", L"C:\\S"}},
         {L"C:\\S\\7z.exe"},
         L"C:\\S\\7z.exe",
         sevenZipArgs,
         false},
        {"an empty value is not the drive's root folder",
         {{L"WinRAR.exe", L""}, {L"7zFM.exe", L"C:\\S"}},
         {L"\\WinRar.exe", L"C:\\S\\7z.exe"},
         L"C:\\S\\7z.exe",
         sevenZipArgs,
         false},
        {"an executable path past the limit is refused",
         {{L"WinRAR.exe", tooLong}},
         {tooLong + L"\\WinRar.exe"},
         L"",
         L"",
         false},
        {"nothing installed", {}, {}, L"", L"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeAppPaths system;
        system.values = c.values;
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

TEST(AppPathsArchiver, ReadsTheThreeKeysInOrder) {
    FakeAppPaths system;
    std::wstring executable;
    std::wstring arguments;
    EXPECT_FALSE(
        FindAppPathsArchiver(system, L"C:\\T\\TmpTmp", L"C:\\T\\a.rar", executable, arguments));
    EXPECT_EQ(system.keysRead,
              (std::vector<std::wstring>{kAppPaths + L"WinRAR.exe", kAppPaths + L"HaoZip.exe",
                                         kAppPaths + L"7zFM.exe"}));
}

// Programs on PATH: name -> {path, the file name it resolves to}.
class FakePath final : public PathSystem {
public:
    std::map<std::wstring, std::pair<std::wstring, std::wstring>> programs;
    std::vector<std::wstring> asked;
    std::vector<std::wstring> foldersMade;

    bool FindProgram(std::wstring_view name, std::wstring& path,
                     std::wstring& resolvedName) override {
        asked.emplace_back(name);
        const auto found = programs.find(std::wstring(name));
        if (found == programs.end()) return false;
        path = found->second.first;
        resolvedName = found->second.second;
        return true;
    }
    void MakeFolder(const std::wstring& path) override { foldersMade.push_back(path); }
};

TEST(PathArchiver, UsesUnrarForRarAndTheSevenZipFamilyForEverything) {
    const std::wstring dest = L"/c/kivrel/db/TmpTmp";
    const std::map<std::wstring, std::pair<std::wstring, std::wstring>> all = {
        {L"unrar", {L"/usr/bin/unrar", L"unrar-free"}},
        {L"7z", {L"/usr/bin/7z", L"7z"}},
        {L"7za", {L"/usr/bin/7za", L"7za"}},
        {L"7zz", {L"/opt/7zz", L"7zz"}},
    };
    struct Case {
        const char* name;
        std::wstring archive;
        std::vector<std::wstring> installed;
        std::wstring resolvedUnrar;
        std::wstring executable;  // empty: none found
        ArchiverShape shape;
    };
    const Case cases[] = {
        {"zip by 7z",
         L"/c/kivrel/db/db.zip",
         {L"unrar", L"7z", L"7za"},
         L"unrar-free",
         L"/usr/bin/7z",
         ArchiverShape::SevenZip},
        {"7z by 7za when 7z is missing",
         L"/c/kivrel/db/db.7z",
         {L"unrar", L"7za", L"7zz"},
         L"unrar-free",
         L"/usr/bin/7za",
         ArchiverShape::SevenZip},
        {"zip by 7zz alone",
         L"/c/kivrel/db/db.zip",
         {L"7zz"},
         L"",
         L"/opt/7zz",
         ArchiverShape::SevenZip},
        {"rar by unrar-free",
         L"/c/kivrel/db/db.rar",
         {L"unrar", L"7z"},
         L"unrar-free",
         L"/usr/bin/unrar",
         ArchiverShape::UnrarFree},
        {"rar by RARLAB's unrar",
         L"/c/kivrel/db/db.rar",
         {L"unrar", L"7z"},
         L"unrar-nonfree",
         L"/usr/bin/unrar",
         ArchiverShape::Unrar},
        {"rar by 7z without unrar",
         L"/c/kivrel/db/db.rar",
         {L"7z"},
         L"",
         L"/usr/bin/7z",
         ArchiverShape::SevenZip},
        {"zip with unrar alone",
         L"/c/kivrel/db/db.zip",
         {L"unrar"},
         L"unrar-free",
         L"",
         ArchiverShape::SevenZip},
        {"a path with a double quote cannot be passed",
         L"/c/kivrel/d\"b/db.zip",
         {L"7z"},
         L"",
         L"",
         ArchiverShape::SevenZip},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakePath system;
        for (const std::wstring& name : c.installed) system.programs[name] = all.at(name);
        if (!c.resolvedUnrar.empty()) system.programs[L"unrar"].second = c.resolvedUnrar;
        std::wstring executable = L"unchanged";
        std::wstring arguments = L"unchanged";
        const bool found = FindPathArchiver(system, dest, c.archive, executable, arguments);
        ASSERT_EQ(found, !c.executable.empty());
        if (!found) {
            EXPECT_EQ(executable, L"unchanged");
            EXPECT_EQ(arguments, L"unchanged");
            continue;
        }
        EXPECT_EQ(executable, c.executable);
        EXPECT_EQ(arguments, ArchiverArguments(c.shape, c.archive, dest));
        EXPECT_EQ(system.foldersMade, std::vector<std::wstring>{dest});
    }
}

TEST(PathArchiver, AsksForTheSevenZipFamilyInOrder) {
    FakePath system;
    std::wstring executable;
    std::wstring arguments;
    EXPECT_FALSE(FindPathArchiver(system, L"/c/T", L"/c/a.rar", executable, arguments));
    EXPECT_EQ(system.asked, (std::vector<std::wstring>{L"unrar", L"7z", L"7za", L"7zz"}));
    EXPECT_TRUE(system.foldersMade.empty());
}

}  // namespace
}  // namespace kivrel
