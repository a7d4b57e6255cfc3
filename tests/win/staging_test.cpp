// Archivers are found through the registry's App Paths and started hidden: a wrong key, a
// wrong executable name, a command line off by one blank, a visible window or a caller that
// does not wait would each break unpacking on users' PCs.

#include "update/staging.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <optional>
#include <string>

#include "tests/win/win_test_support.h"
#include "update/archivers_win32.h"

namespace kivrel {
namespace {

const std::wstring kAppPaths = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
constexpr std::array<const wchar_t*, 3> kKeys = {L"WinRAR.exe", L"HaoZip.exe", L"7zFM.exe"};

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring ReadText(const std::wstring& path) {
    const UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
    if (!file.Valid()) return L"";
    std::wstring text(4096, L'\0');
    DWORD bytes = 0;
    ::ReadFile(file.Get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &bytes,
               nullptr);
    text.resize(bytes / sizeof(wchar_t));
    return text;
}

void SetAppPath(const std::wstring& keyName, const std::wstring& value) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kAppPaths + keyName).c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(key, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
}

void RemoveAppPath(const std::wstring& keyName) {
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kAppPaths + keyName).c_str());
}

class WinStaging : public ::testing::Test {
protected:
    void SetUp() override {
        // The prefix may have real archivers registered: put their keys back afterwards.
        for (std::size_t i = 0; i < kKeys.size(); ++i) {
            std::wstring value;
            if (ReadAppPath(kAppPaths + kKeys[i], value)) saved[i] = value;
            RemoveAppPath(kKeys[i]);
        }
        wchar_t temp[MAX_PATH + 1] = {};
        ::GetTempPathW(MAX_PATH + 1, temp);
        root = std::wstring(temp) + L"kivrel-staging-" + std::to_wstring(::GetCurrentProcessId()) +
               L"-" + std::to_wstring(::GetTickCount());
        ASSERT_TRUE(::CreateDirectoryW(root.c_str(), nullptr));
        staging = root + L"\\my database";
        ASSERT_TRUE(::CreateDirectoryW(staging.c_str(), nullptr));
        extract = staging + L"\\TmpTmp";
    }

    void TearDown() override {
        for (std::size_t i = 0; i < kKeys.size(); ++i) {
            RemoveAppPath(kKeys[i]);
            if (saved[i]) SetAppPath(kKeys[i], *saved[i]);
        }
        DeleteFolderTree(root);
    }

    // Copies the stand-in into its own folder under the name the archiver's key leads to, and
    // registers that folder. Returns the executable's path.
    std::wstring Install(const std::wstring& keyName, const std::wstring& executableName,
                         bool trailingBackslash) {
        const std::wstring folder = root + L"\\" + keyName + L" folder";
        ::CreateDirectoryW(folder.c_str(), nullptr);
        const std::wstring executable = folder + L"\\" + executableName;
        EXPECT_TRUE(
            ::CopyFileW(ProgramPath(L"fake_archiver.exe").c_str(), executable.c_str(), FALSE));
        SetAppPath(keyName, trailingBackslash ? folder + L"\\" : folder);
        return executable;
    }

    // The command line the stand-in received, and "flags showWindow processId".
    std::pair<std::wstring, std::wstring> Record(const std::wstring& executable) {
        const std::wstring record =
            ReadText(executable.substr(0, executable.rfind(L'\\')) + L"\\record.txt");
        const std::size_t newline = record.find(L'\n');
        if (newline == std::wstring::npos) return {};
        return {record.substr(0, newline), record.substr(newline + 1)};
    }

    std::wstring root;
    std::wstring staging;
    std::wstring extract;
    std::array<std::optional<std::wstring>, 3> saved;
};

TEST_F(WinStaging, WinRarIsFoundFirstRunHiddenWithItsCommandLineAndWaitedFor) {
    const std::wstring winRar = Install(L"WinRAR.exe", L"WinRar.exe", false);
    Install(L"7zFM.exe", L"7z.exe", false);
    const std::wstring archive = staging + L"\\db2024.rar";
    const auto archivers = MakeSystemArchivers();

    std::wstring executable;
    std::wstring arguments;
    ASSERT_TRUE(archivers->FindArchiver(extract, archive, executable, arguments));
    EXPECT_EQ(executable, winRar);
    EXPECT_EQ(arguments, L"x -o+ -y -IBCK \"" + archive + L"\" *.* \"" + extract + L"\"");
    EXPECT_TRUE(Exists(extract));  // WinRAR is given an existing destination

    std::uint32_t exitCode = 0;
    ASSERT_TRUE(archivers->RunArchiver(arguments, executable, exitCode));
    EXPECT_EQ(exitCode, 7u);
    // Present at once: the call returned only after the archiver had ended.
    EXPECT_TRUE(Exists(extract + L"\\sub\\DB2024.QDX"));
    const auto [commandLine, startup] = Record(executable);
    EXPECT_EQ(commandLine,
              L"\"" + winRar + L"\" x -o+ -y -IBCK \"" + archive + L"\" *.* \"" + extract + L"\"");
    EXPECT_EQ(startup.substr(0, startup.find(L' ', startup.find(L' ') + 1)),
              std::to_wstring(STARTF_USESHOWWINDOW) + L" " + std::to_wstring(SW_HIDE));

    std::wstring found;
    EXPECT_EQ(FindUpdateFile(extract, true, found), 2);
    EXPECT_EQ(found, extract + L"\\sub\\DB2024.QDX");
    DeleteFolderTree(extract);  // the read-only readme included
    EXPECT_FALSE(Exists(extract));
    EXPECT_TRUE(Exists(staging));
}

TEST_F(WinStaging, HaoZipAnd7ZipGetTheSevenZipCommandLineWithTwoBlanksBeforeTheX) {
    struct Case {
        const wchar_t* keyName;
        const wchar_t* executableName;
        bool trailingBackslash;
    };
    constexpr Case cases[] = {
        {L"HaoZip.exe", L"HaoZipC.exe", true},
        {L"7zFM.exe", L"7z.exe", false},
    };
    const std::wstring archive = staging + L"\\db2024.zip";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyName);
        for (const wchar_t* key : kKeys) RemoveAppPath(key);
        // A registered WinRAR whose executable is gone is passed over.
        SetAppPath(L"WinRAR.exe", root);
        const std::wstring expected = Install(c.keyName, c.executableName, c.trailingBackslash);
        const auto archivers = MakeSystemArchivers();

        std::wstring executable;
        std::wstring arguments;
        ASSERT_TRUE(archivers->FindArchiver(extract, archive, executable, arguments));
        EXPECT_EQ(executable, expected);  // one backslash, whether the value ends in one or not
        EXPECT_FALSE(Exists(extract));    // these archivers make the destination themselves
        std::uint32_t exitCode = 0;
        ASSERT_TRUE(archivers->RunArchiver(arguments, executable, exitCode));
        EXPECT_EQ(exitCode, 7u);
        EXPECT_EQ(Record(executable).first,
                  L"\"" + expected + L"\"  x \"" + archive + L"\" -aoa -y \"-o" + extract + L"\"");
        std::wstring found;
        EXPECT_GT(FindUpdateFile(extract, true, found), 0);
        EXPECT_EQ(found, extract + L"\\sub\\DB2024.QDX");
        DeleteFolderTree(extract);
        EXPECT_FALSE(Exists(extract));
    }
}

TEST_F(WinStaging, WithoutAnyKeyNoArchiverIsFound) {
    std::wstring executable = L"unchanged";
    std::wstring arguments;
    EXPECT_FALSE(
        MakeSystemArchivers()->FindArchiver(extract, staging + L"\\a.7z", executable, arguments));
    EXPECT_EQ(executable, L"unchanged");
}

TEST_F(WinStaging, AppPathValuesAndExecutablesPastTheLimitAreRefused) {
    std::wstring value;
    EXPECT_FALSE(ReadAppPath(kAppPaths + L"WinRAR.exe", value));  // no key
    SetAppPath(L"WinRAR.exe", std::wstring(kMaxPathChars, L'p'));
    EXPECT_TRUE(ReadAppPath(kAppPaths + L"WinRAR.exe", value));
    EXPECT_EQ(value, std::wstring(kMaxPathChars, L'p'));
    SetAppPath(L"WinRAR.exe", std::wstring(kMaxPathChars + 1, L'p'));
    EXPECT_FALSE(ReadAppPath(kAppPaths + L"WinRAR.exe", value));

    EXPECT_TRUE(FileExists(ProgramPath(L"fake_archiver.exe")));
    EXPECT_FALSE(FileExists(L""));
    EXPECT_FALSE(FileExists(root));  // a folder cannot be opened as a file
    EXPECT_FALSE(FileExists(root + L"\\missing.exe"));
}

TEST_F(WinStaging, AnArchiverStillRunningAtTheLimitIsEnded) {
    const std::wstring sevenZip = Install(L"7zFM.exe", L"7z.exe", false);
    const auto archivers = MakeSystemArchivers(500);
    std::wstring executable;
    std::wstring arguments;
    ASSERT_TRUE(archivers->FindArchiver(extract, staging + L"\\hang.7z", executable, arguments));
    std::uint32_t exitCode = 0;
    EXPECT_FALSE(archivers->RunArchiver(arguments, executable, exitCode));
    EXPECT_EQ(exitCode, kArchiverTimedOut);

    const std::wstring startup = Record(sevenZip).second;
    const DWORD processId = std::stoul(startup.substr(startup.rfind(L' ') + 1));
    const UniqueKernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (process.Valid()) {
        EXPECT_EQ(::WaitForSingleObject(process.Get(), 5000), WAIT_OBJECT_0);
    }
}

TEST_F(WinStaging, AnArchiverThatCannotBeStartedReportsFalse) {
    std::uint32_t exitCode = 12345;
    EXPECT_FALSE(
        MakeSystemArchivers()->RunArchiver(L" x \"a.7z\"", root + L"\\missing\\7z.exe", exitCode));
    EXPECT_EQ(exitCode, 12345u);
}

}  // namespace
}  // namespace kivrel
