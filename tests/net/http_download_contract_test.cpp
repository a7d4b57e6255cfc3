// What every HTTP backend of the downloader must do against a real server: the same suite runs
// against libcurl natively and against WinInet under Wine. The risks are a wrong or missing
// finished message, a corrupted or lost file, and a resume that splices the wrong bytes.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "net/archive_check.h"
#include "net/http_download.h"
#include "net/partial_download.h"
#include "tests/net/download_test_support.h"
#include "tests/support/http_test_server.h"
#include "tests/support/test_socket.h"

namespace kivrel {
namespace {

using namespace std::chrono_literals;
using test::HttpRoute;
using test::PatternBytes;

constexpr auto kPatience = 20s;  // a bound on waiting, never a speed expectation

// How each library reports what the downloader's bounds end.
#ifdef _WIN32
constexpr std::uint32_t kTimedOut = 12002;          // ERROR_INTERNET_TIMEOUT
constexpr std::uint32_t kTooLarge = 223;            // ERROR_FILE_TOO_LARGE
constexpr std::uint32_t kTooManyRedirects = 12156;  // ERROR_HTTP_REDIRECT_FAILED
#else
constexpr std::uint32_t kTimedOut = 28;          // CURLE_OPERATION_TIMEDOUT
constexpr std::uint32_t kTooLarge = 63;          // CURLE_FILESIZE_EXCEEDED
constexpr std::uint32_t kTooManyRedirects = 47;  // CURLE_TOO_MANY_REDIRECTS
#endif

class DownloadContract : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Started()); }

    // Plain GET, direct, no credentials, as the program's own callers make it.
    void Prepare(const std::wstring& url, const std::wstring& file, std::uint32_t offset = 0,
                 int failIfExists = 0) {
        downloader.SetParameters(&sink, url, file, L"", L"", L"", L"", L"", 1, failIfExists, 0, 0,
                                 0.0, offset);
    }

    // Runs on the caller's thread; the transfer must report exactly one end.
    test::Finished Run() {
        EXPECT_EQ(downloader.Start(true), L"");
        const auto finished = sink.FinishedMessages();
        EXPECT_EQ(finished.size(), 1u);
        return finished.empty() ? test::Finished{99, 99} : finished.front();
    }

    test::HttpTestServer server;
    test::RecordingDownloadSink sink;
    test::ScratchFolder folder;
    CHttpDownload downloader;
};

TEST_F(DownloadContract, FetchesAFileWithItsLengthAndCountsUpTo100Percent) {
    const auto body = PatternBytes(300 * 1024);
    server.ServeBytes("/db.zip", body);
    const std::wstring file = folder.File("db.zip");
    Prepare(server.WideUrl("/db.zip"), file);

    const test::Finished end = Run();

    EXPECT_EQ(end.result, 0u);
    EXPECT_EQ(end.value, 0u);
    EXPECT_EQ(test::ReadAll(file), body);
    ASSERT_EQ(sink.SizeMessages().size(), 1u);
    EXPECT_EQ(sink.SizeMessages()[0].contentLength, body.size());
    EXPECT_EQ(sink.SizeMessages()[0].resumeOffset, 0u);
    const auto percents = sink.PercentMessages();
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), 100u);
    for (std::size_t i = 1; i < percents.size(); ++i) EXPECT_GT(percents[i], percents[i - 1]);
    EXPECT_EQ(downloader.Result().code, 0u);
    EXPECT_TRUE(downloader.Finished());
}

TEST_F(DownloadContract, ALargeFileArrivesByteForByte) {
    // Large enough for the client library to deliver more at once than it is read.
    const auto body = PatternBytes(12 * 1024 * 1024 + 123, 7);
    server.ServeBytes("/big.zip", body);
    const std::wstring file = folder.File("big.zip");
    Prepare(server.WideUrl("/big.zip"), file);

    EXPECT_EQ(Run().result, 0u);

    EXPECT_TRUE(test::ReadAll(file) == body);
}

TEST_F(DownloadContract, WithoutContentLengthReportsSize0AndNoPercentages) {
    HttpRoute route;
    route.body = PatternBytes(200 * 1024);
    route.sendContentLength = false;
    server.Serve("/version.txt", route);
    const std::wstring file = folder.File("Tmp");
    Prepare(server.WideUrl("/version.txt"), file);

    EXPECT_EQ(Run().result, 0u);

    EXPECT_EQ(test::ReadAll(file), route.body);
    ASSERT_EQ(sink.SizeMessages().size(), 1u);
    EXPECT_EQ(sink.SizeMessages()[0].contentLength, 0u);
    EXPECT_TRUE(sink.PercentMessages().empty());
}

TEST_F(DownloadContract, ResumesWithRangeKeepingTheFirstBytesOfTheFile) {
    const auto body = PatternBytes(64 * 1024);
    server.ServeBytes("/db.zip", body);
    const std::wstring file = folder.File("db.zip");
    // The first 1000 bytes are the file's; what lies past them is to be replaced.
    std::vector<std::uint8_t> existing(body.begin(), body.begin() + 1000);
    existing.resize(1500, 0xEE);
    test::WriteAll(file, existing);
    Prepare(server.WideUrl("/db.zip"), file, 1000);

    EXPECT_EQ(Run().result, 0u);

    EXPECT_EQ(test::ReadAll(file), body);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Header("Range"), "bytes=1000-");
    ASSERT_EQ(sink.SizeMessages().size(), 1u);
    EXPECT_EQ(sink.SizeMessages()[0].contentLength, body.size() - 1000);
    EXPECT_EQ(sink.SizeMessages()[0].resumeOffset, 1000u);
    EXPECT_EQ(sink.PercentMessages().back(), 100u);
}

TEST_F(DownloadContract, AServerThatIgnoresRangeGetsTheFileWrittenFromTheStart) {
    HttpRoute route;
    route.body = PatternBytes(20000);
    route.honourRanges = false;
    server.Serve("/db.zip", route);
    const std::wstring file = folder.File("db.zip");
    test::WriteAll(file, std::vector<std::uint8_t>(route.body.begin(), route.body.begin() + 1000));
    Prepare(server.WideUrl("/db.zip"), file, 1000);

    EXPECT_EQ(Run().result, 0u);

    EXPECT_EQ(test::ReadAll(file), route.body);
    EXPECT_EQ(sink.SizeMessages().at(0).resumeOffset, 0u);
}

TEST_F(DownloadContract, NotFoundEndsWith5And404AndLeavesNoFile) {
    const std::wstring file = folder.File("missing.zip");
    Prepare(server.WideUrl("/missing.zip"), file);

    const test::Finished end = Run();

    EXPECT_EQ(end.result, 5u);
    EXPECT_EQ(end.value, 404u);
    EXPECT_FALSE(test::Exists(file));
}

TEST_F(DownloadContract, ServerCredentialsAreSentWhenAskedFor) {
    struct Case {
        const char* name;
        std::wstring user;
        std::wstring password;
        bool getsFile;
    };
    const Case cases[] = {
        {"no credentials", L"", L"", false},
        {"right credentials", L"kivrel", L"s3cret", true},
        {"wrong credentials: sent again at most once", L"kivrel", L"wrong", false},
    };
    HttpRoute route;
    route.body = PatternBytes(5000);
    route.user = "kivrel";
    route.password = "s3cret";
    server.Serve("/db.zip", route);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::RecordingDownloadSink caseSink;
        const std::wstring file = folder.File("db.zip");
        downloader.SetParameters(&caseSink, server.WideUrl("/db.zip"), file, L"", L"", L"", c.user,
                                 c.password, 1, 0, 0, 0, 0.0, 0);
        ASSERT_EQ(downloader.Start(true), L"");
        const auto finished = caseSink.FinishedMessages();
        ASSERT_EQ(finished.size(), 1u);
        // A refused login is a failed download: no file, not an empty one.
        EXPECT_EQ(finished[0].result, c.getsFile ? 0u : 5u);
        EXPECT_EQ(finished[0].value, c.getsFile ? 0u : 401u);
        if (c.getsFile) {
            EXPECT_EQ(test::ReadAll(file), route.body);
        }
        EXPECT_EQ(test::Exists(file), c.getsFile);
    }
    // The libraries may probe once before answering a challenge; what matters is an end.
    EXPECT_LE(server.RequestCount("/db.zip"), 2u + 3u + 5u);
}

TEST_F(DownloadContract, ProxyCredentialsAreSentWhenTheProxyAsksForThem) {
    HttpRoute route;
    route.body = PatternBytes(5000);
    route.proxyUser = "proxy";
    route.proxyPassword = "pass";
    server.Serve("/db.zip", route);
    const std::wstring url = L"http://update.kivrel.example/db.zip";
    for (const bool withCredentials : {false, true}) {
        SCOPED_TRACE(withCredentials ? "with proxy credentials" : "without");
        test::RecordingDownloadSink caseSink;
        const std::wstring file = folder.File("db.zip");
        downloader.SetParameters(&caseSink, url, file, test::Widen(server.HostPort()),
                                 withCredentials ? L"proxy" : L"", withCredentials ? L"pass" : L"",
                                 L"", L"", 2, 0, 0, 0, 0.0, 0);
        ASSERT_EQ(downloader.Start(true), L"");
        const auto finished = caseSink.FinishedMessages();
        ASSERT_EQ(finished.size(), 1u);
        EXPECT_EQ(finished[0].result, withCredentials ? 0u : 5u);
        EXPECT_EQ(finished[0].value, withCredentials ? 0u : 407u);
        if (withCredentials) {
            EXPECT_EQ(test::ReadAll(file), route.body);
        }
        EXPECT_EQ(test::Exists(file), withCredentials);
    }
}

TEST_F(DownloadContract, AnExistingFileIsKeptWhenFailIfExistsIsSet) {
    server.ServeText("/db.zip", "new");
    const std::wstring file = folder.File("db.zip");
    test::WriteAll(file, {'o', 'l', 'd'});
    Prepare(server.WideUrl("/db.zip"), file, 0, 1);

    EXPECT_EQ(downloader.Start(true), L"The file '" + file + L"' already exists.");

    EXPECT_TRUE(sink.FinishedMessages().empty());
    EXPECT_TRUE(sink.SizeMessages().empty());
    EXPECT_EQ(test::ReadAll(file), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(server.Requests().size(), 0u);
}

TEST_F(DownloadContract, AnAddressWithoutASchemeIsRetriedWithHttp) {
    const std::string text = "20160305\r\nhttp://example/db.zip\r\n";
    server.ServeText("/version.txt", text);
    const std::wstring file = folder.File("Tmp");
    const std::wstring bare = test::Widen(server.HostPort() + "/version.txt");
    Prepare(bare, file);

    EXPECT_EQ(Run().result, 0u);

    EXPECT_EQ(downloader.Url(), L"http://" + bare);
    EXPECT_EQ(test::ReadAll(file), std::vector<std::uint8_t>(text.begin(), text.end()));
}

TEST_F(DownloadContract, AnAddressThatCannotBeParsedIsRefusedByStart) {
    const std::wstring file = folder.File("Tmp");
    Prepare(L"ftp://host/file", file);

    EXPECT_EQ(downloader.Start(true), L"Failed to parse the URL: http://ftp://host/file\n");

    EXPECT_TRUE(sink.FinishedMessages().empty());
    EXPECT_FALSE(test::Exists(file));
}

TEST_F(DownloadContract, CancelDuringTheBodyEndsWith6AndKeepsThePartialFile) {
    HttpRoute route;
    route.body = PatternBytes(400 * 1024);
    route.pieceBytes = 1024;
    route.pieceDelay = 10ms;
    server.Serve("/db.zip", route);
    const std::wstring file = folder.File("db.zip");
    Prepare(server.WideUrl("/db.zip"), file);

    ASSERT_EQ(downloader.Start(false), L"");
    ASSERT_TRUE(sink.WaitForProgress(kPatience));
    downloader.Cancel();

    const auto finished = sink.FinishedMessages();
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].result, 6u);
    EXPECT_EQ(finished[0].value, 0u);
    const auto kept = test::ReadAll(file);
    EXPECT_GT(kept.size(), 0u);
    EXPECT_LT(kept.size(), route.body.size());
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), route.body.begin()));
}

TEST_F(DownloadContract, CancelEndsAStalledTransferWithinTheWait) {
    HttpRoute route;
    route.body = PatternBytes(64 * 1024);
    route.pieceBytes = 1024;
    route.pieceDelay = 60s;  // the first piece, then nothing
    server.Serve("/db.zip", route);
    const std::wstring file = folder.File("db.zip");
    Prepare(server.WideUrl("/db.zip"), file);
    ASSERT_EQ(downloader.Start(false), L"");
    ASSERT_TRUE(sink.WaitForProgress(kPatience));

    const auto start = std::chrono::steady_clock::now();
    downloader.Cancel();

    // The transfer noticed the flag itself: no thread was left behind or killed.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4000ms);
    const auto finished = sink.FinishedMessages();
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].result, 6u);
    EXPECT_EQ(test::ReadAll(file).size(), 1024u);
}

TEST_F(DownloadContract, AStalledDownloadOnTheCallersThreadStopsSoonAfterACancel) {
    // As when the window closes while the update worker downloads the archive.
    HttpRoute route;
    route.body = PatternBytes(64 * 1024);
    route.pieceBytes = 1024;
    route.pieceDelay = 60s;
    server.Serve("/db.zip", route);
    Prepare(server.WideUrl("/db.zip"), folder.File("db.zip"));
    std::thread worker([this] { EXPECT_EQ(downloader.Start(true), L""); });
    ASSERT_TRUE(sink.WaitForProgress(kPatience));

    const auto start = std::chrono::steady_clock::now();
    downloader.RequestCancel();
    worker.join();
    const auto took = std::chrono::steady_clock::now() - start;

    EXPECT_LT(took, 5s);
    RecordProperty(
        "stalled_cancel_ms",
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    ASSERT_EQ(sink.FinishedMessages().size(), 1u);
    EXPECT_EQ(sink.FinishedMessages()[0].result, 6u);
}

TEST_F(DownloadContract, AServerThatStallsOrTricklesIsGivenUpAtItsBound) {
    HttpRoute stalling;
    stalling.body = PatternBytes(64 * 1024);
    stalling.pieceBytes = 1024;
    stalling.pieceDelay = 60s;
    server.Serve("/stalls.zip", stalling);
    HttpRoute trickling;
    trickling.body = PatternBytes(4 * 1024);
    trickling.pieceBytes = 16;
    trickling.pieceDelay = 50ms;
    server.Serve("/version.txt", trickling);
    // Takes the connection and never answers.
    std::uint16_t silentPort = 0;
    const test::TestSocket silent = test::TestSocket::ListenOnLoopback(silentPort);
    ASSERT_TRUE(silent.Valid());
    const std::wstring silentUrl =
        L"http://127.0.0.1:" + std::to_wstring(silentPort) + L"/version.txt";

    struct Case {
        const char* name;
        std::wstring url;
        TransferBounds bounds;
        std::uint32_t result;
    };
    const Case cases[] = {
        {"nothing more after the first piece",
         server.WideUrl("/stalls.zip"),
         {0ms, 1s, kMaxDownloadBytes, 0},
         3},
        {"a trickle past the whole-transfer bound",
         server.WideUrl("/version.txt"),
         {1s, 60s, kMaxDownloadBytes, 0},
         3},
        {"no answer at all", silentUrl, {0ms, 1s, kMaxDownloadBytes, 0}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::RecordingDownloadSink caseSink;
        const std::wstring file = folder.File("bounded");
        downloader.SetParameters(&caseSink, c.url, file, L"", L"", L"", L"", L"", 1, 0, 0, 0, 0.0,
                                 0);
        downloader.SetBounds(c.bounds);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(downloader.Start(true), L"");
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        const auto finished = caseSink.FinishedMessages();
        ASSERT_EQ(finished.size(), 1u);
        EXPECT_EQ(finished[0].result, c.result);
        EXPECT_EQ(finished[0].value, kTimedOut);
        EXPECT_EQ(downloader.Stop(), TransferStop::kTimedOut);
        EXPECT_FALSE(test::Exists(file));
    }
}

TEST_F(DownloadContract, ALengthPastTheCapIsRefusedBeforeTheBody) {
    HttpRoute huge;
    huge.body = PatternBytes(70 * 1024);
    huge.sendContentLength = false;
    huge.extraHeaders = {{"Content-Length", "9223372036854775807"}};
    server.Serve("/huge.txt", huge);
    server.ServeBytes("/long.txt", PatternBytes(70 * 1024));
    for (const char* path : {"/huge.txt", "/long.txt"}) {
        SCOPED_TRACE(path);
        test::RecordingDownloadSink caseSink;
        const std::wstring file = folder.File("Tmp");
        downloader.SetParameters(&caseSink, server.WideUrl(path), file, L"", L"", L"", L"", L"", 1,
                                 0, 0, 0, 0.0, 0);
        downloader.SetBounds(kVersionFileBounds);
        ASSERT_EQ(downloader.Start(true), L"");
        ASSERT_EQ(caseSink.FinishedMessages().size(), 1u);
        EXPECT_EQ(caseSink.FinishedMessages()[0].result, 3u);
        EXPECT_EQ(caseSink.FinishedMessages()[0].value, kTooLarge);
        EXPECT_TRUE(caseSink.SizeMessages().empty());  // not a byte of the body was taken
        EXPECT_EQ(downloader.Stop(), TransferStop::kTooLarge);
        EXPECT_FALSE(test::Exists(file));
    }
}

TEST_F(DownloadContract, RedirectsAreFollowedAndTheirChainIsBounded) {
    const auto body = PatternBytes(10 * 1024, 9);
    server.ServeBytes("/db/camera.zip", body);
    HttpRoute moved;
    moved.status = 302;
    moved.extraHeaders = {{"Location", "/db/camera.zip"}};
    server.Serve("/moved.zip", moved);
    HttpRoute relative;
    relative.status = 301;
    relative.extraHeaders = {{"Location", "camera.zip"}};
    server.Serve("/db/old.zip", relative);
    HttpRoute loop;
    loop.status = 302;
    loop.extraHeaders = {{"Location", server.Url("/loop.zip")}};
    server.Serve("/loop.zip", loop);

    for (const char* path : {"/moved.zip", "/db/old.zip"}) {
        SCOPED_TRACE(path);
        test::RecordingDownloadSink caseSink;
        const std::wstring file = folder.File("db.zip");
        downloader.SetParameters(&caseSink, server.WideUrl(path), file, L"", L"", L"", L"", L"", 1,
                                 0, 0, 0, 0.0, 0);
        ASSERT_EQ(downloader.Start(true), L"");
        ASSERT_EQ(caseSink.FinishedMessages().size(), 1u);
        EXPECT_EQ(caseSink.FinishedMessages()[0].result, 0u);
        EXPECT_EQ(test::ReadAll(file), body);
    }
    const std::wstring file = folder.File("loop.zip");
    Prepare(server.WideUrl("/loop.zip"), file);
    const test::Finished end = Run();
    EXPECT_EQ(end.result, 2u);
    EXPECT_EQ(end.value, kTooManyRedirects);
    EXPECT_EQ(server.RequestCount("/loop.zip"), 11u);  // the first and ten redirects
    EXPECT_FALSE(test::Exists(file));
}

TEST_F(DownloadContract, AConnectionDroppedMidBodyEndsWith3AndDeletesTheFile) {
    HttpRoute route;
    route.body = PatternBytes(100 * 1024);
    route.dropAfterBytes = 50 * 1024;
    server.Serve("/db.zip", route);
    const std::wstring file = folder.File("db.zip");
    Prepare(server.WideUrl("/db.zip"), file);

    EXPECT_EQ(Run().result, 3u);

    EXPECT_FALSE(test::Exists(file));
}

TEST_F(DownloadContract, AnAsynchronousDownloadReportsOnceAndCancelAfterwardsChangesNothing) {
    server.ServeText("/version.txt", "20160305\nhttp://example/db.zip\n");
    const std::wstring file = folder.File("Tmp");
    Prepare(server.WideUrl("/version.txt"), file);

    ASSERT_EQ(downloader.Start(false), L"");
    ASSERT_TRUE(sink.WaitForFinished(kPatience));
    downloader.Cancel();  // what the owner does on the finished message

    const auto finished = sink.FinishedMessages();
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].result, 0u);
    EXPECT_EQ(test::ReadAll(file).size(), 31u);
}

TEST_F(DownloadContract, ASpeedLimitSlowsTheTransferDown) {
    server.ServeBytes("/db.zip", PatternBytes(40 * 1024));
    const std::wstring file = folder.File("db.zip");
    // 100 bytes per millisecond: 40 KiB cannot be done in much under 0.4 s.
    downloader.SetParameters(&sink, server.WideUrl("/db.zip"), file, L"", L"", L"", L"", L"", 1, 0,
                             0, 0, 100.0, 0);
    const auto start = std::chrono::steady_clock::now();

    EXPECT_EQ(Run().result, 0u);

    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
    EXPECT_EQ(test::ReadAll(file).size(), 40u * 1024);
}

// Archive downloads keep what arrived and resume it on the next run.
class PartialContract : public DownloadContract {
protected:
    test::Finished RunPartial(const PartialDownload& partial) {
        test::RecordingDownloadSink runSink;
        downloader.SetParameters(&runSink, partial.url, L"", L"", L"", L"", L"", L"", 1, 0, 0, 0,
                                 0.0, 0);
        downloader.KeepPartialFile(partial);
        EXPECT_EQ(downloader.Start(true), L"");
        const auto finished = runSink.FinishedMessages();
        EXPECT_EQ(finished.size(), 1u);
        return finished.empty() ? test::Finished{99, 99} : finished.front();
    }
};

TEST_F(PartialContract, APartKeptAfterADropIsResumedFromWhereItStopped) {
    HttpRoute route;
    route.body = PatternBytes(120 * 1024);
    route.etag = "\"db-1\"";
    route.dropAfterBytes = 50 * 1024;
    server.Serve("/db.zip", route);
    const std::wstring archive = folder.File("db.zip");
    const std::wstring url = server.WideUrl("/db.zip");

    const PartialDownload first = PreparePartialDownload(archive, url);
    EXPECT_EQ(first.resumeOffset, 0u);
    EXPECT_EQ(RunPartial(first).result, 3u);
    const auto part = test::ReadAll(first.partPath);
    ASSERT_EQ(part.size(), 50u * 1024);
    EXPECT_TRUE(test::Exists(first.recordPath));

    route.dropAfterBytes.reset();
    server.Serve("/db.zip", route);
    const PartialDownload second = PreparePartialDownload(archive, url);
    EXPECT_EQ(second.resumeOffset, part.size());
    EXPECT_EQ(RunPartial(second).result, 0u);
    EXPECT_EQ(CompletePartialDownload(second), 0u);

    EXPECT_EQ(test::ReadAll(archive), route.body);
    EXPECT_FALSE(test::Exists(second.partPath));
    EXPECT_FALSE(test::Exists(second.recordPath));
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].Header("Range"), "bytes=51200-");
    EXPECT_EQ(requests[1].Header("If-Range"), "\"db-1\"");
}

TEST_F(PartialContract, AnUnreachableServerLeavesTheKeptPartForLater) {
    HttpRoute route;
    route.body = PatternBytes(60 * 1024);
    route.lastModified = "Sat, 05 Mar 2016 08:00:00 GMT";
    route.dropAfterBytes = 20 * 1024;
    server.Serve("/db.zip", route);
    const std::wstring archive = folder.File("db.zip");
    const std::wstring url = server.WideUrl("/db.zip");
    EXPECT_EQ(RunPartial(PreparePartialDownload(archive, url)).result, 3u);
    server.Stop();

    const PartialDownload second = PreparePartialDownload(archive, url);
    ASSERT_EQ(second.resumeOffset, 20u * 1024);
    EXPECT_EQ(second.validator, route.lastModified);
    EXPECT_EQ(RunPartial(second).result, 2u);

    EXPECT_EQ(test::ReadAll(second.partPath).size(), 20u * 1024);
    EXPECT_EQ(PreparePartialDownload(archive, url).resumeOffset, 20u * 1024);
}

TEST_F(PartialContract, ARefusedLoginOnAResumeFailsAndLeavesThePartForLater) {
    HttpRoute route;
    route.body = PatternBytes(60 * 1024);
    route.etag = "\"db-1\"";
    route.dropAfterBytes = 20 * 1024;
    server.Serve("/db.zip", route);
    const std::wstring archive = folder.File("db.zip");
    const std::wstring url = server.WideUrl("/db.zip");
    EXPECT_EQ(RunPartial(PreparePartialDownload(archive, url)).result, 3u);

    route.dropAfterBytes.reset();
    route.user = "kivrel";
    route.password = "s3cret";
    server.Serve("/db.zip", route);
    const PartialDownload second = PreparePartialDownload(archive, url);
    ASSERT_EQ(second.resumeOffset, 20u * 1024);
    const test::Finished end = RunPartial(second);

    // Not complete, so the caller never moves the 20 KiB part to the archive's place.
    EXPECT_EQ(end.result, 5u);
    EXPECT_EQ(end.value, 401u);
    EXPECT_FALSE(test::Exists(archive));
    const auto part = test::ReadAll(second.partPath);
    ASSERT_EQ(part.size(), 20u * 1024);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), route.body.begin()));
    EXPECT_EQ(PreparePartialDownload(archive, url).resumeOffset, 20u * 1024);
}

TEST_F(PartialContract, AFileChangedOnTheServerIsFetchedWholeInsteadOfSpliced) {
    HttpRoute route;
    route.body = PatternBytes(80 * 1024, 1);
    route.etag = "\"db-1\"";
    route.dropAfterBytes = 30 * 1024;
    server.Serve("/db.zip", route);
    const std::wstring archive = folder.File("db.zip");
    const std::wstring url = server.WideUrl("/db.zip");
    EXPECT_EQ(RunPartial(PreparePartialDownload(archive, url)).result, 3u);

    HttpRoute changed;
    changed.body = PatternBytes(90 * 1024, 2);
    changed.etag = "\"db-2\"";
    server.Serve("/db.zip", changed);
    const PartialDownload second = PreparePartialDownload(archive, url);
    ASSERT_EQ(second.resumeOffset, 30u * 1024);
    EXPECT_EQ(RunPartial(second).result, 0u);
    EXPECT_EQ(CompletePartialDownload(second), 0u);

    EXPECT_EQ(test::ReadAll(archive), changed.body);
}

TEST_F(PartialContract, WithoutAValidatorNothingIsKeptForAResume) {
    HttpRoute route;
    route.body = PatternBytes(60 * 1024);
    route.dropAfterBytes = 20 * 1024;
    server.Serve("/db.zip", route);
    const PartialDownload partial =
        PreparePartialDownload(folder.File("db.zip"), server.WideUrl("/db.zip"));

    EXPECT_EQ(RunPartial(partial).result, 3u);

    EXPECT_FALSE(test::Exists(partial.partPath));
    EXPECT_FALSE(test::Exists(partial.recordPath));
}

}  // namespace
}  // namespace kivrel
