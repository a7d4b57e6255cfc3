// The main window in this process over a simulated unit, driven with real messages from a
// second thread the way Windows delivers them: it connects, updates, loses the unit in the
// middle of a write and gets it back, and closes during a write without leaving a thread or a
// half-done state behind.

#include <windows.h>
#include <dbt.h>
#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/control_ids.h"
#include "app/kivrel_app_win32.h"
#include "app/kivrel_dlg_win32.h"
#include "base/text.h"
#include "device/gps_unit.h"
#include "device/sim/sim_directory.h"
#include "package/package_writer.h"
#include "package/sample_package.h"
#include "tests/win/window_text.h"

namespace kivrel {
namespace {

namespace fs = std::filesystem;
using test::BoxText;
using test::TextOf;

constexpr wchar_t kUnitPath[] =
    L"\\\\?\\HID#VID_0416&PID_B500#7&1a2b3c&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

bool WaitFor(const std::function<bool()>& condition, DWORD milliseconds = 20000) {
    const ULONGLONG deadline = ::GetTickCount64() + milliseconds;
    while (!condition()) {
        if (::GetTickCount64() > deadline) return false;
        ::Sleep(20);
    }
    return true;
}

// A visible dialog owned by `owner`: the message boxes the window shows.
HWND OwnedBox(HWND owner) {
    struct Search {
        HWND owner;
        HWND found;
    } search{owner, nullptr};
    ::EnumThreadWindows(
        ::GetWindowThreadProcessId(owner, nullptr),
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (window != s->owner && ::IsWindowVisible(window) &&
                ::GetWindow(window, GW_OWNER) == s->owner) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::size_t ThreadsOfThisProcess() {
    const DWORD process = ::GetCurrentProcessId();
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    std::size_t count = 0;
    for (BOOL more = ::Thread32First(snapshot, &entry); more;
         more = ::Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == process) ++count;
    }
    ::CloseHandle(snapshot);
    return count;
}

void SendDeviceChange(HWND window, WPARAM event) {
    std::vector<std::uint8_t> buffer(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) + sizeof kUnitPath);
    auto* broadcast = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(buffer.data());
    broadcast->dbcc_size = static_cast<DWORD>(buffer.size());
    broadcast->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    broadcast->dbcc_classguid = {
        0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
    std::copy(std::begin(kUnitPath), std::end(kUnitPath), broadcast->dbcc_name);
    ::SendMessageW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(broadcast));
}

// One window over a simulated unit in a folder of its own. The window runs on the test's
// thread; `drive` runs on another and does what a user would.
class MainWindowView : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterMainWindowClass(::GetModuleHandleW(nullptr)); }

    void SetUp() override {
        folder = fs::temp_directory_path() /
                 (std::string("kivrel-dlg-") +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        ASSERT_EQ(CreateSimDirectory(folder / "unit", 1011, 0x1000000), "");
        SampleOptions options;
        options.sizes.recordsPerProvince = 0;  // no province table: no province question
        const WrittenPackage sample = WritePackage(MakeSamplePackage(options));
        std::ofstream(folder / "camera.qdx", std::ios::binary)
            .write(reinterpret_cast<const char*>(sample.bytes.data()),
                   static_cast<std::streamsize>(sample.bytes.size()));
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    // Paces the simulated unit: every report takes this long, so a write lasts long enough
    // to act during it.
    void PaceUnit(unsigned frameUs) {
        std::ofstream(folder / "unit" / "unit.json")
            << R"({"boot_version": 1011, "capacity": 16777216, "frame_us": )" << frameUs << "}";
    }

    // Runs the window until it closes; `drive` is given the window once it is up and must
    // close it. Returns the dialog's result.
    INT_PTR Run(const std::function<void(HWND)>& drive) {
        KivrelCommandLine commandLine;
        commandLine.window.updateFile = (folder / "camera.qdx").wstring();
        // An archive address: no version check runs.
        commandLine.window.versionUrl = L"http://127.0.0.1:9/database.zip";
        commandLine.device = "sim:" + WideToUtf8((folder / "unit").wstring());
        CKivrelDlg dialog(commandLine);
        std::thread driver([&] {
            HWND window = nullptr;
            if (WaitFor([&] {
                    return (window = ::FindWindowW(kMainWindowClass, nullptr)) != nullptr;
                })) {
                drive(window);
            }
            // Whatever happened, the window must go.
            if (window != nullptr && ::IsWindow(window)) {
                ::PostMessageW(window, WM_CLOSE, 0, 0);
                WaitFor(
                    [&] {
                        if (HWND box = OwnedBox(window)) ::PostMessageW(box, WM_COMMAND, IDYES, 0);
                        return !::IsWindow(window);
                    },
                    30000);
            }
        });
        const INT_PTR result = dialog.RunModal(::GetModuleHandleW(nullptr), kIdMainDialog, nullptr);
        driver.join();
        return result;
    }

    static bool WaitForTitle(HWND window, const std::wstring& part) {
        return WaitFor([&] { return TextOf(window).find(part) != std::wstring::npos; });
    }
    static bool Enabled(HWND window, int id) {
        return ::IsWindowEnabled(::GetDlgItem(window, id)) != 0;
    }
    static void Click(HWND window, int id) {
        ::PostMessageW(::GetDlgItem(window, id), BM_CLICK, 0, 0);
    }
    // Waits for a message box, notes its text and presses `button` in it.
    static std::wstring AnswerBox(HWND window, int button) {
        HWND box = nullptr;
        if (!WaitFor([&] { return (box = OwnedBox(window)) != nullptr; }, 60000))
            return L"(no box)";
        ::Sleep(200);
        const std::wstring text = BoxText(box);
        ::PostMessageW(box, WM_COMMAND, button, 0);
        WaitFor([&] { return !::IsWindow(box); });
        return text;
    }
    static std::wstring BarText(HWND window) { return TextOf(::GetDlgItem(window, kIdProgress)); }

    fs::path folder;
};

TEST_F(MainWindowView, ConnectsAndWritesALocalFile) {
    std::wstring connectedTitle, box, updatedTitle;
    bool updateEnabled = false, allBackAfterwards = false;
    Run([&](HWND window) {
        if (!WaitForTitle(window, L"GPS Connected")) return;
        connectedTitle = TextOf(window);
        updateEnabled = WaitFor([&] { return Enabled(window, kIdUpdate); }, 5000);
        Click(window, kIdUpdate);
        box = AnswerBox(window, IDOK);
        allBackAfterwards = WaitFor([&] {
            return Enabled(window, kIdUpdate) && Enabled(window, kIdSetting) &&
                   Enabled(window, kIdOpen);
        });
        updatedTitle = TextOf(window);
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(kIdClose, BN_CLICKED), 0);
    });
    EXPECT_EQ(connectedTitle, L"Update Tool   GPS Connected   V:");  // a blank unit
    EXPECT_TRUE(updateEnabled);
    EXPECT_EQ(box, L"Update Successfully!");
    EXPECT_TRUE(allBackAfterwards);
    EXPECT_EQ(updatedTitle, L"Update Tool   GPS Connected   V:20240501");
}

TEST_F(MainWindowView, LosingTheUnitMidWriteFailsAndItIsTakenBackWhenItReturns) {
    PaceUnit(2000);
    std::wstring box, afterRemoval, afterReturn, barDuringWrite;
    Run([&](HWND window) {
        if (!WaitForTitle(window, L"GPS Connected")) return;
        Click(window, kIdUpdate);
        if (!WaitFor([&] { return BarText(window).rfind(L"Updated", 0) == 0; })) return;
        barDuringWrite = BarText(window);
        SendDeviceChange(window, DBT_DEVICEREMOVECOMPLETE);
        box = AnswerBox(window, IDOK);
        WaitForTitle(window, L"No hardware connected!");
        afterRemoval = TextOf(window);
        SendDeviceChange(window, DBT_DEVICEARRIVAL);  // connect timer: 2 s
        WaitForTitle(window, L"GPS Connected");
        afterReturn = TextOf(window);
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(barDuringWrite.rfind(L"Updated ", 0), 0u) << WideToUtf8(barDuringWrite);
    EXPECT_EQ(box, L"Update Failed!");
    EXPECT_EQ(afterRemoval, L"Update Tool   No hardware connected!");
    EXPECT_EQ(afterReturn.rfind(L"Update Tool   GPS Connected   V:", 0), 0u)
        << WideToUtf8(afterReturn);
}

TEST_F(MainWindowView, ClosingMidWriteAsksStopsAndLeavesNoThread) {
    // Wine starts threads of its own for the first window and box of a process: a first run
    // that shows both leaves them behind before the count is taken.
    Run([&](HWND window) {
        WaitForTitle(window, L"GPS Connected");
        ::PostMessageW(::GetDlgItem(window, kIdUpdate), BM_CLICK, 0, 0);
        AnswerBox(window, IDOK);
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    });
    PaceUnit(20000);  // a write of several seconds: closing lands in the middle of it
    const std::size_t threadsBefore = ThreadsOfThisProcess();
    std::wstring question;
    bool wasWriting = false;
    const INT_PTR result = Run([&](HWND window) {
        if (!WaitForTitle(window, L"GPS Connected")) return;
        Click(window, kIdUpdate);
        wasWriting = WaitFor([&] { return BarText(window).rfind(L"Updated", 0) == 0; });
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        question = AnswerBox(window, IDYES);
        WaitFor([&] { return !::IsWindow(window); });
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(wasWriting);
    EXPECT_NE(question.find(L"Close anyway?"), std::wstring::npos) << WideToUtf8(question);
    // The worker and the downloader threads are gone (the driver thread was joined).
    EXPECT_LE(ThreadsOfThisProcess(), threadsBefore);
    // The unit's files are whole and closed: they open and read as a unit again.
    std::string error;
    auto sim = OpenSimDirectory(folder / "unit", error);
    ASSERT_NE(sim, nullptr) << error;
    CGpsUnit unit;
    unit.link.Attach(std::move(sim), nullptr);
    unit.ResetUnitInfo();
    ASSERT_TRUE(unit.ReadUnitInfo());
    EXPECT_EQ(unit.ReadingFault(), "");
}

}  // namespace
}  // namespace kivrel
