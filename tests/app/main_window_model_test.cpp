// The main window as its owner meets it: what the title, the status line, the bar and the
// buttons say in each state, and that one update at a time runs to an outcome the window
// reports truthfully, whatever arrives while it runs.

#include "app/main_window_model.h"

#include <gtest/gtest.h>

#include "app/control_ids.h"
#include "app/window_thread.h"
#include "base/text.h"
#include "device/unit_ids.h"
#include "net/version_check.h"
#include "tests/app/main_window_harness.h"
#include "tests/support/http_test_server.h"

namespace kivrel::test {
namespace {

namespace fs = std::filesystem;
using Kind = ScriptedPrompts::Kind;

constexpr std::wstring_view kUnitPath =
    L"\\\\?\\HID#VID_0416&PID_B500#7&1a2b3c&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
// The sample file's database is dated 2024-05-01.
constexpr std::wstring_view kSampleVersion = L"20240501";

MainWindowOptions VersionUrl(std::wstring url) {
    MainWindowOptions options;
    options.versionUrl = std::move(url);
    return options;
}

HttpRoute Route(int status, std::vector<std::uint8_t> body = {}) {
    HttpRoute route;
    route.status = status;
    route.body = std::move(body);
    return route;
}

std::wstring ConnectedTitle(const CGpsUnit& unit) {
    return L"Update Tool   GPS Connected   V:" + DatabaseDateText(unit.databaseDate);
}

class MainWindow : public MainWindowTest {
protected:
    std::wstring WriteSample(const char* name = "camera.qdx", bool provinces = false,
                             std::uint16_t year = 2024) {
        WriteBytes(folder / name, SampleUpdateFile(provinces, year));
        return (folder / name).wstring();
    }
    void UpdateFromFile() {
        view.fileToChoose = WriteSample();
        model->OnOpen();
        UpdateAndWait();
    }
    // How many data blocks the unit took.
    std::size_t BlocksWritten() {
        std::size_t writes = 0;
        for (const CommandFrame& command : unit.sim->Commands()) {
            if (command.code == static_cast<std::uint8_t>(CommandCode::kWriteBlocks)) ++writes;
        }
        return writes;
    }
};

// ---- Start-up ----

TEST_F(MainWindow, StartsWithoutAUnitAskingForAFile) {
    unit.plugged = false;
    StartWindow();
    EXPECT_EQ(view.title, L"Update Tool");
    EXPECT_EQ(view.status, L"Please choose the updated file!");
    EXPECT_FALSE(Enabled(MainButton::Update));
    EXPECT_FALSE(Enabled(MainButton::Setting));
    EXPECT_TRUE(Enabled(MainButton::Open));
    EXPECT_EQ(model->OnlineVersion(), -1);
    EXPECT_EQ(diskSwitches, 1);
    EXPECT_TRUE(view.timers.count(kTimerProgress));
    EXPECT_FALSE(view.timers.count(kTimerDiskSwitch));
}

TEST_F(MainWindow, StartsWithAUnitShowingItsDatabaseDate) {
    StartWindow();
    // A blank unit holds no database: no date, rather than the erased flash's 2106-02-07.
    EXPECT_EQ(view.title, L"Update Tool   GPS Connected   V:");
    EXPECT_TRUE(Enabled(MainButton::Setting));
    EXPECT_FALSE(Enabled(MainButton::Update));  // nothing to send yet
    EXPECT_TRUE(Enabled(MainButton::Open));
    EXPECT_EQ(diskSwitches, 0);
}

TEST_F(MainWindow, AUnitThatDoesNotAnswerWholeIsNotTakenForConnected) {
    unit.sim->Faults().dropReport = 8;  // a report of the layout block's reading is lost
    StartWindow();
    EXPECT_EQ(view.title, L"Update Tool");
    EXPECT_FALSE(model->Unit().Connected());
    EXPECT_FALSE(Enabled(MainButton::Update));
    EXPECT_NE(view.progressText.find(L"could not be read"), std::wstring::npos);
    // Replugged, it reads whole.
    unit.Replug();
    unit.sim->Faults().dropReport = 0;
    model->OnDeviceChange(DeviceEvent::Arrival, kClassIndexHid, kUnitPath);
    model->OnTimer(kTimerConnect);
    EXPECT_EQ(view.title, ConnectedTitle(model->Unit()));
}

TEST_F(MainWindow, ASilentUnitCostsTheWindowSecondsNotEveryStepsBound) {
    unit.timeoutMs = 5000;
    unit.sim->Faults().stopAfterReports = 1;  // takes the first command, never answers
    const auto start = std::chrono::steady_clock::now();
    StartWindow();
    // Without the first-answer bound the reading's steps would wait 5 s each.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_FALSE(model->Unit().Connected());
    EXPECT_NE(view.progressText.find(L"does not answer"), std::wstring::npos);
}

TEST_F(MainWindow, ADiskModeUnitIsSwitchedAndConnectedByTheTimers) {
    unit.plugged = false;
    disksSwitch = true;
    StartWindow();
    EXPECT_TRUE(view.timers.count(kTimerDiskSwitch));
    unit.plugged = true;
    model->OnTimer(kTimerDiskSwitch);
    EXPECT_FALSE(view.timers.count(kTimerDiskSwitch));
    EXPECT_EQ(view.title, L"Update Tool   GPS Connecting...");
    EXPECT_TRUE(view.timers.count(kTimerConnect));
    model->OnTimer(kTimerConnect);
    EXPECT_FALSE(view.timers.count(kTimerConnect));
    EXPECT_EQ(view.title, ConnectedTitle(model->Unit()));
}

TEST_F(MainWindow, AnArchiveAddressIsTheOnlineSourceItself) {
    StartWindow(VersionUrl(L"http://127.0.0.1:9/db/Camera.ZIP"));
    EXPECT_EQ(view.status, L"http://127.0.0.1:9/db/Camera.ZIP");
    EXPECT_EQ(model->ArchiveUrl(), L"http://127.0.0.1:9/db/Camera.ZIP");
    EXPECT_TRUE(Enabled(MainButton::Update));
    EXPECT_FALSE(model->VersionCheckActive());
}

struct VersionFileCase {
    const char* name;
    int status;
    std::string text;
    std::wstring statusLine;
    std::int32_t onlineVersion;
    bool updateEnabled;
};

class VersionCheck : public MainWindow, public ::testing::WithParamInterface<VersionFileCase> {};

TEST_P(VersionCheck, EndsInTheWindowsTexts) {
    const VersionFileCase& c = GetParam();
    HttpTestServer server;
    server.Serve("/version.txt",
                 Route(c.status, std::vector<std::uint8_t>(c.text.begin(), c.text.end())));
    unit.plugged = false;
    StartWindow(VersionUrl(server.WideUrl("/version.txt")));
    // Open is held off while the check runs.
    EXPECT_TRUE(model->VersionCheckActive());
    EXPECT_EQ(view.status, L"Searching the database version now,please wait\u2026");
    EXPECT_FALSE(Enabled(MainButton::Open));
    ASSERT_TRUE(thread.PumpUntil([&] { return !model->VersionCheckActive(); }));
    EXPECT_EQ(view.status, c.statusLine);
    EXPECT_EQ(model->OnlineVersion(), c.onlineVersion);
    EXPECT_TRUE(Enabled(MainButton::Open));
    EXPECT_FALSE(fs::exists(folder / "Tmp"));
    // A unit that arrives now can be updated from the online database only if one is known.
    unit.plugged = true;
    model->OnDeviceChange(DeviceEvent::Arrival, kClassIndexHid, kUnitPath);
    model->OnTimer(kTimerConnect);
    EXPECT_EQ(Enabled(MainButton::Update), c.updateEnabled);
}

INSTANTIATE_TEST_SUITE_P(
    MainWindow, VersionCheck,
    ::testing::Values(VersionFileCase{"Found", 200, "20240501\r\nhttp://127.0.0.1:9/db.zip\r\n",
                                      L"Internet vesion:20240501", 20240501, true},
                      VersionFileCase{"NoDigits", 200, "latest\nhttp://127.0.0.1:9/db.zip\n",
                                      L"Internet vesion:latest", 0, true},
                      VersionFileCase{"OneLine", 200, "20240501\n",
                                      L"Access database failed,please updated by local file!", -1,
                                      false},
                      VersionFileCase{"Missing", 404, "",
                                      L"Access database failed,please updated by local file!", -1,
                                      false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Devices ----

TEST_F(MainWindow, RemovalAndArrivalOfTheUnitFollowTheTitle) {
    StartWindow();
    model->OnDeviceChange(DeviceEvent::RemoveComplete, kClassIndexHid, kUnitPath);
    EXPECT_EQ(view.title, L"Update Tool   No hardware connected!");
    EXPECT_FALSE(model->Unit().Connected());
    EXPECT_FALSE(Enabled(MainButton::Setting));
    EXPECT_FALSE(Enabled(MainButton::Update));

    // Other devices and other kinds of interface change nothing.
    model->OnDeviceChange(DeviceEvent::Arrival, kClassIndexHid,
                          L"\\\\?\\HID#VID_0416&PID_B501#1#{4d1e55b2-f16f-11cf-88cb-001111000030}");
    model->OnDeviceChange(DeviceEvent::Arrival, 1, kUnitPath);
    EXPECT_FALSE(view.timers.count(kTimerConnect));

    model->OnDeviceChange(DeviceEvent::Arrival, kClassIndexHid, kUnitPath);
    EXPECT_EQ(view.title, L"Update Tool   GPS Connecting...");
    model->OnTimer(kTimerConnect);
    EXPECT_EQ(view.title, ConnectedTitle(model->Unit()));
    EXPECT_TRUE(Enabled(MainButton::Setting));

    model->OnDeviceChange(DeviceEvent::Arrival, kClassIndexVolume, L"\\\\?\\STORAGE#Volume#x");
    EXPECT_TRUE(view.timers.count(kTimerDiskSwitch));
}

// ---- Files ----

TEST_F(MainWindow, DroppedFilesAreTakenByTheirExtension) {
    StartWindow();
    const std::wstring longName = FolderPath() + std::wstring(300, L'n') + L".qdx";
    const struct {
        std::wstring path;
        bool taken;
    } cases[] = {
        {FolderPath() + L"a.qdx.bak", false},
        {FolderPath() + L"qdx", false},
        {FolderPath() + L"CAMERA.QDX", true},
        {longName, true},  // kept whole, not cut at 259 characters
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.path));
        const std::wstring before = model->LocalFilePath();
        model->OnDropFiles({c.path, FolderPath() + L"second.qdx"});
        EXPECT_EQ(model->LocalFilePath(), c.taken ? c.path : before);
        if (c.taken) {
            EXPECT_EQ(view.status, c.path);
        }
    }
    EXPECT_TRUE(Enabled(MainButton::Update));
}

TEST_F(MainWindow, AChosenFileEnablesUpdateWhateverTheStatusLineSays) {
    // A file is dropped while a version check runs; the check then fails. The unit arrives:
    // the dropped file is what counts.
    HttpTestServer server;
    HttpRoute slowFailure = Route(404, PatternBytes(2000));
    slowFailure.pieceBytes = 500;
    slowFailure.pieceDelay = std::chrono::milliseconds(50);
    server.Serve("/version.txt", slowFailure);
    unit.plugged = false;
    StartWindow(VersionUrl(server.WideUrl("/version.txt")));
    view.status = L"something else";
    model->OnDropFiles({WriteSample()});
    ASSERT_TRUE(thread.PumpUntil([&] { return !model->VersionCheckActive(); }));
    EXPECT_EQ(model->OnlineVersion(), -1);
    EXPECT_EQ(view.status, (folder / "camera.qdx").wstring());  // the file stays shown
    unit.plugged = true;
    model->OnDeviceChange(DeviceEvent::Arrival, kClassIndexHid, kUnitPath);
    model->OnTimer(kTimerConnect);
    EXPECT_TRUE(Enabled(MainButton::Update));
}

// ---- Updating ----

TEST_F(MainWindow, ALocalFileIsWrittenAndTheButtonsComeBack) {
    StartWindow();
    UpdateFromFile();
    EXPECT_TRUE(model->LastOutcome().succeeded);
    EXPECT_EQ(prompts.Texts(Kind::kInformation),
              std::vector<std::wstring>{L"Update Successfully!"});
    EXPECT_TRUE(prompts.Texts(Kind::kError).empty());
    for (MainButton button : {MainButton::Open, MainButton::Update, MainButton::Setting}) {
        EXPECT_TRUE(Enabled(button));
    }
    EXPECT_EQ(view.enabledDuringRun, 0);
    EXPECT_EQ(model->Unit().transferWritten.load(), model->Unit().transferTotal.load());
    EXPECT_EQ(view.title, ConnectedTitle(model->Unit()));
    EXPECT_EQ(DatabaseDateText(model->Unit().databaseDate), kSampleVersion);
}

TEST_F(MainWindow, UpdateAsksOnlyWhenTheUnitIsAlreadyCurrent) {
    HttpTestServer server;
    const std::string versionFile = "20240501\r\n" + server.Url("/db.zip") + "\r\n";
    server.ServeText("/version.txt", versionFile);
    server.ServeBytes("/db.zip", PatternBytes(5000));
    archivers.updateFile = SampleUpdateFile();
    // The unit holds last year's database.
    StartWindow();
    view.fileToChoose = WriteSample("old.qdx", false, 2023);
    model->OnOpen();
    UpdateAndWait();
    ASSERT_TRUE(model->LastOutcome().succeeded);
    model.reset();
    StartWindow(VersionUrl(server.WideUrl("/version.txt")));
    ASSERT_TRUE(thread.PumpUntil([&] { return !model->VersionCheckActive(); }));

    // Older than the online version: no question.
    UpdateAndWait();
    EXPECT_TRUE(prompts.Texts(Kind::kQuestion).empty());
    ASSERT_TRUE(model->LastOutcome().succeeded) << WideToUtf8(model->LastOutcome().errorText);
    EXPECT_EQ(DatabaseDateText(model->Unit().databaseDate), kSampleVersion);
    EXPECT_EQ(view.title, ConnectedTitle(model->Unit()));

    // Now it holds the online version: asked, and No sends nothing.
    const std::size_t writes = BlocksWritten();
    prompts.answers = {false};
    model->OnUpdate();
    EXPECT_EQ(prompts.Texts(Kind::kQuestion),
              std::vector<std::wstring>{L"Already the newest version,Updated or Not?"});
    EXPECT_FALSE(model->RunActive());
    EXPECT_EQ(BlocksWritten(), writes);

    // A chosen file is sent without asking.
    view.fileToChoose = WriteSample();
    model->OnOpen();
    UpdateAndWait();
    EXPECT_EQ(prompts.Texts(Kind::kQuestion).size(), 1u);
    EXPECT_GT(BlocksWritten(), writes);
}

TEST_F(MainWindow, UpdateWithoutAUnitSaysSo) {
    unit.plugged = false;
    StartWindow();
    model->OnUpdate();
    EXPECT_EQ(prompts.Texts(Kind::kError), std::vector<std::wstring>{L"   No hardware connected!"});
    EXPECT_FALSE(model->RunActive());
}

TEST_F(MainWindow, TheProvinceQuestionIsAnsweredByTheChooser) {
    int asked = 0;
    chooseProvinces = [&](UpdateRunShared&) {
        ++asked;
        return 1;  // abandoned
    };
    StartWindow();
    view.fileToChoose = WriteSample("provinces.qdx", true);
    model->OnOpen();
    UpdateAndWait();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(model->LastOutcome().cancelled);
    EXPECT_TRUE(prompts.Texts(Kind::kError).empty());
    EXPECT_TRUE(prompts.Texts(Kind::kInformation).empty());
    EXPECT_TRUE(Enabled(MainButton::Update));
}

// ---- Faults the window must not have ----

TEST_F(MainWindow, OneRunAtATimeWhateverArrivesMeanwhile) {
    StartWindow();
    view.fileToChoose = WriteSample();
    model->OnOpen();
    unit.reportDelayMs = 2;
    model->OnUpdate();
    model->OnUpdate();  // a double click
    ASSERT_TRUE(thread.PumpUntil([&] { return model->Unit().transferWritten.load() > 0; }));
    // Everything that would turn buttons on: a drop, Open, a replug's refresh.
    model->OnDropFiles({WriteSample("dropped.qdx")});
    model->OnOpen();
    model->OnDeviceChange(DeviceEvent::Arrival, kClassIndexHid, kUnitPath);
    model->OnTimer(kTimerConnect);
    model->OnSetting();
    EXPECT_EQ(settingsRuns, 0);
    ASSERT_TRUE(thread.PumpUntil([&] { return !model->RunActive(); }));
    EXPECT_EQ(view.enabledDuringRun, 0);
    EXPECT_EQ(prompts.Texts(Kind::kInformation).size(), 1u);
    // The drop during the run was ignored; the replug's connect waited for the run's end.
    EXPECT_EQ(model->LocalFilePath(), (folder / "camera.qdx").wstring());
    EXPECT_TRUE(view.timers.count(kTimerConnect));
}

TEST_F(MainWindow, RemovalDuringARunStopsItAndTheUnitIsTakenBackWhenItReturns) {
    StartWindow();
    view.fileToChoose = WriteSample();
    model->OnOpen();
    unit.reportDelayMs = 2;
    model->OnUpdate();
    ASSERT_TRUE(thread.PumpUntil([&] { return model->Unit().transferWritten.load() > 0; }));
    model->OnDeviceChange(DeviceEvent::RemoveComplete, kClassIndexHid, kUnitPath);
    // The worker still holds the link: it is only told to stop.
    EXPECT_TRUE(model->Unit().Connected());
    unit.plugged = false;
    ASSERT_TRUE(thread.PumpUntil([&] { return !model->RunActive(); }));
    EXPECT_FALSE(model->LastOutcome().succeeded);
    EXPECT_EQ(prompts.Texts(Kind::kError), std::vector<std::wstring>{L"Update Failed!"});
    EXPECT_EQ(view.progressPosition, 0u);  // not a full bar beside the failure
    EXPECT_FALSE(model->Unit().Connected());
    EXPECT_EQ(view.title, L"Update Tool   No hardware connected!");

    unit.reportDelayMs = 0;
    unit.Replug();
    model->OnDeviceChange(DeviceEvent::Arrival, kClassIndexHid, kUnitPath);
    model->OnTimer(kTimerConnect);
    EXPECT_EQ(view.title, ConnectedTitle(model->Unit()));
    UpdateAndWait();
    EXPECT_TRUE(model->LastOutcome().succeeded);
}

TEST_F(MainWindow, ClosingWhileWritingAsksThenStopsAtAReportAndWaits) {
    StartWindow();
    view.fileToChoose = WriteSample();
    model->OnOpen();
    unit.reportDelayMs = 3;
    model->OnUpdate();
    ASSERT_TRUE(thread.PumpUntil([&] { return model->Unit().transferWritten.load() > 0; }));

    prompts.answers = {false};
    model->OnClose();
    EXPECT_EQ(prompts.Texts(Kind::kQuestion).back(), kQuestionCloseWhileWriting);
    EXPECT_FALSE(view.ended);
    EXPECT_TRUE(model->RunActive());

    prompts.answers = {true};
    model->OnClose();
    ASSERT_TRUE(thread.PumpUntil([&] { return view.ended; }));
    EXPECT_FALSE(model->RunActive());
    // Stopped early (a whole update writes four regions), and nothing was shown on the way
    // out.
    EXPECT_LT(BlocksWritten(), 4u);
    EXPECT_TRUE(prompts.Texts(Kind::kError).empty());
    EXPECT_TRUE(prompts.Texts(Kind::kInformation).empty());
    EXPECT_TRUE(unit.sim->Violations().empty());
}

TEST_F(MainWindow, ClosingStillClosesWhenTheRunEndsWhileTheQuestionIsUp) {
    StartWindow();
    view.fileToChoose = WriteSample();
    model->OnOpen();
    unit.reportDelayMs = 1;
    model->OnUpdate();
    ASSERT_TRUE(thread.PumpUntil([&] { return model->Unit().transferWritten.load() > 0; }));
    // The owner takes a while to answer: the run ends meanwhile (its messages are handled
    // while the question is up, as in a message box's own loop).
    prompts.onQuestion = [&](std::wstring_view) {
        ASSERT_TRUE(thread.PumpUntil([&] { return !model->RunActive(); }));
    };
    prompts.answers = {true};
    model->OnClose();
    EXPECT_TRUE(view.ended);
}

TEST_F(MainWindow, ClosingBeforeTheProvinceQuestionAbandonsTheUpdate) {
    int asked = 0;
    chooseProvinces = [&](UpdateRunShared&) {
        ++asked;
        return 0;
    };
    StartWindow();
    view.fileToChoose = WriteSample("provinces.qdx", true);
    model->OnOpen();
    model->OnUpdate();
    model->OnClose();  // nothing is being written yet: no question
    ASSERT_TRUE(thread.PumpUntil([&] { return view.ended; }));
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(prompts.Texts(Kind::kQuestion).empty());
    EXPECT_EQ(BlocksWritten(), 0u);
}

TEST_F(MainWindow, AStaleVersionCheckEndDoesNotTouchTheArchiveDownload) {
    HttpTestServer server;
    // The version file comes slowly, so Open can cancel it part-way.
    HttpRoute slowVersion = Route(200, PatternBytes(4000));
    slowVersion.pieceBytes = 100;
    slowVersion.pieceDelay = std::chrono::milliseconds(20);
    server.Serve("/version.txt", slowVersion);
    StartWindow(VersionUrl(server.WideUrl("/version.txt")));
    ASSERT_TRUE(model->VersionCheckActive());
    view.fileToChoose = WriteSample();
    model->OnOpen();  // cancels the check; its end arrives later
    ASSERT_TRUE(thread.PumpUntil([&] { return !model->VersionCheckActive(); }));
    EXPECT_TRUE(Enabled(MainButton::Open));
    EXPECT_EQ(model->LocalFilePath(), (folder / "camera.qdx").wstring());

    // An old transfer's end, arriving now, is not the current one's.
    model->Events().DownloadFinished(2, 12029);
    thread.PumpPending();
    EXPECT_EQ(view.status, (folder / "camera.qdx").wstring());
    UpdateAndWait();
    EXPECT_TRUE(model->LastOutcome().succeeded);
}

TEST_F(MainWindow, AFailedArchiveDownloadIsReportedOnce) {
    HttpTestServer server;
    server.Serve("/db.zip", Route(404));
    StartWindow(VersionUrl(server.WideUrl("/db.zip")));
    UpdateAndWait();
    EXPECT_FALSE(model->LastOutcome().succeeded);
    EXPECT_EQ(prompts.Texts(Kind::kError),
              std::vector<std::wstring>{L"Error! Please update by local file!"});
    EXPECT_TRUE(Enabled(MainButton::Update));
}

TEST_F(MainWindow, TheErasePhaseTextIsBuiltAfreshEachTick) {
    StartWindow();
    model->Dispatch(kWmTransferStart, 0, 1000);
    CGpsUnit& target = model->Unit();
    target.transferTotal = 1000;
    target.transferBusy = 1;
    for (int tick = 0; tick < 13; ++tick) model->OnTimer(kTimerProgress);
    EXPECT_EQ(view.progressText, L"updating   Time 2 Second");
    target.transferWritten = 375;
    for (int tick = 0; tick < 5; ++tick) model->OnTimer(kTimerProgress);
    EXPECT_EQ(view.progressText, L"Updated 37.50%   Time 3 Second");
    target.transferWritten = 5000;  // more than announced
    model->OnTimer(kTimerProgress);
    EXPECT_EQ(view.progressText, L"Updated 100.00%   Time 3 Second");
    target.transferBusy = 0;
}

TEST_F(MainWindow, ALongWriteKeepsOneProgressMessageWaiting) {
    StartWindow();
    view.fileToChoose = WriteSample();
    model->OnOpen();
    unit.reportDelayMs = 2;
    model->OnUpdate();
    ASSERT_TRUE(thread.PumpUntil([&] { return model->Unit().transferBusy.load() != 0; }));
    // The window is busy elsewhere while the unit takes a few hundred reports.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(thread.largestQueue, 2u);
    ASSERT_TRUE(thread.PumpUntil([&] { return !model->RunActive(); }));
    EXPECT_LE(thread.largestQueue, 2u);
    EXPECT_TRUE(model->LastOutcome().succeeded);
    EXPECT_EQ(model->Unit().transferWritten.load(), model->Unit().transferTotal.load());
}

TEST_F(MainWindow, AfterAFailedWriteTheTitleShowsWhatTheUnitHolds) {
    StartWindow();
    UpdateFromFile();
    ASSERT_TRUE(model->LastOutcome().succeeded);
    // The next file's write fails in the main region, after its newer database went in.
    unit.sim->Faults().refuseBlock = 0xDE000 / 256 + 2;
    view.fileToChoose = WriteSample("newer.qdx", false, 2025);
    model->OnOpen();
    UpdateAndWait();
    EXPECT_EQ(prompts.Texts(Kind::kError), std::vector<std::wstring>{L"Update Failed!"});
    CGpsUnit reader;
    reader.link.Attach(std::make_unique<BorrowedTransport>(*unit.sim), nullptr);
    reader.ResetUnitInfo();
    ASSERT_TRUE(reader.ReadUnitInfo());
    EXPECT_EQ(DatabaseDateText(reader.databaseDate), L"20250501");
    EXPECT_EQ(view.title, ConnectedTitle(reader));
}

TEST_F(MainWindow, TheWorkerIsJoinedByTheWindowEvenWhenItsEndIsNotPosted) {
    StartWindow();
    view.fileToChoose = WriteSample();
    model->OnOpen();
    thread.refusePosts = true;  // the worker's end is lost with the rest
    model->OnUpdate();
    // The window pumps what it is sent; timer 1 finds the ended worker.
    ASSERT_TRUE(thread.PumpUntil([&] {
        model->OnTimer(kTimerProgress);
        return !model->RunActive();
    }));
    thread.refusePosts = false;
    EXPECT_TRUE(model->LastOutcome().succeeded);
}

}  // namespace
}  // namespace kivrel::test

namespace kivrel::test {
namespace {

// Made with openssl (`ec -pubout` of a fresh P-256 key, `dgst -sha256 -sign` over the two
// lines and the announcement below).
constexpr std::string_view kVendorKey =
    "-----BEGIN PUBLIC KEY-----\n"
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAE2FHUaEjVgJ3vWcp8UEgwRSWE50ru\n"
    "8nzkNhjYWlDN7N1Zj2/NjRepA3luW3F0cEUu4loU3tyQzW6kMF13NE+EUg==\n"
    "-----END PUBLIC KEY-----\n";
constexpr std::string_view kSignedByVendor =
    "20240601\n"
    "http://db.kivrel.example/db/camera-db.zip\n"
    "sha256=9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08\n"
    "size=4\n"
    "signature=MEUCIQDRZF+/141gJgUbFQOyAB/HxglyIAUwe/tCNbnEdPYV6gIgAL/GQ0sqRiOsgojRhzX/WutHlV8+"
    "Gl5pSxKr4pHagRs=\n";
constexpr VendorSigningKey kVendorKeys[] = {{"Kivrel", kVendorKey}};

TEST_F(MainWindow, ClosingDuringAStalledArchiveDownloadEndsTheWindowWithinSeconds) {
    HttpTestServer server;
    HttpRoute stalling;
    stalling.body = PatternBytes(64 * 1024);
    stalling.pieceBytes = 1024;
    stalling.pieceDelay = std::chrono::seconds(60);  // the first piece, then nothing
    server.Serve("/db.zip", stalling);
    StartWindow(VersionUrl(server.WideUrl("/db.zip")));
    model->OnUpdate();
    ASSERT_TRUE(thread.PumpUntil([&] { return server.RequestCount("/db.zip") > 0; }));

    const auto start = std::chrono::steady_clock::now();
    model->OnClose();
    ASSERT_TRUE(thread.PumpUntil([&] { return view.ended; }));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(BlocksWritten(), 0u);
}

TEST_F(MainWindow, AVendorWithAKeyTakesOnlyVersionFilesItSigned) {
    vendor.signingKeys = kVendorKeys;
    struct Case {
        const char* name;
        std::string text;
        bool taken;
    };
    const Case cases[] = {
        {"signed", std::string(kSignedByVendor), true},
        {"unsigned", "20240601\r\nhttp://127.0.0.1:9/db.zip\r\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpTestServer server;
        server.ServeText("/version.txt", c.text);
        model.reset();
        StartWindow(VersionUrl(server.WideUrl("/version.txt")));
        ASSERT_TRUE(thread.PumpUntil([&] { return !model->VersionCheckActive(); }));
        if (c.taken) {
            EXPECT_EQ(view.status, L"Internet vesion:20240601");
            EXPECT_EQ(model->ArchiveUrl(), L"http://db.kivrel.example/db/camera-db.zip");
        } else {
            EXPECT_EQ(view.status.rfind(L"The database is not signed by Kivrel (", 0), 0u)
                << WideToUtf8(view.status);
            EXPECT_EQ(model->OnlineVersion(), -1);
            EXPECT_TRUE(model->ArchiveUrl().empty());
        }
    }
    // An address that names the archive itself has nothing signing it.
    model.reset();
    StartWindow(VersionUrl(L"http://127.0.0.1:9/db.zip"));
    EXPECT_EQ(view.status.rfind(L"The database is not signed by Kivrel (", 0), 0u);
    EXPECT_TRUE(model->ArchiveUrl().empty());
}

}  // namespace
}  // namespace kivrel::test
