#include "tests/app/main_window_harness.h"

#include <fstream>

#include "package/package_writer.h"
#include "package/sample_package.h"
#include "package/vendor_config.h"

namespace kivrel::test {

namespace fs = std::filesystem;

std::intptr_t QueueWindowThread::Send(unsigned message, std::uintptr_t wParam,
                                      std::intptr_t lParam) {
    if (std::this_thread::get_id() == windowThread) {
        return model != nullptr ? model->Dispatch(message, wParam, lParam) : 0;
    }
    std::unique_lock lock(mutex);
    if (closed) return 0;
    std::intptr_t result = 0;
    bool done = false;
    queue.push_back({message, wParam, lParam, &result, &done});
    changed.notify_all();
    changed.wait(lock, [&] { return done; });
    return result;
}

bool QueueWindowThread::Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    std::lock_guard lock(mutex);
    if (refusePosts || closed) {
        ++postsRefused;
        return false;
    }
    queue.push_back({message, wParam, lParam, nullptr, nullptr});
    ++posted[message];
    std::size_t waiting = 0;
    for (const Item& item : queue) waiting += item.result == nullptr ? 1 : 0;
    largestQueue = std::max(largestQueue.load(), waiting);
    changed.notify_all();
    return true;
}

bool QueueWindowThread::HandleOne(std::unique_lock<std::mutex>& lock) {
    if (queue.empty()) return false;
    Item item = queue.front();
    queue.pop_front();
    lock.unlock();
    const std::intptr_t result =
        model != nullptr ? model->Dispatch(item.message, item.wParam, item.lParam) : 0;
    lock.lock();
    if (item.result != nullptr) {
        *item.result = result;
        *item.done = true;
        changed.notify_all();
    }
    return true;
}

bool QueueWindowThread::PumpUntil(const std::function<bool()>& done,
                                  std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock lock(mutex);
    while (true) {
        while (HandleOne(lock)) {
        }
        lock.unlock();
        const bool finished = done();
        lock.lock();
        if (finished) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        // Some conditions change without a message (a thread ending): look again soon.
        changed.wait_for(lock, std::chrono::milliseconds(10), [&] { return !queue.empty(); });
    }
}

void QueueWindowThread::PumpPending() {
    std::unique_lock lock(mutex);
    while (HandleOne(lock)) {
    }
}

void QueueWindowThread::Close() {
    std::lock_guard lock(mutex);
    closed = true;
    for (Item& item : queue) {
        if (item.result != nullptr) {
            *item.result = 0;
            *item.done = true;
        }
    }
    queue.clear();
    changed.notify_all();
}

PluggableUnit::PluggableUnit(std::int32_t bootVersion, std::uint32_t capacity) {
    auto store = std::make_unique<MemoryBankStore>(capacity);
    banks = store.get();
    sim = std::make_unique<SimulatedUnit>(SimSettings{bootVersion, {}}, std::move(store));
}

namespace {

// The simulated unit, with a pause before each report written to it.
class PacedTransport final : public HidTransport {
public:
    PacedTransport(HidTransport& target, std::atomic<int>& delayMs)
        : target(target), delayMs(delayMs) {}
    bool WriteReport(ReportView report, std::uint32_t timeoutMs) override {
        if (const int delay = delayMs.load(); delay > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        }
        return target.WriteReport(report, timeoutMs);
    }
    bool ReadReport(std::span<std::uint8_t, kReportBytes> report, std::size_t& count,
                    std::uint32_t timeoutMs) override {
        return target.ReadReport(report, count, timeoutMs);
    }
    void Close() override {}

private:
    HidTransport& target;
    std::atomic<int>& delayMs;
};

}  // namespace

UnitOpener PluggableUnit::Opener() {
    return [this](CGpsUnit& target, EventSink* sink) {
        if (!plugged) return false;
        ++opens;
        target.link.SetTimeoutMs(timeoutMs);
        target.link.Attach(std::make_unique<PacedTransport>(*sim, reportDelayMs), sink);
        return true;
    };
}

void PluggableUnit::Replug() {
    auto store = std::make_unique<MemoryBankStore>(banks->Capacity());
    store->Bank(0) = banks->Bank(0);
    store->Bank(1) = banks->Bank(1);
    banks = store.get();
    sim = std::make_unique<SimulatedUnit>(SimSettings{1011, sim->Faults()}, std::move(store));
    plugged = true;
}

bool CopyingArchivers::FindArchiver(const std::wstring& destination, const std::wstring& archive,
                                    std::wstring& executable, std::wstring& arguments) {
    executable = L"copy";
    arguments = destination + L"|" + archive;
    return true;
}

bool CopyingArchivers::RunArchiver(const std::wstring& arguments, const std::wstring&,
                                   std::uint32_t& exitCode, const std::atomic<std::int32_t>&) {
    const fs::path destination(arguments.substr(0, arguments.find(L'|')));
    fs::create_directories(destination);
    WriteBytes(destination / "camera.qdx", updateFile);
    exitCode = 0;
    return true;
}

std::vector<std::uint8_t> SampleUpdateFile(bool withProvinces, std::uint16_t year) {
    SampleOptions options;
    options.date.year = year;
    options.sizes.modelCount = 0;
    options.sizes.recordsPerProvince = withProvinces ? 4 : 0;
    return WritePackage(MakeSamplePackage(options)).bytes;
}

void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

void MainWindowTest::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder = fs::temp_directory_path() /
             (std::string("kivrel-window-") + info->test_suite_name() + "-" + info->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
    vendor = DefaultVendorConfig();
    vendor.versionSources = {};
}

void MainWindowTest::TearDown() {
    thread.Close();
    model.reset();
    fs::remove_all(folder);
}

std::wstring MainWindowTest::FolderPath() const {
    return folder.wstring() + std::wstring(1, kPathSeparator);
}

void MainWindowTest::StartWindow(MainWindowOptions options) {
    MainWindowServices services{
        .view = view,
        .prompts = prompts,
        .thread = thread,
        .openUnit = unit.Opener(),
        .switchDiskUnits =
            [this] {
                ++diskSwitches;
                return disksSwitch;
            },
        .chooseProvinces =
            [this](UpdateRunShared& shared) {
                return chooseProvinces ? chooseProvinces(shared) : 0;
            },
        .runSettings = [this](CGpsUnit&) { ++settingsRuns; },
        .archivers = archivers,
        .files = SystemStagingFiles(),
        .vendor = vendor,
        .tempFolder = FolderPath(),
        .tempFolderProblem = {},
        .fileExists =
            [](const std::wstring& path) {
                std::error_code error;
                return fs::is_regular_file(fs::path(path), error);
            },
    };
    model = std::make_unique<MainWindowModel>(std::move(services), std::move(options));
    thread.Attach(model.get());
    view.runActive = [this] { return model && model->RunActive(); };
    model->Start();
}

void MainWindowTest::UpdateAndWait() {
    model->OnUpdate();
    ASSERT_TRUE(thread.PumpUntil([&] { return !model->RunActive(); }));
}

}  // namespace kivrel::test
