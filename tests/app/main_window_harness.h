#pragma once
// The main window's model without a window: the test's thread plays the window's thread
// (messages sent and posted by the worker wait in a queue until the test pumps them), the
// view and the message boxes record what they are asked, and the unit is a simulated one
// that can be plugged in and pulled out.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window_model.h"
#include "app/window_thread.h"
#include "base/prompts.h"
#include "device/sim/bank_store.h"
#include "device/sim/simulated_unit.h"
#include "package/vendor_config.h"
#include "tests/support/scripted_prompts.h"
#include "update/archivers.h"
#include "update/staging_files.h"
#include "update/staging_paths.h"

namespace kivrel::test {

// The test's thread is the window's thread.
class QueueWindowThread : public WindowThread {
public:
    void Attach(MainWindowModel* target) { model = target; }

    std::intptr_t Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
    bool Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;

    // Handles queued messages on this thread until `done` holds; false on time-out.
    bool PumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds limit = std::chrono::seconds(20));
    // Handles what is queued now.
    void PumpPending();
    // The window is gone: sends fail at once, as SendMessage to a destroyed window does.
    void Close();

    bool refusePosts = false;
    // Read by the test while the worker posts.
    std::atomic<std::size_t> largestQueue{0};
    std::size_t postsRefused = 0;
    std::map<unsigned, std::size_t> posted;  // how many of each message were queued

private:
    struct Item {
        unsigned message;
        std::uintptr_t wParam;
        std::intptr_t lParam;
        std::intptr_t* result;  // null for a post
        bool* done;
    };
    bool HandleOne(std::unique_lock<std::mutex>& lock);

    MainWindowModel* model = nullptr;
    std::thread::id windowThread = std::this_thread::get_id();
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Item> queue;
    bool closed = false;
};

struct FakeView : MainWindowView {
    std::wstring title;
    std::wstring status;
    std::map<MainButton, bool> enabled{
        {MainButton::Open, true}, {MainButton::Update, true}, {MainButton::Setting, true}};
    // Every time a button was turned on while an update ran.
    int enabledDuringRun = 0;
    std::function<bool()> runActive;
    std::uint32_t progressUpper = 100;
    std::uint32_t progressPosition = 0;
    std::wstring progressText;
    std::vector<std::wstring> progressTexts;
    std::set<unsigned> timers;
    std::vector<unsigned> timerStarts;
    std::optional<std::wstring> fileToChoose;
    std::vector<std::wstring> openedFolders;
    bool ended = false;

    void SetTitle(std::wstring_view text) override { title = text; }
    void SetStatusText(std::wstring_view text) override { status = text; }
    void EnableButton(MainButton button, bool on) override {
        enabled[button] = on;
        if (on && runActive && runActive()) ++enabledDuringRun;
    }
    void SetProgressRange(std::uint32_t upper) override { progressUpper = upper; }
    void SetProgressPosition(std::uint32_t position) override { progressPosition = position; }
    void SetProgressText(std::wstring_view text) override {
        progressText = text;
        progressTexts.emplace_back(text);
    }
    void StartTimer(unsigned id, unsigned) override {
        timers.insert(id);
        timerStarts.push_back(id);
    }
    void KillTimer(unsigned id) override { timers.erase(id); }
    bool ChooseUpdateFile(std::wstring& path) override {
        if (!fileToChoose) return false;
        path = *fileToChoose;
        return true;
    }
    void OpenFolder(const std::wstring& folder) override { openedFolders.push_back(folder); }
    void EndWindow() override { ended = true; }
};

// A simulated unit that stays between connections, and can be unplugged.
struct PluggableUnit {
    explicit PluggableUnit(std::int32_t bootVersion = 1011, std::uint32_t capacity = 0x1000000);
    UnitOpener Opener();
    // Unplugged and plugged in again: the unit starts afresh, with its memory kept.
    void Replug();

    bool plugged = true;
    int opens = 0;
    // Each report written to the unit takes this long, so a test can act during a write.
    std::atomic<int> reportDelayMs{0};
    std::uint32_t timeoutMs = 2000;  // the link's bound on one report
    MemoryBankStore* banks = nullptr;
    std::unique_ptr<SimulatedUnit> sim;
};

// "Unpacks" by copying a prepared update file into the destination folder.
struct CopyingArchivers : Archivers {
    std::vector<std::uint8_t> updateFile;
    bool FindArchiver(const std::wstring& destination, const std::wstring& archive,
                      std::wstring& executable, std::wstring& arguments) override;
    bool RunArchiver(const std::wstring& arguments, const std::wstring& executable,
                     std::uint32_t& exitCode, const std::atomic<std::int32_t>&) override;
};

// The sample update file; its sections are dated `year`-05-01 08:00:00.
[[nodiscard]] std::vector<std::uint8_t> SampleUpdateFile(bool withProvinces = false,
                                                         std::uint16_t year = 2024);
void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// One window: its model and every stand-in, in a folder of its own.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Builds the model (after the test has set up what it needs) and starts it.
    void StartWindow(MainWindowOptions options = {});
    // Presses Update and pumps until the run has ended.
    void UpdateAndWait();
    [[nodiscard]] bool Enabled(MainButton button) { return view.enabled[button]; }
    [[nodiscard]] std::wstring FolderPath() const;

    std::filesystem::path folder;
    QueueWindowThread thread;
    FakeView view;
    ScriptedPrompts prompts;
    PluggableUnit unit;
    CopyingArchivers archivers;
    // The build's values without its version-file table: tests name their own address.
    VendorConfig vendor;
    bool disksSwitch = false;
    int diskSwitches = 0;
    std::function<int(UpdateRunShared&)> chooseProvinces;
    int settingsRuns = 0;
    std::unique_ptr<MainWindowModel> model;
};

}  // namespace kivrel::test
