// One whole update run: each way it can end must leave the unit, the files on disk and the
// user's view in the state the user is told about, and no failure may end in a success box.

#include "procedures/update_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "base/crypto.h"
#include "base/prompts.h"
#include "base/text.h"
#include "device/gps_unit.h"
#include "net/archive_check.h"
#include "net/http_download.h"
#include "package/package_writer.h"
#include "package/regional_database.h"
#include "package/sample_package.h"
#include "package/scrambler.h"
#include "package/vendor_config.h"
#include "tests/device/device_test_support.h"
#include "tests/support/http_test_server.h"
#include "tests/update/test_archives.h"
#include "update/archivers.h"
#include "update/staging_files.h"
#include "update/staging_paths.h"

namespace kivrel {
namespace {

namespace fs = std::filesystem;

struct RecordingPrompts : Prompts {
    std::vector<std::wstring> errors;
    std::vector<std::pair<std::wstring, std::wstring>> information;
    void ShowError(std::wstring_view text) override { errors.emplace_back(text); }
    void ShowInformation(std::wstring_view text, std::wstring_view caption) override {
        information.emplace_back(text, caption);
    }
    bool AskYesNo(std::wstring_view, std::wstring_view) override { return true; }
};

struct RecordingView : UpdateRunView {
    std::vector<bool> buttons;  // every EnableButtons call, in order
    std::vector<std::wstring> texts;
    std::vector<std::wstring> openedFolders;
    int transferRefreshes = 0;
    int finished = 0;
    void EnableButtons(bool enabled) override { buttons.push_back(enabled); }
    void SetProgressText(std::wstring_view text) override { texts.emplace_back(text); }
    void SetProgressPosition(std::uint32_t) override {}
    void ShowTransferProgress() override { ++transferRefreshes; }
    void OpenFolder(const std::wstring& folder) override { openedFolders.push_back(folder); }
    void RunFinished() override { ++finished; }
};

// Answers the province question like the window, and notes a failed archive download in the
// shared error text like the window's handler.
struct WindowLikeSink : test::RecordingSink {
    UpdateRunShared* shared = nullptr;
    int askProvincesResult = 0;
    int provinceQuestions = 0;
    std::optional<std::array<std::int32_t, kProvinceCount>> chosen;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> finishedDownloads;

    int AskProvinces() override {
        ++provinceQuestions;
        if (chosen) {
            shared->provinceMode = 1;
            shared->provinceFlags = *chosen;
        }
        return askProvincesResult;
    }
    void DownloadFinished(std::uint32_t result, std::uint32_t value) override {
        finishedDownloads.emplace_back(result, value);
        if (result != 0 && result != 6)
            shared->SetDownloadErrorText(std::wstring(kTextDownloadFailed));
    }
};

// "Unpacks" by copying a prepared file into the destination folder.
struct FakeArchivers : Archivers {
    bool installed = true;
    std::vector<std::uint8_t> updateFile;  // empty: the archive holds no update file
    std::wstring updateFileName = L"Camera.QDX";
    UpdateRunShared* closingOwner = nullptr;  // set: the owner starts closing during the unpack
    // Set: unpacks, then reports that it had to be ended or refused the archive.
    std::optional<std::uint32_t> endedWith;
    bool leavesLink = false;  // unpacks a link to a folder outside beside the update file
    int runs = 0;
    bool FindArchiver(const std::wstring& destination, const std::wstring& archive,
                      std::wstring& executable, std::wstring& arguments) override {
        if (!installed) return false;
        executable = L"fake";
        arguments = destination + L"|" + archive;
        return true;
    }
    bool RunArchiver(const std::wstring& arguments, const std::wstring&, std::uint32_t& exitCode,
                     const std::atomic<std::int32_t>&) override {
        ++runs;
        if (closingOwner != nullptr) closingOwner->stopRequested = 1;
        const fs::path destination(arguments.substr(0, arguments.find(L'|')));
        fs::create_directories(destination / "sub");
        if (!updateFile.empty()) {
            std::ofstream(destination / "sub" / updateFileName, std::ios::binary)
                .write(reinterpret_cast<const char*>(updateFile.data()),
                       static_cast<std::streamsize>(updateFile.size()));
        }
        std::ofstream(destination / "readme.txt") << "not an update file";
        if (leavesLink)
            fs::create_directory_symlink(fs::temp_directory_path(), destination / "out");
        if (endedWith) {
            exitCode = *endedWith;
            return false;
        }
        exitCode = 0;
        return true;
    }
};

std::vector<std::uint8_t> SampleFile(bool withProvinces = false) {
    SampleOptions options;
    options.sizes.modelCount = 0;
    options.sizes.recordsPerProvince = withProvinces ? 4 : 0;
    return WritePackage(MakeSamplePackage(options)).bytes;
}

std::string ToString(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}
std::vector<std::uint8_t> ToBytes(const std::string& text) {
    return {text.begin(), text.end()};
}

void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

class UpdateRun : public ::testing::Test {
protected:
    void SetUp() override {
        folder =
            fs::temp_directory_path() /
            ("kivrel-run-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        sink.shared = &shared;
        unit.unit.link.SetNotify(&sink);
        ASSERT_TRUE(unit.ConnectAndRead());
        unit.unit.link.SetNotify(&sink);
        (void)unit.NewCommands();
    }
    void TearDown() override { fs::remove_all(folder); }

    UpdateRunOutcome Run(Archivers* unpackWith = nullptr, FreeSpaceQuery freeSpace = nullptr) {
        UpdateRunServices services{unit.unit,
                                   downloader,
                                   unpackWith != nullptr ? *unpackWith : archivers,
                                   SystemStagingFiles(),
                                   sink,
                                   prompts,
                                   view,
                                   DefaultVendorConfig(),
                                   folder.wstring() + std::wstring(1, kPathSeparator)};
        services.afterDownload = std::chrono::milliseconds(0);
        services.afterArchiver = std::chrono::milliseconds(0);
        services.freeSpace = freeSpace;
        return UpdateWorker(shared, services);
    }

    bool UnitGotFinishUpdate() {
        for (const CommandFrame& c : unit.NewCommands()) {
            if (c.code == static_cast<std::uint8_t>(CommandCode::kFinishUpdate)) return true;
        }
        return false;
    }

    fs::path folder;
    UpdateRunShared shared;
    test::SimUnit unit;
    WindowLikeSink sink;
    RecordingPrompts prompts;
    RecordingView view;
    FakeArchivers archivers;
    CHttpDownload downloader;
};

TEST_F(UpdateRun, ALocalFileIsWrittenAndReportedAsSuccess) {
    WriteFile(folder / "camera.qdx", SampleFile());
    shared.localFilePath = (folder / "camera.qdx").wstring();
    const UpdateRunOutcome outcome = Run();

    EXPECT_TRUE(outcome.succeeded);
    ASSERT_EQ(prompts.information.size(), 1u);
    EXPECT_EQ(prompts.information[0].first, L"Update Successfully!");
    EXPECT_EQ(prompts.information[0].second, L"Update Tool");
    EXPECT_TRUE(prompts.errors.empty());
    EXPECT_EQ(view.buttons, (std::vector<bool>{false, true}));
    EXPECT_EQ(view.transferRefreshes, 1);
    EXPECT_EQ(view.finished, 1);
    EXPECT_TRUE(UnitGotFinishUpdate());
    // The dates read back are the file's.
    EXPECT_EQ(FormatDate(unit.unit.databaseDate), "2024-05-01 08:00:00");
    EXPECT_EQ(FormatDate(unit.unit.mainDate), "2024-05-01 08:00:00");
    EXPECT_TRUE(fs::exists(folder / "camera.qdx"));
}

TEST_F(UpdateRun, AFileThatDoesNotLoadIsReportedAndKept) {
    WriteFile(folder / "broken.qdx", std::vector<std::uint8_t>(1000, 0x42));
    shared.localFilePath = (folder / "broken.qdx").wstring();
    const UpdateRunOutcome outcome = Run();

    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(prompts.errors, std::vector<std::wstring>{L"Open update file failed!"});
    EXPECT_TRUE(prompts.information.empty());
    EXPECT_TRUE(fs::exists(folder / "broken.qdx"));
    EXPECT_TRUE(view.openedFolders.empty());
    EXPECT_FALSE(UnitGotFinishUpdate());
    EXPECT_EQ(view.texts.back(), L"");  // the bar is cleared before the box
}

TEST_F(UpdateRun, AFileWithNothingToSendIsRefusedBeforeTheUnitIsTouched) {
    // A model table whose only entry has no data: read, but nothing in it for the unit.
    PackageContents contents;
    contents.hasModelTable = true;
    contents.models.push_back({.modelId = 0x31305641, .data = {}});
    WriteFile(folder / "empty.qdx", WritePackage(contents).bytes);
    shared.localFilePath = (folder / "empty.qdx").wstring();
    const UpdateRunOutcome outcome = Run();

    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(prompts.errors, std::vector<std::wstring>{L"Open update file failed!"});
    EXPECT_TRUE(prompts.information.empty());
    EXPECT_TRUE(sink.starts.empty());
    EXPECT_FALSE(UnitGotFinishUpdate());
}

TEST_F(UpdateRun, NoFileAndNoAddressFails) {
    Run();
    EXPECT_EQ(prompts.errors, std::vector<std::wstring>{L"Open update file failed!"});
    EXPECT_EQ(view.finished, 1);
}

TEST_F(UpdateRun, AbandoningTheProvinceChoiceEndsQuietly) {
    WriteFile(folder / "camera.qdx", SampleFile(true));
    shared.localFilePath = (folder / "camera.qdx").wstring();
    sink.askProvincesResult = 1;
    const UpdateRunOutcome outcome = Run();

    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(sink.provinceQuestions, 1);
    EXPECT_TRUE(prompts.errors.empty());
    EXPECT_TRUE(prompts.information.empty());
    EXPECT_EQ(view.buttons, (std::vector<bool>{false, true}));
    EXPECT_EQ(view.finished, 1);
    EXPECT_TRUE(sink.starts.empty());  // nothing was sent
}

TEST_F(UpdateRun, ChosenProvincesSendTheRegionalDatabaseAndMainImage) {
    const PackageContents contents = [] {
        SampleOptions options;
        options.sizes.modelCount = 0;
        options.sizes.recordsPerProvince = 4;
        return MakeSamplePackage(options);
    }();
    WriteFile(folder / "camera.qdx", WritePackage(contents).bytes);
    shared.localFilePath = (folder / "camera.qdx").wstring();
    std::array<std::int32_t, kProvinceCount> flags{};
    flags[0] = flags[27] = 1;
    sink.chosen = flags;
    ASSERT_TRUE(Run().succeeded);

    // The unit's main region holds the regional main image, decoded as the unit keeps it.
    std::vector<std::uint8_t> expected = contents.regionalMain;
    EXPECT_EQ(unit.Bytes(kBank1, kFixedMainAddress, expected.size()), expected);
    // The database region holds a block of 8 + 2 x 4 x 12 bytes, stored plain.
    const auto database = unit.Bytes(kBank1, kFixedDatabaseAddress, 8);
    EXPECT_EQ(database[4], 8);  // the record count
}

TEST_F(UpdateRun, AFailedWriteIsReportedAndNeverFollowedBySuccess) {
    WriteFile(folder / "camera.qdx", SampleFile());
    shared.localFilePath = (folder / "camera.qdx").wstring();
    unit.sim->Faults().refuseBlock = kFixedDatabaseAddress / 256;
    const UpdateRunOutcome outcome = Run();

    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(prompts.errors, std::vector<std::wstring>{L"Update Failed!"});
    EXPECT_TRUE(prompts.information.empty());
    EXPECT_FALSE(UnitGotFinishUpdate());
}

TEST_F(UpdateRun, NothingIsShownWhileTheOwnerIsClosing) {
    shared.stopRequested = 1;
    Run();
    EXPECT_TRUE(prompts.errors.empty());
    EXPECT_EQ(view.buttons, std::vector<bool>{false});  // left disabled
    EXPECT_EQ(view.finished, 1);
}

class DownloadRun : public UpdateRun {
protected:
    void Serve(const std::string& path, std::vector<std::uint8_t> bytes) {
        server.ServeBytes(path, std::move(bytes));
        shared.archiveUrl = server.WideUrl(path);
    }
    fs::path Staging(const std::string& baseName) { return folder / baseName; }

    test::HttpTestServer server;
};

TEST_F(DownloadRun, AnArchiveIsDownloadedUnpackedWrittenAndItsUnpackedFilesRemoved) {
    archivers.updateFile = SampleFile();
    Serve("/db/camera-2024.zip", test::PatternBytes(5000));
    const UpdateRunOutcome outcome = Run();

    EXPECT_TRUE(outcome.succeeded) << WideToUtf8(outcome.errorText);
    EXPECT_EQ(archivers.runs, 1);
    EXPECT_EQ(view.texts.front(), L"Decompressing database\u2026");
    // The archive stays; what was unpacked goes.
    EXPECT_EQ(fs::file_size(Staging("camera-2024") / "camera-2024.zip"), 5000u);
    EXPECT_FALSE(fs::exists(Staging("camera-2024") / "TmpTmp"));
    EXPECT_TRUE(UnitGotFinishUpdate());
}

TEST_F(DownloadRun, ThisPlatformsArchiversUnpackARealArchive) {
    const std::vector<std::uint8_t> update = SampleFile();
    Serve("/db/camera-2024.zip",
          ToBytes(test::WriteArchive("zip", {test::File("readme.txt", "read me"),
                                             test::File("数据/Camera.QDX", ToString(update))})));
    const auto system = MakeSystemArchivers();
    const UpdateRunOutcome outcome = Run(system.get());

    EXPECT_TRUE(outcome.succeeded) << WideToUtf8(outcome.errorText);
    EXPECT_FALSE(fs::exists(Staging("camera-2024") / "TmpTmp"));
    EXPECT_TRUE(UnitGotFinishUpdate());
}

TEST_F(DownloadRun, AnUpperCaseRarIsNotUnpackedAndTheStagingFolderIsShown) {
    Serve("/db/camera.RAR", test::PatternBytes(100));
    Run();
    EXPECT_EQ(prompts.errors, std::vector<std::wstring>{L"Can not Find Update File!"});
    EXPECT_EQ(archivers.runs, 0);
    ASSERT_EQ(view.openedFolders.size(), 1u);
    EXPECT_EQ(fs::path(view.openedFolders[0]), Staging("camera"));
}

TEST_F(DownloadRun, NoArchiverIsReportedWithTheStagingFolder) {
    archivers.installed = false;
    Serve("/db/camera.7z", test::PatternBytes(100));
    Run();
    EXPECT_EQ(prompts.errors, std::vector<std::wstring>{std::wstring(kTextNoArchiver)});
    ASSERT_EQ(view.openedFolders.size(), 1u);
    EXPECT_EQ(fs::path(view.openedFolders[0]), Staging("camera"));
}

TEST_F(DownloadRun, AnArchiveWithoutAnUpdateFileIsReportedAndItsFilesRemoved) {
    Serve("/db/camera.zip", test::PatternBytes(100));
    Run();
    EXPECT_EQ(prompts.errors, std::vector<std::wstring>{L"Can not Find Update File!"});
    EXPECT_FALSE(fs::exists(Staging("camera") / "TmpTmp"));
}

TEST_F(DownloadRun, ClosingDuringTheUnpackEndsTheRunQuietlyWithoutWritingTheUnit) {
    archivers.updateFile = SampleFile();
    archivers.closingOwner = &shared;
    Serve("/db/camera.zip", test::PatternBytes(100));
    const UpdateRunOutcome outcome = Run();

    EXPECT_FALSE(outcome.succeeded);
    EXPECT_TRUE(prompts.errors.empty());
    EXPECT_TRUE(prompts.information.empty());
    EXPECT_TRUE(view.openedFolders.empty());
    EXPECT_EQ(view.finished, 1);
    EXPECT_TRUE(sink.starts.empty());  // nothing was sent to the unit
    EXPECT_FALSE(fs::exists(Staging("camera") / "TmpTmp"));
}

TEST_F(DownloadRun, FilesLeftInTheExtractFolderByAnEarlierRunAreNotTaken) {
    // A run that never reached its end (the tool was ended) left an update file behind.
    fs::create_directories(Staging("camera") / "TmpTmp" / "old");
    WriteFile(Staging("camera") / "TmpTmp" / "old" / "stale.qdx", SampleFile());
    Serve("/db/camera.zip", test::PatternBytes(100));  // unpacks to no update file
    Run();
    EXPECT_EQ(prompts.errors, std::vector<std::wstring>{L"Can not Find Update File!"});
    EXPECT_TRUE(sink.starts.empty());
}

TEST_F(DownloadRun, ADownloadedFileThatDoesNotLoadIsDeletedWithItsArchive) {
    archivers.updateFile = std::vector<std::uint8_t>(2000, 0x17);
    Serve("/db/camera.zip", test::PatternBytes(100));
    Run();
    EXPECT_EQ(prompts.errors, std::vector<std::wstring>{L"Open update file failed!"});
    EXPECT_FALSE(fs::exists(Staging("camera") / "camera.zip"));
    EXPECT_FALSE(fs::exists(Staging("camera") / "TmpTmp"));
}

TEST_F(DownloadRun, AFailedDownloadLeavesTheUnitUntouched) {
    shared.archiveUrl = server.WideUrl("/missing.zip");
    Run();
    EXPECT_EQ(prompts.errors, std::vector<std::wstring>{L"Error! Please update by local file!"});
    ASSERT_EQ(sink.finishedDownloads.size(), 1u);
    EXPECT_EQ(sink.finishedDownloads[0], (std::pair<std::uint32_t, std::uint32_t>{5, 404}));
    EXPECT_TRUE(sink.starts.empty());
    EXPECT_EQ(archivers.runs, 0);
}

TEST_F(DownloadRun, ARefusedLoginFailsAndNeverTurnsAKeptPartIntoTheArchive) {
    test::HttpRoute route;
    route.body = test::PatternBytes(60 * 1024);
    route.etag = "\"db-1\"";
    route.dropAfterBytes = 20 * 1024;
    server.Serve("/db/camera.zip", route);
    shared.archiveUrl = server.WideUrl("/db/camera.zip");
    Run();
    ASSERT_EQ(fs::file_size(Staging("camera") / "camera.zip.part"), 20u * 1024);

    route.dropAfterBytes.reset();
    route.user = "kivrel";
    route.password = "s3cret";
    server.Serve("/db/camera.zip", route);
    prompts.errors.clear();
    sink.finishedDownloads.clear();
    const UpdateRunOutcome outcome = Run();

    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(prompts.errors, std::vector<std::wstring>{L"Error! Please update by local file!"});
    EXPECT_EQ(sink.finishedDownloads,
              (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{5, 401}}));
    EXPECT_FALSE(fs::exists(Staging("camera") / "camera.zip"));
    EXPECT_EQ(archivers.runs, 0);
    EXPECT_TRUE(sink.starts.empty());
}

TEST_F(DownloadRun, AnArchiveNameThatWouldLeaveTheStagingFolderIsRefused) {
    for (const char* path : {"/db/..", "/db/", "/db/con.zip"}) {
        SCOPED_TRACE(path);
        prompts.errors.clear();
        Serve(path, test::PatternBytes(10));
        Run();
        ASSERT_EQ(prompts.errors.size(), 1u);
        EXPECT_NE(prompts.errors[0].find(L"refused"), std::wstring::npos);
    }
    EXPECT_EQ(server.Requests().size(), 0u);
}

}  // namespace
}  // namespace kivrel

namespace kivrel {
namespace {

TEST_F(DownloadRun, WhatAnArchiverLeftIsNotUsedWhenItWasEndedRefusedOrLeftALink) {
    struct Case {
        const char* name;
        std::optional<std::uint32_t> endedWith;
        bool leavesLink;
        std::wstring_view error;
    };
    const Case cases[] = {
        {"ended by the time limit", kArchiverEnded, false, kTextArchiverTimedOut},
        {"its entries refused", kArchiverRefused, false, kTextArchiveUnsafe},
        {"a link among its files", std::nullopt, true, kTextArchiveUnsafe},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.errors.clear();
        view.openedFolders.clear();
        archivers.updateFile = SampleFile();
        archivers.endedWith = c.endedWith;
        archivers.leavesLink = c.leavesLink;
        Serve("/db/camera.zip", test::PatternBytes(100));
        const UpdateRunOutcome outcome = Run();
        EXPECT_FALSE(outcome.succeeded);
        // The update file it did unpack is never searched for, let alone sent.
        EXPECT_EQ(prompts.errors, std::vector<std::wstring>{std::wstring(c.error)});
        EXPECT_TRUE(sink.starts.empty());
        EXPECT_EQ(view.openedFolders, std::vector<std::wstring>{Staging("camera").wstring()});
        EXPECT_FALSE(fs::exists(Staging("camera") / "TmpTmp"));
        EXPECT_TRUE(fs::exists(fs::temp_directory_path()));  // the link's target is left alone
    }
}

TEST_F(DownloadRun, TheArchiveMustBeTheOneItsVersionFileAnnounced) {
    const auto archive = test::PatternBytes(5000, 4);
    const Sha256Digest digest = *Sha256Of(archive);
    Sha256Digest otherDigest = digest;
    otherDigest[0] ^= 1;
    struct Case {
        const char* name;
        ArchiveAnnouncement announced;
        bool succeeds;
    };
    const Case cases[] = {
        {"its size and sha256", {digest, 5000}, true},
        {"its sha256 alone", {digest, std::nullopt}, true},
        {"another sha256", {otherDigest, 5000}, false},
        {"a smaller size", {digest, 4999}, false},  // cut off at the announced size
        {"a larger size", {digest, 5001}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.errors.clear();
        sink.starts.clear();
        archivers.runs = 0;
        archivers.updateFile = SampleFile();
        shared.announcedArchive = c.announced;
        Serve("/db/camera.zip", archive);
        const UpdateRunOutcome outcome = Run();
        EXPECT_EQ(outcome.succeeded, c.succeeds) << WideToUtf8(outcome.errorText);
        if (c.succeeds) continue;
        EXPECT_EQ(prompts.errors, std::vector<std::wstring>{std::wstring(kTextNotAnnounced)});
        EXPECT_FALSE(outcome.errorCause.empty());
        EXPECT_EQ(archivers.runs, 0) << "nothing is unpacked";
        EXPECT_TRUE(sink.starts.empty());
        EXPECT_FALSE(fs::exists(Staging("camera") / "camera.zip"));
    }
}

TEST_F(DownloadRun, ADiskWithoutRoomForTheArchiveSaysSoAndKeepsNothing) {
    Serve("/db/camera.zip", test::PatternBytes(5000));
    const UpdateRunOutcome outcome =
        Run(nullptr, [](const std::wstring&) { return std::optional<std::uint64_t>(10000); });
    EXPECT_EQ(prompts.errors, std::vector<std::wstring>{std::wstring(kTextDiskFull)});
    ASSERT_EQ(sink.finishedDownloads.size(), 1u);
    EXPECT_EQ(sink.finishedDownloads[0].first, 3u);  // the result the window has always had
    EXPECT_EQ(archivers.runs, 0);
    EXPECT_TRUE(fs::is_empty(Staging("camera")));  // no part, no record
}

}  // namespace
}  // namespace kivrel
