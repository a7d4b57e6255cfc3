// CHttpDownload's own decisions, driven through a scripted backend: which result each failure
// gives, that exactly one finished message comes on every path, when the file is kept, and
// that a refusing server cannot keep the transfer sending forever.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "net/disk_full.h"
#include "net/http_download.h"
#include "net/partial_download.h"
#include "tests/net/download_test_support.h"

namespace kivrel {
namespace {

struct Answer {
    std::uint32_t status = 200;
    std::string body;
    std::optional<std::uint64_t> length;  // Content-Length; none when absent
    std::map<std::string, std::string> headers;
};

Answer Reply(std::uint32_t status, std::string body = {},
             std::optional<std::uint64_t> length = std::nullopt) {
    Answer answer;
    answer.status = status;
    answer.body = std::move(body);
    answer.length = length;
    return answer;
}

// What the scripted backend does and what it was asked to do.
struct Script {
    std::uint32_t openError = 0;
    std::uint32_t callbackError = 0;
    std::uint32_t connectError = 0;
    std::uint32_t requestError = 0;
    std::uint32_t sendError = 0;
    std::uint32_t statusError = 0;
    std::uint32_t readError = 0;  // after the first piece of the body
    bool throwOnRead = false;
    std::chrono::milliseconds pieceDelay{0};  // before each piece of the body
    std::vector<Answer> answers{Answer{}};    // one per send; the last one repeats
    std::vector<CredentialAnswer> promptAnswers;
    std::function<void()> onOpen;

    std::vector<std::string> sentHeaders;
    int prompts = 0;
    int serverCredentialsSet = 0;
    int proxyCredentialsSet = 0;
};

constexpr std::uint32_t kShortBody = 7777;
constexpr std::uint32_t kTimedOut = 8888;
constexpr std::uint32_t kTooLarge = 9999;

class ScriptedSession final : public HttpSession {
public:
    explicit ScriptedSession(Script& s) : script(s) {}

    std::uint32_t Open(const SessionOptions&) override {
        if (script.onOpen) script.onOpen();
        return script.openError;
    }
    std::uint32_t RegisterStatusCallback() override { return script.callbackError; }
    std::uint32_t Connect(const UrlParts&, const std::wstring&, const std::wstring&) override {
        return script.connectError;
    }
    std::uint32_t OpenRequest(const UrlParts&) override { return script.requestError; }
    std::uint32_t Send(std::string_view headers) override {
        const std::size_t index = std::min(script.sentHeaders.size(), script.answers.size() - 1);
        script.sentHeaders.emplace_back(headers);
        answer = script.answers[index];
        position = 0;
        return script.sendError;
    }
    std::uint32_t QueryStatus(std::uint32_t& status) override {
        status = answer.status;
        return script.statusError;
    }
    std::optional<std::uint64_t> QueryContentLength() override { return answer.length; }
    std::optional<std::string> QueryHeader(std::string_view name) override {
        const auto found = answer.headers.find(std::string(name));
        if (found == answer.headers.end()) return std::nullopt;
        return found->second;
    }
    std::uint32_t Read(std::size_t limit, std::span<const std::uint8_t>& piece) override {
        if (script.throwOnRead) throw std::bad_alloc();
        if (script.readError != 0 && position > 0) return script.readError;
        if (script.pieceDelay.count() > 0) std::this_thread::sleep_for(script.pieceDelay);
        const std::size_t size = std::min<std::size_t>({limit, answer.body.size() - position, 700});
        piece = std::span<const std::uint8_t>(
            reinterpret_cast<const std::uint8_t*>(answer.body.data()) + position, size);
        position += size;
        return 0;
    }
    void SetServerCredentials(const std::wstring&, const std::wstring&) override {
        ++script.serverCredentialsSet;
    }
    void SetProxyCredentials(const std::wstring&, const std::wstring&) override {
        ++script.proxyCredentialsSet;
    }
    CredentialAnswer PromptCredentials() override {
        const std::size_t index = static_cast<std::size_t>(script.prompts++);
        return index < script.promptAnswers.size() ? script.promptAnswers[index]
                                                   : CredentialAnswer::kGoOn;
    }
    std::size_t PieceBytes() const noexcept override { return 4096; }
    std::uint32_t ShortBodyError() const noexcept override { return kShortBody; }
    std::uint32_t TimeoutError() const noexcept override { return kTimedOut; }
    std::uint32_t TooLargeError() const noexcept override { return kTooLarge; }
    void Close() noexcept override {}

private:
    Script& script;
    Answer answer;
    std::size_t position = 0;
};

class ScriptedDownload final : public CHttpDownload {
public:
    explicit ScriptedDownload(Script& s) : script(s) {}
    ~ScriptedDownload() override { Cancel(); }
    bool allowRequest = true;
    // The disk takes this many bytes, then reports itself full.
    std::optional<std::size_t> diskRoom;

protected:
    bool CanStartRequest() override { return allowRequest; }
    std::unique_ptr<HttpSession> CreateSession() override {
        return std::make_unique<ScriptedSession>(script);
    }
    std::uint32_t WriteBody(std::span<const std::uint8_t> bytes) override {
        if (diskRoom) {
            if (bytes.size() > *diskRoom) return DiskFullError();
            *diskRoom -= bytes.size();
        }
        return CHttpDownload::WriteBody(bytes);
    }

private:
    Script& script;
};

class DownloadCore : public ::testing::Test {
protected:
    // Runs one synchronous download of http://h/db.zip into the scratch folder.
    std::vector<test::Finished> Run(std::uint32_t offset = 0, const std::wstring& user = L"",
                                    const std::wstring& proxyUser = L"", int promptServer = 0) {
        downloader.SetParameters(&sink, L"http://h/db.zip", file, L"", proxyUser, L"pw", user,
                                 L"pw", 0, 0, 0, promptServer, 0.0, offset);
        EXPECT_EQ(downloader.Start(true), L"");
        return sink.FinishedMessages();
    }

    Script script;
    ScriptedDownload downloader{script};
    test::RecordingDownloadSink sink;
    test::ScratchFolder folder;
    const std::wstring file = folder.File("db.zip");
};

TEST_F(DownloadCore, EachFailureEndsOnceWithItsCodeAndDeletesTheFile) {
    struct Case {
        const char* name;
        std::function<void(Script&)> arrange;
        std::uint32_t result;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"session refused", [](Script& s) { s.openError = 12; }, 1, 12},
        {"status callback refused", [](Script& s) { s.callbackError = 13; }, 1, 13},
        {"no connection", [](Script& s) { s.connectError = 14; }, 2, 14},
        {"request refused", [](Script& s) { s.requestError = 15; }, 2, 15},
        {"send failed", [](Script& s) { s.sendError = 16; }, 2, 16},
        {"status unreadable", [](Script& s) { s.statusError = 17; }, 4, 17},
        {"server error", [](Script& s) { s.answers = {Reply(500)}; }, 5, 500},
        {"body read failed",
         [](Script& s) {
             s.answers = {Reply(200, std::string(2000, 'x'), 2000)};
             s.readError = 18;
         },
         3, 18},
        {"body shorter than announced", [](Script& s) { s.answers = {Reply(200, "abc", 10)}; }, 3,
         kShortBody},
        {"out of memory on the transfer's thread", [](Script& s) { s.throwOnRead = true; }, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        script = Script{};
        c.arrange(script);
        test::RecordingDownloadSink caseSink;
        downloader.SetParameters(&caseSink, L"http://h/db.zip", file, L"", L"", L"", L"", L"", 0, 0,
                                 0, 0, 0.0, 0);
        ASSERT_EQ(downloader.Start(true), L"");
        const auto finished = caseSink.FinishedMessages();
        ASSERT_EQ(finished.size(), 1u);
        EXPECT_EQ(finished[0].result, c.result);
        EXPECT_EQ(finished[0].value, c.value);
        EXPECT_FALSE(test::Exists(file));
    }
}

TEST_F(DownloadCore, ACompleteBodyIsWrittenAndReportedOnce) {
    script.answers = {Reply(200, std::string(5000, 'q'), 5000)};

    const auto finished = Run();

    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].result, 0u);
    EXPECT_EQ(test::ReadAll(file), std::vector<std::uint8_t>(5000, 'q'));
    EXPECT_EQ(script.sentHeaders, std::vector<std::string>{""});
}

TEST_F(DownloadCore, ARefusalByCanStartRequestEndsWithoutAnyMessage) {
    downloader.allowRequest = false;

    EXPECT_TRUE(Run().empty());

    EXPECT_TRUE(script.sentHeaders.empty());
    EXPECT_TRUE(sink.SizeMessages().empty());
}

TEST_F(DownloadCore, ACancelNoticedBeforeTheBodyEndsWith6AndKeepsTheFile) {
    script.onOpen = [this] { downloader.RequestCancel(); };

    const auto finished = Run();

    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].result, 6u);
    EXPECT_TRUE(test::Exists(file));
    EXPECT_TRUE(script.sentHeaders.empty());
}

TEST_F(DownloadCore, ALoginThatStaysRefusedFailsWith5AndTheStatusAfterOneMoreSendAtMost) {
    struct Case {
        const char* name;
        std::uint32_t status;
        std::wstring user;
        std::wstring proxyUser;
        int promptServer;
        std::size_t sends;
    };
    const Case cases[] = {
        {"server keeps refusing", 401, L"kivrel", L"", 0, 2},
        {"proxy keeps refusing", 407, L"", L"proxy", 0, 2},
        {"no credentials stored", 401, L"", L"", 0, 1},
        {"no proxy credentials stored", 407, L"", L"", 0, 1},
        {"prompt not answered with a retry", 401, L"", L"", 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        script = Script{};
        script.answers = {Reply(c.status, "refused", 7)};
        test::RecordingDownloadSink caseSink;
        downloader.SetParameters(&caseSink, L"http://h/db.zip", file, L"", c.proxyUser, L"pw",
                                 c.user, L"pw", 0, 0, 0, c.promptServer, 0.0, 0);
        ASSERT_EQ(downloader.Start(true), L"");
        EXPECT_EQ(script.sentHeaders.size(), c.sends);
        EXPECT_EQ(script.prompts, c.promptServer);
        const auto finished = caseSink.FinishedMessages();
        ASSERT_EQ(finished.size(), 1u);
        EXPECT_EQ(finished[0].result, 5u);
        EXPECT_EQ(finished[0].value, c.status);
        EXPECT_TRUE(caseSink.SizeMessages().empty());
        EXPECT_FALSE(test::Exists(file));
    }
}

TEST_F(DownloadCore, StoredCredentialsThatWorkGetTheFile) {
    script.answers = {Reply(401, "refused"), Reply(200, "archive", 7)};

    const auto finished = Run(0, L"kivrel");

    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].result, 0u);
    EXPECT_EQ(script.serverCredentialsSet, 1);
    EXPECT_EQ(test::ReadAll(file), (std::vector<std::uint8_t>{'a', 'r', 'c', 'h', 'i', 'v', 'e'}));
}

TEST_F(DownloadCore, APromptAnsweredWithRetrySendsAgain) {
    script.answers = {Reply(401), Reply(200, "ok", 2)};
    script.promptAnswers = {CredentialAnswer::kSendAgain};

    ASSERT_EQ(Run(0, L"", L"", 1).size(), 1u);

    EXPECT_EQ(script.prompts, 1);
    EXPECT_EQ(script.sentHeaders.size(), 2u);
    EXPECT_EQ(test::ReadAll(file).size(), 2u);
}

TEST_F(DownloadCore, AResumeSendsTheRangeHeaderAndChecksWhereTheAnswerStarts) {
    test::WriteAll(file, std::vector<std::uint8_t>(1000, 'a'));
    script.answers = {Reply(206, std::string(500, 'b'), 500)};
    script.answers[0].headers["Content-Range"] = "bytes 1000-1499/1500";

    ASSERT_EQ(Run(1000).size(), 1u);

    EXPECT_EQ(script.sentHeaders, std::vector<std::string>{"Range: bytes=1000-\r\n"});
    EXPECT_EQ(test::ReadAll(file).size(), 1500u);
    EXPECT_EQ(sink.FinishedMessages()[0].result, 0u);

    test::RecordingDownloadSink second;
    script.answers[0].headers["Content-Range"] = "bytes 0-499/1500";  // not where we stopped
    downloader.SetParameters(&second, L"http://h/db.zip", file, L"", L"", L"", L"", L"", 0, 0, 0, 0,
                             0.0, 1000);
    ASSERT_EQ(downloader.Start(true), L"");
    ASSERT_EQ(second.FinishedMessages().size(), 1u);
    EXPECT_EQ(second.FinishedMessages()[0].result, 3u);
    EXPECT_FALSE(test::Exists(file));
}

TEST_F(DownloadCore, AResumeOffsetPastTheFileIsCutToWhatIsThere) {
    test::WriteAll(file, std::vector<std::uint8_t>(300, 'a'));
    script.answers = {Reply(206, std::string(200, 'b'), 200)};

    ASSERT_EQ(Run(1000).size(), 1u);

    EXPECT_EQ(script.sentHeaders, std::vector<std::string>{"Range: bytes=300-\r\n"});
    EXPECT_EQ(sink.SizeMessages().at(0).resumeOffset, 300u);
    EXPECT_EQ(test::ReadAll(file).size(), 500u);
}

TEST_F(DownloadCore, StartReportsAFileThatCannotBeOpened) {
    downloader.SetParameters(&sink, L"http://h/db.zip", folder.File("no/such/folder/db.zip"), L"",
                             L"", L"", L"", L"", 0, 0, 0, 0, 0.0, 0);

    const std::wstring error = downloader.Start(true);

    EXPECT_EQ(error.rfind(L"An error occured while opening the file to be downloaded, Error:", 0),
              0u);
    EXPECT_GT(error.size(), 64u);
    EXPECT_TRUE(sink.FinishedMessages().empty());
}

}  // namespace
}  // namespace kivrel

namespace kivrel {
namespace {

// Archive downloads resumable, as the update run sets them up, with bounds of the test's own.
class BoundedDownload : public DownloadCore {
protected:
    std::vector<test::Finished> RunBounded(const TransferBounds& bounds,
                                           test::RecordingDownloadSink& caseSink) {
        partial = PreparePartialDownload(file, L"http://h/db.zip");
        downloader.SetParameters(&caseSink, L"http://h/db.zip", partial.partPath, L"", L"", L"",
                                 L"", L"", 0, 0, 0, 0, 0.0, partial.resumeOffset);
        downloader.KeepPartialFile(partial);
        downloader.SetBounds(bounds);
        EXPECT_EQ(downloader.Start(true), L"");
        return caseSink.FinishedMessages();
    }
    Answer Resumable(std::string body, std::optional<std::uint64_t> length) {
        Answer answer = Reply(200, std::move(body), length);
        answer.headers["ETag"] = "\"v1\"";
        return answer;
    }
    PartialDownload partial;
};

TEST_F(BoundedDownload, TooMuchOrNoRoomEndsTheDownloadAndLeavesNothingBehind) {
    struct Case {
        const char* name;
        Answer answer;
        TransferBounds bounds;
        std::optional<std::size_t> diskRoom;
        std::optional<std::uint64_t> freeSpace;
        TransferStop stop;
        std::uint32_t value;
        bool sizeReported;  // refused after the size message, or before it
    };
    const std::string body(5000, 'z');
    const TransferBounds small{std::chrono::milliseconds(0), std::chrono::seconds(60), 4000, 0};
    const TransferBounds roomy{std::chrono::milliseconds(0), std::chrono::seconds(60), 1u << 20,
                               100000};
    const Case cases[] = {
        {"an announced length above the cap",
         Resumable(body, 5000),
         small,
         {},
         {},
         TransferStop::kTooLarge,
         kTooLarge,
         false},
        {"a length of 2^63-1",
         Resumable(body, 0x7FFFFFFFFFFFFFFFull),
         {},
         {},
         {},
         TransferStop::kTooLarge,
         kTooLarge,
         false},
        {"a body without length past the cap",
         Resumable(body, std::nullopt),
         small,
         {},
         {},
         TransferStop::kTooLarge,
         kTooLarge,
         true},
        {"a disk that fills up",
         Resumable(body, 5000),
         {},
         3000,
         {},
         TransferStop::kDiskFull,
         DiskFullError(),
         true},
        {"no room for the archive and its unpacking",
         Resumable(body, 5000),
         roomy,
         {},
         100000,
         TransferStop::kDiskFull,
         DiskFullError(),
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        script = Script{};
        script.answers = {c.answer};
        downloader.diskRoom = c.diskRoom;
        static std::optional<std::uint64_t> freeSpace;
        freeSpace = c.freeSpace;
        TransferBounds bounds = c.bounds;
        bounds.freeSpace = [](const std::wstring&) { return freeSpace; };
        test::RecordingDownloadSink caseSink;
        const auto finished = RunBounded(bounds, caseSink);
        ASSERT_EQ(finished.size(), 1u);
        EXPECT_EQ(finished[0].result, 3u);  // a body that could not be taken
        EXPECT_EQ(finished[0].value, c.value);
        EXPECT_EQ(downloader.Stop(), c.stop);
        EXPECT_EQ(caseSink.SizeMessages().size(), c.sizeReported ? 1u : 0u);
        // No part and no record: the next run starts afresh, and the disk is as before.
        EXPECT_FALSE(test::Exists(partial.partPath));
        EXPECT_FALSE(test::Exists(partial.recordPath));
    }
    // Room enough: the same download goes through.
    script = Script{};
    script.answers = {Resumable(body, 5000)};
    downloader.diskRoom.reset();
    const auto finished = RunBounded(roomy, sink);
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].result, 0u);
}

TEST_F(BoundedDownload, AServerThatStallsOrTricklesIsGivenUpButItsPartKept) {
    // The backend reports its wait bound; a trickle is ended by the whole-transfer bound.
    struct Case {
        const char* name;
        std::function<void(Script&)> arrange;
        TransferBounds bounds;
        std::uint32_t result;
    };
    const Case cases[] = {
        {"nothing for the stall bound", [](Script& s) { s.readError = kTimedOut; }, {}, 3},
        {"a trickle past the deadline",
         [](Script& s) { s.pieceDelay = std::chrono::milliseconds(30); },
         {std::chrono::milliseconds(100), std::chrono::seconds(60), 1u << 20, 0},
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        script = Script{};
        script.answers = {Resumable(std::string(8000, 't'), 8000)};
        c.arrange(script);
        test::RecordingDownloadSink caseSink;
        const auto finished = RunBounded(c.bounds, caseSink);
        ASSERT_EQ(finished.size(), 1u);
        EXPECT_EQ(finished[0].result, c.result);
        EXPECT_EQ(finished[0].value, kTimedOut);
        EXPECT_EQ(downloader.Stop(), TransferStop::kTimedOut);
        // Network trouble does not spoil the part: the next run resumes it.
        EXPECT_TRUE(test::Exists(partial.partPath));
        EXPECT_TRUE(test::Exists(partial.recordPath));
        DiscardPartialDownload(partial);
    }
}

}  // namespace
}  // namespace kivrel
