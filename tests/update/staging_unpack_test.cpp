// Archives from the server are unpacked in this process. A database must come out whole, in
// every format it is published in; an archive built to write outside the extract folder, to
// plant a link or a device, or to fill the disk must not get its way; and closing the tool
// must not wait for a long unpack.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/native_path.h"
#include "tests/update/test_archives.h"
#include "update/archive_unpack.h"
#include "update/archivers.h"
#include "update/folder_tree.h"
#include "update/update_file_search.h"

namespace kivrel {
namespace {

namespace fs = std::filesystem;
using test::ArchiveEntry;
using test::EntryKind;
using test::File;
using test::Folder;
using test::Link;
using test::Special;
using test::ZeroFile;

// Paths as the staging code sees them; the test runs in the C locale, where the standard
// library cannot convert names that are not ASCII.
std::wstring Wide(const fs::path& path) {
    return WideFromNative(path.string());
}
fs::path Native(const std::wstring& path) {
    std::string native;
    EXPECT_TRUE(NativeFromWide(path, native));
    return native;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// "d/d/d/..." of `length` characters.
std::string Deep(std::size_t length) {
    std::string path;
    while (path.size() < length) path += "d/";
    return path;
}

class Unpack : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kivrel-unpack-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        staging = root / "my staging";  // a blank, as under "Documents and Settings"
        fs::create_directories(staging);
        extract = staging / "TmpTmp";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    static void Write(const fs::path& path, const std::string& bytes) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    UnpackResult UnpackBytes(const std::string& archive, const UnpackLimits& limits = {}) {
        return UnpackArchive(Bytes(archive), Wide(extract), noStop, limits);
    }
    // Every path below the root outside the extract folder, links included, not followed.
    std::set<fs::path> Outside() const {
        std::set<fs::path> paths;
        for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
            if (it->path() == extract) it.disable_recursion_pending();
            if (it->path() != extract) paths.insert(it->path());
        }
        return paths;
    }
    // Every path in the extract folder with what it is: "f 600", "d 700", or "other".
    std::set<std::string> Inside() const {
        std::set<std::string> paths;
        if (!fs::exists(extract)) return paths;
        for (const auto& entry : fs::recursive_directory_iterator(extract)) {
            const fs::file_status status = fs::symlink_status(entry.path());
            std::ostringstream kind;
            kind << (fs::is_regular_file(status) ? "f "
                     : fs::is_directory(status)  ? "d "
                                                 : "? ")
                 << std::oct << static_cast<unsigned>(status.permissions() & fs::perms::mask);
            paths.insert(fs::relative(entry.path(), extract).string() + " " + kind.str());
        }
        return paths;
    }

    std::atomic<std::int32_t> noStop{0};
    fs::path root;
    fs::path staging;
    fs::path extract;
};

TEST_F(Unpack, ZipAnd7zArchivesMadeBy7zAreUnpackedFoundAndCleanedUp) {
    if (std::system("command -v 7z >/dev/null 2>&1") != 0) GTEST_SKIP() << "7z is not installed";
    const std::string update = "update file bytes\x01\xff";
    Write(root / "source" / "数据" / "DB2024.QDX", update);
    Write(root / "source" / "readme.txt", "read me");
    fs::permissions(root / "source" / "readme.txt", fs::perms::owner_all | fs::perms::set_uid);
    for (const char* type : {"zip", "7z"}) {
        SCOPED_TRACE(type);
        const fs::path archive = staging / (std::string("db 2024.") + type);
        ASSERT_EQ(std::system(("cd '" + (root / "source").string() + "' && LC_ALL=C.UTF-8 7z a -t" +
                               type + " '" + archive.string() + "' . >/dev/null")
                                  .c_str()),
                  0);
        const auto archivers = MakeSystemArchivers();
        std::wstring executable;
        std::wstring arguments;
        ASSERT_TRUE(archivers->FindArchiver(Wide(extract), Wide(archive), executable, arguments));
        EXPECT_EQ(executable.rfind(L"libarchive ", 0), 0u);
        std::uint32_t exitCode = 99;
        ASSERT_TRUE(archivers->RunArchiver(arguments, executable, exitCode, noStop));
        EXPECT_EQ(exitCode, 0u);

        std::wstring found;
        EXPECT_GT(FindUpdateFile(Wide(extract), true, found), 0);
        EXPECT_EQ(Native(found), extract / "数据" / "DB2024.QDX");
        EXPECT_EQ(ReadAll(Native(found)), update);
        // Only the owner may use what was unpacked, whatever modes the archive carried.
        EXPECT_EQ(Inside(), (std::set<std::string>{"readme.txt f 600", "数据 d 700",
                                                   "数据/DB2024.QDX f 600"}));

        DeleteFolderTree(Wide(extract));
        EXPECT_FALSE(fs::exists(extract));
        EXPECT_TRUE(fs::exists(archive));  // the download stays for the next run to replace
    }
}

TEST_F(Unpack, StoredRar5AndRar4ArchivesAreUnpacked) {
    const std::string update = "rar update file bytes";
    struct Case {
        const char* name;
        std::string archive;
        std::set<std::string> inside;
    };
    const Case cases[] = {
        {"RAR 5",
         test::StoredRar5(
             {Folder("db"), File("db/DB2024.qdx", update), File("notes/readme.txt", "read me")}),
         {"db d 700", "db/DB2024.qdx f 600", "notes d 700", "notes/readme.txt f 600"}},
        {"RAR 4", test::StoredRar4("DB2024.qdx", update), {"DB2024.qdx f 600"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write(staging / "db.rar", c.archive);
        std::uint32_t exitCode = 99;
        const auto archivers = MakeSystemArchivers();
        std::wstring executable;
        std::wstring arguments;
        ASSERT_TRUE(archivers->FindArchiver(Wide(extract), Wide(staging / "db.rar"), executable,
                                            arguments));
        ASSERT_TRUE(archivers->RunArchiver(arguments, executable, exitCode, noStop));
        EXPECT_EQ(exitCode, 0u);
        EXPECT_EQ(Inside(), c.inside);
        std::wstring found;
        EXPECT_GT(FindUpdateFile(Wide(extract), true, found), 0);
        EXPECT_EQ(ReadAll(Native(found)), update);
        DeleteFolderTree(Wide(extract));
    }
}

TEST_F(Unpack, HostileEntriesAreLeftOutAndNothingLandsOutsideTheExtractFolder) {
    const fs::path outside = root / "outside";
    fs::create_directories(outside);
    Write(outside / "precious.txt", "precious");
    const std::string absolute = (outside / "absolute.txt").string();
    const ArchiveEntry good = File("DB2024.qdx", "update");
    struct Case {
        const char* name;
        std::vector<ArchiveEntry> hostile;
        std::set<std::string> extraInside;  // besides the good file
    };
    const Case cases[] = {
        {"parent", {File("../x", "escaped")}, {}},
        {"parent deeper", {File("sub/../../x", "escaped")}, {}},
        {"parent with backslashes", {File("sub\\..\\..\\x", "escaped")}, {}},
        {"absolute", {File(absolute, "escaped")}, {}},
        {"absolute with a backslash", {File("\\x", "escaped")}, {}},
        {"symlink out, then a file through it",
         {Link(EntryKind::Symlink, "link", outside.string()), File("link/x", "through")},
         {"link d 700", "link/x f 600"}},
        {"symlink to a file outside", {Link(EntryKind::Symlink, "passwd", "/etc/passwd")}, {}},
        {"hardlink to a file outside", {Link(EntryKind::Hardlink, "hard", "/etc/passwd")}, {}},
        {"hardlink inside", {Link(EntryKind::Hardlink, "hard", "DB2024.qdx")}, {}},
        {"character device", {Special(EntryKind::CharDevice, "tty")}, {}},
        {"fifo", {Special(EntryKind::Fifo, "pipe")}, {}},
        // Too deep for the search and the clean-up to reach.
        {"deep", {File(Deep(1100) + "x.qdx", "deep")}, {}},
    };
    for (const char* format : {"zip", "7zip", "rar5"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(format) + ": " + c.name);
            std::vector<ArchiveEntry> entries = c.hostile;
            entries.push_back(good);
            const std::string archive = std::string_view(format) == "rar5"
                                            ? test::StoredRar5(entries)
                                            : test::WriteArchive(format, entries);
            if (archive.empty()) continue;  // the format cannot carry this entry
            const std::set<fs::path> before = Outside();

            EXPECT_EQ(UnpackBytes(archive), UnpackResult::Incomplete);
            EXPECT_EQ(Outside(), before);
            EXPECT_EQ(ReadAll(outside / "precious.txt"), "precious");
            std::set<std::string> inside = c.extraInside;
            inside.insert("DB2024.qdx f 600");
            EXPECT_EQ(Inside(), inside);
            EXPECT_EQ(ReadAll(extract / "DB2024.qdx"), "update");
            DeleteFolderTree(Wide(extract));
        }
    }
}

TEST_F(Unpack, WhatAlreadyStandsInTheExtractFolderIsNeitherFollowedNorWrittenThrough) {
    const fs::path outside = root / "outside";
    Write(outside / "precious.txt", "precious");
    fs::create_directories(extract);
    fs::create_directory_symlink(outside, extract / "sub");
    fs::create_symlink(outside / "precious.txt", extract / "DB2024.qdx");
    const std::string archive =
        test::StoredRar5({File("sub/x", "through the link"), File("DB2024.qdx", "update")});

    EXPECT_EQ(UnpackBytes(archive), UnpackResult::Incomplete);
    EXPECT_EQ(ReadAll(outside / "precious.txt"), "precious");
    EXPECT_FALSE(fs::exists(outside / "x"));
    // The link in the file's place was replaced by the file.
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(extract / "DB2024.qdx")));
    EXPECT_EQ(ReadAll(extract / "DB2024.qdx"), "update");
}

TEST_F(Unpack, AnExtractFolderThatIsALinkIsNotUnpackedInto) {
    const fs::path outside = root / "outside";
    fs::create_directories(outside);
    fs::create_directory_symlink(outside, extract);
    EXPECT_EQ(UnpackBytes(test::StoredRar5({File("DB2024.qdx", "update")})), UnpackResult::Failed);
    EXPECT_TRUE(fs::is_empty(outside));
}

TEST_F(Unpack, SetUidAndOtherModeBitsAreDropped) {
    const std::string archive =
        test::StoredRar5({File("tool", "#!/bin/sh\n", 04777), Folder("shared", 01777)});
    EXPECT_EQ(UnpackBytes(archive), UnpackResult::Complete);
    EXPECT_EQ(Inside(), (std::set<std::string>{"tool f 600", "shared d 700"}));
}

// A CRC32 spoiled wherever the archive records it.
std::string WithBadCrc(std::string archive, const std::string& data) {
    std::string recorded;
    std::string spoiled;
    for (int i = 0; i < 4; ++i)
        recorded += static_cast<char>((test::Crc32(data) >> (8 * i)) & 0xFF);
    spoiled = recorded;
    spoiled[0] ^= 1;
    for (std::size_t at = archive.find(recorded); at != std::string::npos;
         at = archive.find(recorded, at + 1)) {
        archive.replace(at, 4, spoiled);
    }
    return archive;
}

TEST_F(Unpack, DamagedOrForeignArchivesLeaveNoPartialFile) {
    const std::string data(100000, 'u');
    const std::vector<ArchiveEntry> entries = {File("DB2024.qdx", data), File("b.txt", "b")};
    const std::string zip = test::WriteArchive("zip", entries);
    struct Case {
        const char* name;
        std::string archive;
        UnpackResult result;
        std::set<std::string> inside;
    };
    const Case cases[] = {
        {"wrong data CRC", WithBadCrc(zip, data), UnpackResult::Incomplete, {"b.txt f 600"}},
        {"RAR cut short", test::StoredRar5(entries).substr(0, 50000), UnpackResult::Failed, {}},
        {"zip cut short", zip.substr(0, zip.size() / 2), UnpackResult::Failed, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(UnpackBytes(c.archive), c.result);
        EXPECT_EQ(Inside(), c.inside);
        DeleteFolderTree(Wide(extract));
    }
    // Not an archive of a kind read here: nothing is made at all.
    for (const std::string& foreign :
         {std::string(5000, 'x'), std::string(), test::WriteArchive("ustar", entries)}) {
        EXPECT_EQ(UnpackBytes(foreign), UnpackResult::Failed);
        EXPECT_FALSE(fs::exists(extract));
    }
}

TEST_F(Unpack, SizeAndEntryLimitsStopADecompressionBomb) {
    const std::uint64_t mib = 1 << 20;
    UnpackLimits limits;
    limits.totalBytes = 4 * mib;
    limits.entries = 3;
    struct Case {
        const char* name;
        std::vector<ArchiveEntry> entries;
        std::set<std::string> inside;
    };
    const Case cases[] = {
        {"one large file",
         {File("small.txt", "small"), ZeroFile("bomb.qdx", 8 * mib)},
         {"small.txt f 600"}},
        // A refused entry still decompresses: that counts as well.
        {"a refused large entry", {ZeroFile("../bomb", 8 * mib)}, {}},
        {"many files",
         {File("1", "1"), File("2", "2"), File("3", "3"), File("4", "4")},
         {"1 f 600", "2 f 600", "3 f 600"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string archive = test::WriteArchive("zip", c.entries);
        ASSERT_LT(archive.size(), mib);
        EXPECT_EQ(UnpackBytes(archive, limits), UnpackResult::OverLimit);
        EXPECT_EQ(Inside(), c.inside);
        DeleteFolderTree(Wide(extract));
    }
    // Just inside the limits, the same kind of archive unpacks.
    const std::string fits =
        test::WriteArchive("zip", {File("1", "1"), File("2", "2"), ZeroFile("b.qdx", 4 * mib - 2)});
    EXPECT_EQ(UnpackBytes(fits, limits), UnpackResult::Complete);
    EXPECT_EQ(fs::file_size(extract / "b.qdx"), 4 * mib - 2);
}

TEST_F(Unpack, AStopRequestEndsTheUnpackAndLeavesNoPartialFile) {
    // Large enough that unpacking it takes far longer than noticing the first file.
    const std::string archive =
        test::WriteArchive("zip", {File("first.txt", "first"), ZeroFile("large.qdx", 512 << 20)});
    std::atomic<std::int32_t> stopRequested{0};
    std::atomic<bool> returned{false};
    std::thread closer([&] {
        while (!returned && !fs::exists(extract / "first.txt")) std::this_thread::yield();
        stopRequested = 1;  // the window is closing
    });
    const UnpackResult result = UnpackArchive(Bytes(archive), Wide(extract), stopRequested);
    returned = true;
    closer.join();
    EXPECT_EQ(result, UnpackResult::Ended);
    EXPECT_FALSE(fs::exists(extract / "large.qdx"));

    // Raised before the run, or the time limit gone: the built-in archiver ends at once.
    Write(staging / "db.zip", archive);
    const auto archivers = MakeSystemArchivers();
    const auto noTime = MakeSystemArchivers(0);
    std::wstring executable;
    std::wstring arguments;
    ASSERT_TRUE(
        archivers->FindArchiver(Wide(extract), Wide(staging / "db.zip"), executable, arguments));
    std::uint32_t exitCode = 0;
    EXPECT_FALSE(archivers->RunArchiver(arguments, executable, exitCode, stopRequested));
    EXPECT_EQ(exitCode, kArchiverEnded);
    exitCode = 0;
    EXPECT_FALSE(noTime->RunArchiver(arguments, executable, exitCode, noStop));
    EXPECT_EQ(exitCode, kArchiverEnded);
    EXPECT_FALSE(fs::exists(extract / "large.qdx"));
}

TEST_F(Unpack, ArgumentsFromElsewhereAreNotStarted) {
    std::uint32_t exitCode = 12345;
    EXPECT_FALSE(MakeSystemArchivers()->RunArchiver(L" x \"a.zip\"", L"7z", exitCode, noStop));
    EXPECT_EQ(exitCode, 12345u);
}

TEST(ArchiveEntryPath, KeepsNamesInsideTheFolderAndRefusesTheRest) {
    struct Case {
        std::string_view name;
        bool inside;
        std::vector<std::string> parts;
    };
    const Case cases[] = {
        {"db/DB2024.qdx", true, {"db", "DB2024.qdx"}},
        {"./db//x/.", true, {"db", "x"}},
        {"db\\sub\\x", true, {"db", "sub", "x"}},
        {"...", true, {"..."}},
        {"..x/y..", true, {"..x", "y.."}},
        {"db/", true, {"db"}},
        {".", true, {}},
        {"", false, {}},
        {"/etc/passwd", false, {}},
        {"\\x", false, {}},
        {"..", false, {}},
        {"../x", false, {}},
        {"a/../b", false, {}},
        {"a\\..", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name));
        std::vector<std::string> parts = {"unchanged?"};
        EXPECT_EQ(SplitArchiveEntryPath(c.name, parts), c.inside);
        if (c.inside) {
            EXPECT_EQ(parts, c.parts);
        }
    }
}

}  // namespace
}  // namespace kivrel
