// The search decides which unpacked file is written into the unit and the delete removes
// what an archive from the server left on disk: the wrong file, a missed file, or a delete
// that follows a link out of the extract folder would each do real harm.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "update/folder_tree.h"
#include "update/staging_files.h"
#include "update/staging_paths.h"
#include "update/update_file_search.h"

namespace kivrel {
namespace {

namespace fs = std::filesystem;

FolderEntry File(std::wstring name) {
    return {std::move(name), false, false};
}
FolderEntry Folder(std::wstring name) {
    return {std::move(name), true, false};
}
FolderEntry Link(std::wstring name) {
    return {std::move(name), false, true};
}

// Folders with a listing order the test chooses; records what was listed and changed.
class ScriptedFiles final : public StagingFiles {
public:
    std::map<std::wstring, std::vector<FolderEntry>> folders;  // a missing folder cannot be listed
    std::vector<std::wstring> listed;
    std::vector<std::wstring> log;

    bool ListFolder(const std::wstring& folder, std::vector<FolderEntry>& entries) override {
        listed.push_back(folder);
        const auto found = folders.find(folder);
        if (found == folders.end()) return false;
        entries = found->second;
        return true;
    }
    bool RemoveFile(const std::wstring& path) override {
        log.push_back(L"delete " + path);
        return true;
    }
    bool RemoveFolder(const std::wstring& path) override {
        log.push_back(L"rmdir " + path);
        return true;
    }
    void AllowChanges(const std::wstring& folder) override { log.push_back(L"allow " + folder); }
    bool MakeFolder(const std::wstring& path) override {
        log.push_back(L"mkdir " + path);
        return true;
    }
};

TEST(UpdateFileMatch, ComparesTheLowerCasedTextAfterTheLastDot) {
    struct Case {
        std::wstring path;
        bool matches;
    };
    const std::wstring deep = L"/" + std::wstring(kMaxPathChars - 5, L'd');
    const Case cases[] = {
        {L"/s/TmpTmp/db.qdx", true},      {L"/s/TmpTmp/DB.QDX", true},
        {L"/s/TmpTmp/db.Qdx", true},      {L"/s/TmpTmp/db.qdx.bak", false},
        {L"/s/TmpTmp/qdx", false},  // no dot in the name: the whole path is compared
        {L"/s/TmpTmp.qdx/readme", false}, {L"/s/TmpTmp/db.qdxx", false},
        {L"/s/TmpTmp/db.qd", false},      {deep + L".qdx", true},  // 259 characters
        {deep + L"d.qdx", false},  // 260: longer than the copy the test makes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(IsUpdateFilePath(c.path), c.matches);
    }
}

TEST(FindUpdateFile, TopLevelFileWinsOverASubfolderListedEarlierAndStopsTheListing) {
    ScriptedFiles files;
    files.folders[L"/x/TmpTmp"] = {Folder(L"."),     Folder(L".."),   Folder(L"early"),
                                   File(L"top.qdx"), Folder(L"late"), File(L"after.qdx")};
    files.folders[L"/x/TmpTmp/early/"] = {Folder(L"."), Folder(L".."), File(L"inner.qdx")};
    files.folders[L"/x/TmpTmp/late/"] = {File(L"late.qdx")};
    std::wstring result;
    EXPECT_EQ(FindUpdateFile(L"/x/TmpTmp", true, result, files), 2);
    EXPECT_EQ(result, L"/x/TmpTmp/top.qdx");
    EXPECT_EQ(files.listed, (std::vector<std::wstring>{L"/x/TmpTmp", L"/x/TmpTmp/early/"}));
}

TEST(FindUpdateFile, TheLastMatchAcrossSubfoldersWins) {
    ScriptedFiles files;
    files.folders[L"/x/T/"] = {Folder(L"one"), Folder(L"two"), File(L"readme.txt")};
    files.folders[L"/x/T/one/"] = {File(L"A.QDX"), File(L"b.qdx")};
    files.folders[L"/x/T/two/"] = {File(L"notes.txt"), File(L"C.qdx")};
    std::wstring result;
    EXPECT_EQ(FindUpdateFile(L"/x/T/", true, result, files), 4);
    EXPECT_EQ(result, L"/x/T/two/C.qdx");  // in its own letter case
}

TEST(FindUpdateFile, CountsOnlyWhatCouldBeListed) {
    ScriptedFiles files;
    files.folders[L"/x/T"] = {Folder(L"locked"), File(L"a.txt"), Folder(L"empty")};
    files.folders[L"/x/T/empty/"] = {};
    std::wstring result = L"unchanged";
    EXPECT_EQ(FindUpdateFile(L"/x/T", true, result, files), 1);
    EXPECT_EQ(FindUpdateFile(L"/x/missing", true, result, files), -1);
    EXPECT_EQ(result, L"unchanged");
}

TEST(FindUpdateFile, WithoutRecursionFoldersAreCountedAndNeverMatch) {
    ScriptedFiles files;
    files.folders[L"/x/T"] = {Folder(L"."), Folder(L".."), Folder(L"db.qdx"), File(L"b.qdx"),
                              File(L"c.qdx")};
    std::wstring result;
    EXPECT_EQ(FindUpdateFile(L"/x/T", false, result, files), 4);
    EXPECT_EQ(result, L"/x/T/b.qdx");
    EXPECT_EQ(files.listed, std::vector<std::wstring>{L"/x/T"});
}

TEST(FindUpdateFile, LinksAreCountedButNeitherFollowedNorMatched) {
    ScriptedFiles files;
    files.folders[L"/x/T"] = {Link(L"elsewhere"), Link(L"device.qdx")};
    files.folders[L"/x/T/elsewhere/"] = {File(L"outside.qdx")};
    std::wstring result;
    EXPECT_EQ(FindUpdateFile(L"/x/T", true, result, files), 2);
    EXPECT_EQ(result, L"");
    EXPECT_EQ(files.listed, std::vector<std::wstring>{L"/x/T"});
}

TEST(FindUpdateFile, RefusesAFolderWhosePatternWouldPassTheLimit) {
    ScriptedFiles files;
    const std::wstring longest = L"/" + std::wstring(kMaxPatternChars - 5, L'f');  // + "/*.*"
    files.folders[longest] = {File(L"a.txt")};
    files.folders[longest + L"f"] = {File(L"a.txt")};
    std::wstring result;
    EXPECT_EQ(FindUpdateFile(longest, true, result, files), 1);
    EXPECT_EQ(FindUpdateFile(longest + L"f", true, result, files), -1);
    EXPECT_EQ(FindUpdateFile(L"", true, result, files), -1);
}

TEST(DeleteFolderTree, DeletesDepthFirstRemovesLinksAsFilesAndStillRemovesUnlistableFolders) {
    ScriptedFiles files;
    files.folders[L"/x/T"] = {Folder(L"."), Folder(L".."), File(L"a.qdx"), Folder(L"sub"),
                              Link(L"link")};
    files.folders[L"/x/T/sub/"] = {Folder(L"locked"), File(L"b")};
    DeleteFolderTree(L"/x/T", files);
    EXPECT_EQ(files.log,
              (std::vector<std::wstring>{L"allow /x/T", L"delete /x/T/a.qdx", L"allow /x/T/sub/",
                                         L"allow /x/T/sub/locked/", L"rmdir /x/T/sub/locked/",
                                         L"delete /x/T/sub/b", L"rmdir /x/T/sub/",
                                         L"delete /x/T/link", L"rmdir /x/T"}));
}

TEST(DeleteFolderTree, RefusesAnEmptyPathAndOnePastTheLimit) {
    ScriptedFiles files;
    DeleteFolderTree(L"", files);
    DeleteFolderTree(L"/" + std::wstring(kMaxPatternChars, L'f'), files);
    EXPECT_TRUE(files.log.empty());
    EXPECT_TRUE(files.listed.empty());
}

// ---- On disk, through this platform's file operations ----

class StagingDisk : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kivrel-staging-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(root, ignored)) {
            if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) {
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
            }
        }
        fs::remove_all(root, ignored);
    }
    static void Write(const fs::path& path, const std::string& bytes = "data") {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::wstring Wide(const fs::path& path) { return path.wstring(); }

    fs::path root;
};

TEST_F(StagingDisk, FindsAnUpperCaseUpdateFileInASubfolderPastDecoys) {
    const fs::path extract = root / "TmpTmp";
    Write(extract / "notes.qdx.bak");
    Write(extract / "qdx");
    Write(extract / "data" / "DB2024.QDX");
    std::wstring result;
    EXPECT_EQ(FindUpdateFile(Wide(extract), true, result), 3);
    EXPECT_EQ(result, Wide(extract / "data" / "DB2024.QDX"));
}

TEST_F(StagingDisk, DoesNotSearchThroughALinkOutOfTheExtractFolder) {
    const fs::path extract = root / "TmpTmp";
    Write(root / "outside" / "other.qdx");
    fs::create_directories(extract);
    fs::create_directory_symlink(root / "outside", extract / "inside");
    fs::create_symlink(root / "outside" / "other.qdx", extract / "linked.qdx");
    std::wstring result;
    EXPECT_EQ(FindUpdateFile(Wide(extract), true, result), 2);
    EXPECT_EQ(result, L"");
}

TEST_F(StagingDisk, ASearchOfAMissingFolderReturnsMinusOne) {
    std::wstring result;
    EXPECT_EQ(FindUpdateFile(Wide(root / "missing"), true, result), -1);
}

TEST_F(StagingDisk, DeletingNestedFoldersLeavesNothingAndNothingOutsideIsTouched) {
    const fs::path extract = root / "TmpTmp";
    Write(extract / "a.qdx");
    Write(extract / "one" / "two" / "three" / "b.txt");
    Write(extract / "one" / "c.bin");
    fs::create_directories(extract / "empty" / "deeper");
    Write(root / "keep" / "precious.txt");
    fs::create_directory_symlink(root / "keep", extract / "one" / "to-keep");
    fs::create_symlink(root / "keep" / "precious.txt", extract / "precious-link");
    // Names that are not UTF-8, as an archive made on a GBK system can carry.
    Write(extract / std::string("\xca\xfd\xbe\xdd.qdx"));
    fs::create_directories(extract / std::string("\xc4\xbf\xc2\xbc"));
    // Folders the archive marked read-only.
    Write(extract / "locked" / "inner" / "d.txt");
    fs::permissions(extract / "locked" / "inner", fs::perms::owner_read | fs::perms::owner_exec);
    fs::permissions(extract / "locked", fs::perms::owner_read | fs::perms::owner_exec);

    DeleteFolderTree(Wide(extract));

    EXPECT_FALSE(fs::exists(fs::symlink_status(extract)));
    EXPECT_TRUE(fs::exists(root / "keep" / "precious.txt"));
}

TEST_F(StagingDisk, DeletingTheExtractFolderWhenItIsALinkRemovesOnlyTheLink) {
    Write(root / "keep" / "precious.txt");
    for (const std::wstring form : {L"TmpTmp", L"TmpTmp/"}) {
        SCOPED_TRACE(form);
        fs::create_directory_symlink(root / "keep", root / "TmpTmp");
        DeleteFolderTree(Wide(root) + L"/" + form);
        // Left in place, the link would take the next unpack out of the staging folder.
        EXPECT_FALSE(fs::exists(fs::symlink_status(root / "TmpTmp")));
    }
    fs::create_symlink(root / "keep" / "precious.txt", root / "TmpTmp");
    DeleteFolderTree(Wide(root / "TmpTmp"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(root / "TmpTmp")));
    EXPECT_TRUE(fs::exists(root / "keep" / "precious.txt"));
}

TEST_F(StagingDisk, TheStagingFolderLiesInsideThisUsersTempFolder) {
    const char* saved = std::getenv("XDG_CACHE_HOME");
    const std::string previous = saved != nullptr ? saved : "";
    ::setenv("XDG_CACHE_HOME", root.c_str(), 1);
    std::wstring folder;
    const bool made = MakeStagingFolderPath(L"db20240501", folder);
    if (saved != nullptr) {
        ::setenv("XDG_CACHE_HOME", previous.c_str(), 1);
    } else {
        ::unsetenv("XDG_CACHE_HOME");
    }
    ASSERT_TRUE(made);
    EXPECT_EQ(fs::path(folder).parent_path(), root / "kivrel");
    EXPECT_EQ(fs::path(folder).filename(), "db20240501");
}

TEST_F(StagingDisk, MakeFolderAcceptsAnExistingFolderAndMakesNewOnesPrivate) {
    StagingFiles& files = SystemStagingFiles();
    EXPECT_TRUE(files.MakeFolder(Wide(root / "db")));
    EXPECT_TRUE(files.MakeFolder(Wide(root / "db")));
    EXPECT_EQ(fs::status(root / "db").permissions() & fs::perms::all, fs::perms::owner_all);
    Write(root / "file");
    EXPECT_FALSE(files.MakeFolder(Wide(root / "file")));
}

}  // namespace
}  // namespace kivrel
