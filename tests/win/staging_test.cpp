// Archivers are found through the registry's App Paths and started hidden: a wrong key, a
// wrong executable name, a command line off by one blank, a visible window, a key a standard
// user may not open, a 32-bit archiver missed, or a caller that does not wait (or waits on
// while the tool closes) would each break unpacking on users' PCs.

#include <windows.h>
#include <gtest/gtest.h>
// after windows.h, whose types it uses
#include <sddl.h>

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "tests/win/win_test_support.h"
#include "update/archivers.h"
#include "update/archivers_win32.h"
#include "update/folder_tree.h"
#include "update/staging_files.h"
#include "update/staging_paths.h"
#include "update/update_file_search.h"

namespace kivrel {
namespace {

const std::wstring kAppPaths = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
constexpr std::array<const wchar_t*, 3> kKeys = {L"WinRAR.exe", L"HaoZip.exe", L"7zFM.exe"};
constexpr std::array<RegistryView, 2> kViews = {RegistryView::Native64, RegistryView::Wow32};

REGSAM ViewFlag(RegistryView view) {
    return view == RegistryView::Wow32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

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

void SetAppPath(const std::wstring& keyName, const std::wstring& value,
                RegistryView view = RegistryView::Native64) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kAppPaths + keyName).c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS | ViewFlag(view), nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(key, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
}

void RemoveAppPath(const std::wstring& keyName) {
    for (RegistryView view : kViews) {
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, (kAppPaths + keyName).c_str(), ViewFlag(view), 0);
    }
}

class WinStaging : public ::testing::Test {
protected:
    void SetUp() override {
        // The prefix may have real archivers registered: put their keys back afterwards.
        for (std::size_t i = 0; i < kKeys.size(); ++i) {
            for (std::size_t v = 0; v < kViews.size(); ++v) {
                std::wstring value;
                if (ReadAppPath(kAppPaths + kKeys[i], kViews[v], value)) saved[i][v] = value;
            }
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
            for (std::size_t v = 0; v < kViews.size(); ++v) {
                if (saved[i][v]) SetAppPath(kKeys[i], *saved[i][v], kViews[v]);
            }
        }
        DeleteFolderTree(root);
    }

    // Copies the stand-in into its own folder under the name the archiver's key leads to, and
    // registers that folder. Returns the executable's path.
    std::wstring Install(const std::wstring& keyName, const std::wstring& executableName,
                         bool trailingBackslash, RegistryView view = RegistryView::Native64) {
        const std::wstring folder = root + L"\\" + keyName + L" folder";
        ::CreateDirectoryW(folder.c_str(), nullptr);
        const std::wstring executable = folder + L"\\" + executableName;
        EXPECT_TRUE(
            ::CopyFileW(ProgramPath(L"fake_archiver.exe").c_str(), executable.c_str(), FALSE));
        // WinRAR lists an archive with the console program beside it.
        if (executableName == L"WinRar.exe" && withRarConsole) {
            EXPECT_TRUE(::CopyFileW(ProgramPath(L"fake_archiver.exe").c_str(),
                                    (folder + L"\\Rar.exe").c_str(), FALSE));
        }
        SetAppPath(keyName, trailingBackslash ? folder + L"\\" : folder, view);
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
    // The stand-in, when it got far enough to note its process id, is no longer running.
    void ExpectEnded(const std::wstring& executable) {
        const std::wstring startup = Record(executable).second;
        if (startup.empty()) return;  // ended before it even started its work
        const DWORD processId = std::stoul(startup.substr(startup.rfind(L' ') + 1));
        const UniqueKernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
        if (process.Valid()) {
            EXPECT_EQ(::WaitForSingleObject(process.Get(), 5000), WAIT_OBJECT_0);
        }
    }

    // An archive the stand-in lists and unpacks as the lines say.
    std::wstring Manifest(const std::wstring& name, const std::string& lines) {
        const std::wstring path = staging + L"\\" + name;
        const UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        const std::string text = "KIVREL-FAKE-ARCHIVE\r\n" + lines;
        DWORD written = 0;
        ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return path;
    }

    std::atomic<std::int32_t> noStop{0};
    bool withRarConsole = true;
    std::array<std::array<std::optional<std::wstring>, 2>, 3> saved;
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
    ASSERT_TRUE(archivers->RunArchiver(arguments, executable, exitCode, noStop));
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
        ASSERT_TRUE(archivers->RunArchiver(arguments, executable, exitCode, noStop));
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
    const std::wstring key = kAppPaths + L"WinRAR.exe";
    std::wstring value;
    EXPECT_FALSE(ReadAppPath(key, RegistryView::Native64, value));  // no key
    SetAppPath(L"WinRAR.exe", std::wstring(kMaxPathChars, L'p'));
    EXPECT_TRUE(ReadAppPath(key, RegistryView::Native64, value));
    EXPECT_EQ(value, std::wstring(kMaxPathChars, L'p'));
    SetAppPath(L"WinRAR.exe", std::wstring(kMaxPathChars + 1, L'p'));
    EXPECT_FALSE(ReadAppPath(key, RegistryView::Native64, value));

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
    EXPECT_FALSE(archivers->RunArchiver(arguments, executable, exitCode, noStop));
    EXPECT_EQ(exitCode, kArchiverEnded);

    ExpectEnded(sevenZip);
}

TEST_F(WinStaging, AStopRequestEndsAWaitingArchiverPromptly) {
    const std::wstring sevenZip = Install(L"7zFM.exe", L"7z.exe", false);
    const auto archivers = MakeSystemArchivers();  // the full wait limit
    std::wstring executable;
    std::wstring arguments;
    ASSERT_TRUE(archivers->FindArchiver(extract, staging + L"\\hang.7z", executable, arguments));
    std::atomic<std::int32_t> stopRequested{0};
    std::atomic<bool> returned{false};
    std::chrono::steady_clock::time_point raised;
    std::thread closer([&] {
        // Once the stand-in has started its minute of waiting, the window is closed.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!returned && Record(sevenZip).second.empty() &&
               std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        raised = std::chrono::steady_clock::now();
        stopRequested = 1;
    });
    std::uint32_t exitCode = 0;
    EXPECT_FALSE(archivers->RunArchiver(arguments, executable, exitCode, stopRequested));
    const auto ended = std::chrono::steady_clock::now();
    returned = true;
    closer.join();
    EXPECT_EQ(exitCode, kArchiverEnded);
    // The window waits 5 s for the worker before it ends the thread.
    EXPECT_LT(ended - raised, std::chrono::seconds(5));

    ExpectEnded(sevenZip);
}

TEST_F(WinStaging, EachRegistryViewIsReadAsAsked) {
    // App Paths itself is one key for both views on Windows 7 and later (and in Wine), so a
    // key in a redirected part of the registry shows that the 32-bit view is read as asked.
    const std::wstring parent = L"SOFTWARE\\Kivrel Test";
    const std::wstring keyPath = parent + L"\\App Paths\\7zFM.exe";
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::wstring x86 = L"C:\\Program Files (x86)\\7-Zip";
    ::RegSetValueExW(key, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(x86.c_str()),
                     static_cast<DWORD>((x86.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);

    std::wstring value;
    const bool in64 = ReadAppPath(keyPath, RegistryView::Native64, value);
    const bool in32 = ReadAppPath(keyPath, RegistryView::Wow32, value);
    for (const std::wstring& created : {keyPath, parent + L"\\App Paths", parent}) {
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, created.c_str(), KEY_WOW64_32KEY, 0);
    }
    EXPECT_FALSE(in64);
    EXPECT_TRUE(in32);
    EXPECT_EQ(value, x86);
}

TEST_F(WinStaging, AKeyTheUserMayOnlyReadIsFound) {
    const std::wstring winRar = Install(L"WinRAR.exe", L"WinRar.exe", false);
    // Everyone may read the key, nobody may change it: what a standard user meets under
    // HKEY_LOCAL_MACHINE.
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;KR;;;WD)(A;;SD;;;WD)", SDDL_REVISION_1, &readOnly, nullptr));
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kAppPaths + L"WinRAR.exe").c_str(), 0,
                              WRITE_DAC | KEY_WOW64_64KEY, &key),
              ERROR_SUCCESS);
    const LSTATUS secured = ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, readOnly);
    ::RegCloseKey(key);
    ::LocalFree(readOnly);
    ASSERT_EQ(secured, ERROR_SUCCESS);
    HKEY full = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kAppPaths + L"WinRAR.exe").c_str(), 0,
                              KEY_ALL_ACCESS | KEY_WOW64_64KEY, &full),
              ERROR_ACCESS_DENIED);

    std::wstring executable;
    std::wstring arguments;
    ASSERT_TRUE(
        MakeSystemArchivers()->FindArchiver(extract, staging + L"\\a.rar", executable, arguments));
    EXPECT_EQ(executable, winRar);
}

TEST_F(WinStaging, AnArchiveWhoseEntriesCouldEscapeIsNotUnpacked) {
    struct Case {
        const char* name;
        std::string lines;
    };
    const Case hostile[] = {
        {"a .. part", "F sub\\..\\..\\evil.qdx\r\n"},
        {"an absolute name", "F \\Windows\\evil.qdx\r\n"},
        {"a drive letter", "F C:evil.qdx\r\n"},
        {"a Unix link", "D sub\r\nL sub\\link\r\n"},
        {"a reparse point", "R junction\r\n"},
        {"a hard link", "H hard.qdx\r\n"},
        {"an alternate stream", "S db.qdx\r\n"},
        {"a device name", "F sub\\CON.qdx\r\n"},
    };
    struct Archiver {
        const wchar_t* keyName;
        const wchar_t* executableName;
    };
    constexpr Archiver archivers[] = {
        {L"WinRAR.exe", L"WinRar.exe"}, {L"HaoZip.exe", L"HaoZipC.exe"}, {L"7zFM.exe", L"7z.exe"}};
    for (const Archiver& archiver : archivers) {
        for (const wchar_t* key : kKeys) RemoveAppPath(key);
        Install(archiver.keyName, archiver.executableName, false);
        for (const Case& c : hostile) {
            SCOPED_TRACE(std::string(c.name) + " through " +
                         std::string(archiver.keyName, archiver.keyName + 6));
            const std::wstring archive = Manifest(L"db.rar", "F sub\\db.qdx\r\n" + c.lines);
            std::wstring executable;
            std::wstring arguments;
            ASSERT_TRUE(
                MakeSystemArchivers()->FindArchiver(extract, archive, executable, arguments));
            std::uint32_t exitCode = 0;
            EXPECT_FALSE(
                MakeSystemArchivers()->RunArchiver(arguments, executable, exitCode, noStop));
            EXPECT_EQ(exitCode, kArchiverRefused);
            // Listed, never run to unpack: nothing of it is in the destination.
            EXPECT_FALSE(Exists(extract + L"\\sub\\db.qdx"));
            DeleteFolderTree(extract);
        }
        // The same archive without the hostile entry is unpacked.
        const std::wstring archive = Manifest(L"db.rar", "D sub\r\nF sub\\db.qdx\r\n");
        std::wstring executable;
        std::wstring arguments;
        ASSERT_TRUE(MakeSystemArchivers()->FindArchiver(extract, archive, executable, arguments));
        std::uint32_t exitCode = 0;
        EXPECT_TRUE(MakeSystemArchivers()->RunArchiver(arguments, executable, exitCode, noStop));
        EXPECT_TRUE(Exists(extract + L"\\sub\\db.qdx"));
        DeleteFolderTree(extract);
    }
}

TEST_F(WinStaging, WinRarWithoutItsConsoleProgramCannotListAndSoDoesNotUnpack) {
    withRarConsole = false;
    Install(L"WinRAR.exe", L"WinRar.exe", false);
    std::wstring executable;
    std::wstring arguments;
    ASSERT_TRUE(
        MakeSystemArchivers()->FindArchiver(extract, staging + L"\\db.rar", executable, arguments));
    std::uint32_t exitCode = 0;
    EXPECT_FALSE(MakeSystemArchivers()->RunArchiver(arguments, executable, exitCode, noStop));
    EXPECT_EQ(exitCode, kArchiverRefused);
    EXPECT_FALSE(Exists(extract + L"\\sub\\DB2024.QDX"));
}

TEST_F(WinStaging, AnUnpackedFolderWithALinkInItIsNotPlain) {
    ASSERT_TRUE(::CreateDirectoryW(extract.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((extract + L"\\sub").c_str(), nullptr));
    EXPECT_TRUE(HoldsOnlyPlainEntries(extract, SystemStagingFiles()));
    // What an archiver that follows an archive's links would leave: a link to a folder outside.
    if (!::CreateSymbolicLinkW((extract + L"\\sub\\out").c_str(), root.c_str(),
                               SYMBOLIC_LINK_FLAG_DIRECTORY)) {
        GTEST_SKIP() << "this system makes no symbolic links here (error " << ::GetLastError()
                     << ")";
    }
    const DWORD attributes = ::GetFileAttributesW((extract + L"\\sub\\out").c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        // Wine makes a Unix link that its file functions report as a plain folder: remove the
        // link itself before anything could walk through it.
        ::RemoveDirectoryW((extract + L"\\sub\\out").c_str());
        GTEST_SKIP() << "this system does not report its own link as a reparse point";
    }
    EXPECT_FALSE(HoldsOnlyPlainEntries(extract, SystemStagingFiles()));
    DeleteFolderTree(extract);
    EXPECT_TRUE(Exists(root));  // the link went, not what it pointed to
}

TEST_F(WinStaging, AnArchiverThatCannotBeStartedReportsFalse) {
    std::uint32_t exitCode = 12345;
    EXPECT_FALSE(MakeSystemArchivers()->RunArchiver(L" x \"a.7z\"", root + L"\\missing\\7z.exe",
                                                    exitCode, noStop));
    EXPECT_EQ(exitCode, 12345u);
}

}  // namespace
}  // namespace kivrel
