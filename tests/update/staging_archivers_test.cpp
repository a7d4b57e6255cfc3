// Archives from the server are unpacked by programs found on PATH: the wrong program, a path
// split at a blank, or an archiver left waiting for an answer would stop the update.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "update/staging.h"

namespace kivrel {
namespace {

namespace fs = std::filesystem;

bool OnPath(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::uint32_t Crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutLe(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A RAR 2.x archive holding one stored file: no RAR writer is packaged, and this is the
// smallest archive every RAR reader accepts.
std::string StoredRar(const std::string& name, const std::string& data) {
    auto block = [](std::uint8_t type, std::uint16_t flags, const std::string& rest) {
        std::string body;
        body += static_cast<char>(type);
        PutLe(body, flags, 2);
        PutLe(body, static_cast<std::uint32_t>(rest.size() + 7), 2);
        body += rest;
        std::string header;
        PutLe(header, Crc32(body) & 0xFFFFu, 2);
        return header + body;
    };
    std::string file;
    PutLe(file, static_cast<std::uint32_t>(data.size()), 4);  // packed size
    PutLe(file, static_cast<std::uint32_t>(data.size()), 4);  // unpacked size
    file += '\0';                                             // made on MS-DOS
    PutLe(file, Crc32(data), 4);
    PutLe(file, (44u << 25) | (5u << 21) | (1u << 16), 4);  // 2024-05-01 00:00:00, DOS form
    file += static_cast<char>(20);                          // version needed: 2.0
    file += static_cast<char>(0x30);                        // stored
    PutLe(file, static_cast<std::uint32_t>(name.size()), 2);
    PutLe(file, 0x20, 4);  // archive attribute
    file += name;
    return std::string("Rar!\x1a\x07\x00", 7) + block(0x73, 0, std::string(6, '\0')) +
           block(0x74, 0x8000, file) + data + block(0x7B, 0x4000, "");
}

class ArchiverDisk : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kivrel-archivers-XXXXXX";
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
    // Unpacks with the first archiver found and returns the update file found in the result.
    std::wstring UnpackAndFind(const fs::path& archive) {
        const auto archivers = MakeSystemArchivers();
        std::wstring executable;
        std::wstring arguments;
        EXPECT_TRUE(
            archivers->FindArchiver(extract.wstring(), archive.wstring(), executable, arguments));
        EXPECT_TRUE(fs::is_directory(extract));
        std::uint32_t exitCode = 99;
        EXPECT_TRUE(archivers->RunArchiver(arguments, executable, exitCode));
        EXPECT_EQ(exitCode, 0u) << "archiver " << fs::path(executable);
        std::wstring found;
        EXPECT_GT(FindUpdateFile(extract.wstring(), true, found), 0);
        return found;
    }

    fs::path root;
    fs::path staging;
    fs::path extract;
};

TEST_F(ArchiverDisk, ZipAndSevenZipArchivesAreUnpackedFoundAndCleanedUp) {
    if (!OnPath("7z")) GTEST_SKIP() << "7z is not installed";
    const std::string update = "update file bytes\x01\xff";
    Write(root / "source" / "data" / "DB2024.QDX", update);
    Write(root / "source" / "readme.txt", "read me");
    for (const char* type : {"zip", "7z"}) {
        SCOPED_TRACE(type);
        const fs::path archive = staging / (std::string("db 2024.") + type);
        ASSERT_EQ(std::system(("cd '" + (root / "source").string() + "' && 7z a -t" + type + " '" +
                               archive.string() + "' . >/dev/null")
                                  .c_str()),
                  0);
        const std::wstring found = UnpackAndFind(archive);
        EXPECT_EQ(found, (extract / "data" / "DB2024.QDX").wstring());
        EXPECT_EQ(ReadAll(found), update);

        DeleteFolderTree(extract.wstring());
        EXPECT_FALSE(fs::exists(extract));
        EXPECT_TRUE(fs::exists(archive));  // the download stays for the next run to replace
    }
}

TEST_F(ArchiverDisk, RarArchivesAreUnpackedByUnrar) {
    if (!OnPath("unrar")) GTEST_SKIP() << "unrar is not installed";
    const std::string update = "rar update file bytes";
    const fs::path archive = staging / "db 2024.rar";
    Write(archive, StoredRar("DB2024.qdx", update));
    const std::wstring found = UnpackAndFind(archive);
    EXPECT_EQ(found, (extract / "DB2024.qdx").wstring());
    EXPECT_EQ(ReadAll(found), update);
}

// Puts PATH and the working folder back as they were.
class PathAndFolderGuard {
public:
    PathAndFolderGuard() : folder(fs::current_path()) {
        if (const char* path = std::getenv("PATH")) saved = path, hadPath = true;
    }
    ~PathAndFolderGuard() {
        if (hadPath) {
            ::setenv("PATH", saved.c_str(), 1);
        } else {
            ::unsetenv("PATH");
        }
        std::error_code ignored;
        fs::current_path(folder, ignored);
    }

private:
    fs::path folder;
    std::string saved;
    bool hadPath = false;
};

TEST_F(ArchiverDisk, ProgramsComeFromAbsolutePathEntriesAndGetEachPathAsOneArgument) {
    const fs::path bin = root / "bin dir";
    Write(bin / "7z",
          "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"${0%/*}/args\"\n"
          "exit 3\n");
    fs::permissions(bin / "7z", fs::perms::owner_all);
    const fs::path archive = staging / "db 2024.zip";
    const PathAndFolderGuard guard;
    const auto archivers = MakeSystemArchivers();
    std::wstring executable;
    std::wstring arguments;

    // Relative and empty entries name the working folder: never run a program from there.
    fs::current_path(root);
    ::setenv("PATH", "bin dir::.", 1);
    EXPECT_FALSE(
        archivers->FindArchiver(extract.wstring(), archive.wstring(), executable, arguments));

    ::setenv("PATH", (root / "nothing").c_str(), 1);
    EXPECT_FALSE(
        archivers->FindArchiver(extract.wstring(), archive.wstring(), executable, arguments));

    ::setenv("PATH", ((root / "nothing").string() + ":" + bin.string()).c_str(), 1);
    ASSERT_TRUE(
        archivers->FindArchiver(extract.wstring(), archive.wstring(), executable, arguments));
    EXPECT_EQ(executable, (bin / "7z").wstring());
    std::uint32_t exitCode = 0;
    ASSERT_TRUE(archivers->RunArchiver(arguments, executable, exitCode));
    EXPECT_EQ(exitCode, 3u);
    EXPECT_EQ(ReadAll(bin / "args"),
              "x\n" + archive.string() + "\n-aoa\n-y\n-o" + extract.string() + "\n");
}

TEST_F(ArchiverDisk, TheArchiverRunsWithoutATerminalAndItsExitCodeIsPassedOn) {
    struct Case {
        const char* script;
        std::uint32_t exitCode;
    };
    constexpr Case cases[] = {
        {"exit 7", 7},
        // Input is at its end at once, so a prompt cannot wait for an answer.
        {"if read answer; then exit 1; fi; exit 4", 4},
        {"if (exec 3</dev/tty) 2>/dev/null; then exit 1; fi; exit 5", 5},
        {"kill -TERM $$", 128 + SIGTERM},
    };
    const auto archivers = MakeSystemArchivers();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        std::uint32_t exitCode = 0;
        EXPECT_TRUE(archivers->RunArchiver(L"-c \"" + fs::path(c.script).wstring() + L"\"",
                                           L"/bin/sh", exitCode));
        EXPECT_EQ(exitCode, c.exitCode);
    }
}

bool ProcessGone(pid_t pid) {
    if (::kill(pid, 0) != 0) return true;
    // A zombie has ended; only its parent's reaping is left.
    const std::string stat = ReadAll("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z';
}

TEST_F(ArchiverDisk, AnArchiverStillRunningAtTheLimitIsEndedWithWhatItStarted) {
    const fs::path pidFile = root / "pid";
    const std::wstring script = L"-c \"sleep 60 & echo $! > '" + pidFile.wstring() + L"'; wait\"";
    const auto archivers = MakeSystemArchivers(300);
    std::uint32_t exitCode = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(archivers->RunArchiver(script, L"/bin/sh", exitCode));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(exitCode, kArchiverTimedOut);

    const pid_t sleeper = static_cast<pid_t>(std::stol("0" + ReadAll(pidFile)));
    ASSERT_GT(sleeper, 0);
    bool gone = false;
    for (int i = 0; i < 250 && !gone; ++i) {
        gone = ProcessGone(sleeper);
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(gone);
}

TEST_F(ArchiverDisk, AnArchiverThatCannotBeStartedReportsFalse) {
    const auto archivers = MakeSystemArchivers();
    std::uint32_t exitCode = 12345;
    EXPECT_FALSE(
        archivers->RunArchiver(L" x \"a.zip\"", (root / "no-such-7z").wstring(), exitCode));
    EXPECT_FALSE(archivers->RunArchiver(L"", L"", exitCode));
    EXPECT_EQ(exitCode, 12345u);
}

}  // namespace
}  // namespace kivrel
