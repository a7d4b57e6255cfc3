#include "net/http_download.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <new>
#include <span>

#include "base/text.h"
#include "net/disk_full.h"
#include "net/http_headers.h"
#include "net/transfer_thread.h"

namespace kivrel {
namespace {

constexpr auto kCancelWait = std::chrono::milliseconds(4000);
constexpr std::size_t kDiscardPiece = 50;
// A refused answer's body is read away before sending again; a server that never stops
// sending one must not hold the transfer forever.
constexpr std::uint64_t kDiscardLimit = 1024 * 1024;
constexpr std::uint32_t kSleepSliceMs = 50;
// With a speed limit, pieces hold about this much time's worth of bytes, so pauses stay short.
constexpr double kLimitedPieceMs = 100.0;
constexpr std::size_t kMinimumPiece = 1024;

[[nodiscard]] std::uint64_t NowMs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

[[nodiscard]] std::uint32_t Clamp32(std::uint64_t value) noexcept {
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(value, std::numeric_limits<std::uint32_t>::max()));
}

[[nodiscard]] std::wstring ErrorNumber(std::uint32_t code) {
    return std::to_wstring(static_cast<int>(code));
}

[[nodiscard]] std::string HeaderOrEmpty(HttpSession& session, std::string_view name) {
    return session.QueryHeader(name).value_or(std::string{});
}

// The folder a file is in, for asking its disk's free space.
[[nodiscard]] std::wstring FolderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"/\\");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash + 1);
}

}  // namespace

CHttpDownload::CHttpDownload() = default;

CHttpDownload::~CHttpDownload() {
    Cancel();
}

void CHttpDownload::SetParameters(EventSink* ownerSink, std::wstring address,
                                  std::wstring targetFile, std::wstring proxy,
                                  std::wstring proxyUserName, std::wstring proxyUserPassword,
                                  std::wstring serverUser, std::wstring serverPassword, int access,
                                  int refuseExisting, int promptProxy, int promptServer,
                                  double limit, std::uint32_t offset) {
    ReapThread();
    owner = ownerSink;
    url = std::move(address);
    localFile = std::move(targetFile);
    proxyName = std::move(proxy);
    proxyUser = std::move(proxyUserName);
    proxyPassword = std::move(proxyUserPassword);
    userName = std::move(serverUser);
    password = std::move(serverPassword);
    accessType = access;
    failIfExists = refuseExisting;
    promptProxyCredentials = promptProxy;
    promptServerCredentials = promptServer;
    speedLimit = limit;
    resumeOffset = offset;
    serviceType = 0;
    partial.reset();
    partialKeepable = false;
    bounds = TransferBounds{};
    stop = TransferStop::kNone;
    CloseSession();
    session.reset();
    file.Close();
    abortRequested = 0;
    finished = 0;
    resultCode = 0;
    resultValue = 0;
}

void CHttpDownload::KeepPartialFile(const PartialDownload& part) {
    partial = part;
    localFile = part.partPath;
    resumeOffset = part.resumeOffset;
}

std::wstring CHttpDownload::Start(bool synchronous) {
    ReapThread();
    if (thread && !synchronous) {
        // Called from the previous transfer's own thread, which cannot be replaced from inside.
        return L"Failed to create download thread, dialog is aborting\n";
    }
    std::optional<UrlParts> parts = ParseUrl(url);
    if (!parts) {
        url = L"http://" + url;
        parts = ParseUrl(url);
        if (!parts) return L"Failed to parse the URL: " + url + L"\n";
    }
    ApplyNetworkSettings();
    serviceType = parts->serviceType;
    serverName = parts->serverName;
    objectPath = parts->objectPath;
    port = parts->port;

    const bool exists = PathExists(localFile);
    if (exists && resumeOffset == 0 && failIfExists != 0) {
        return L"The file '" + localFile + L"' already exists.";
    }
    // Resuming past what is really on disk would pad the file with zeros and splice the
    // rest on behind them: resume from what is there instead.
    const std::uint64_t present = exists ? FileLength(localFile).value_or(0) : 0;
    resumeOffset = static_cast<std::uint32_t>(std::min<std::uint64_t>(resumeOffset, present));

    if (const std::uint32_t error = file.OpenForWriting(localFile, exists && resumeOffset > 0)) {
        return L"An error occured while opening the file to be downloaded, Error:" +
               ErrorNumber(error);
    }
    if (const std::uint32_t error = file.SetLength(resumeOffset)) {
        file.Close();
        return L"An error occurred while seeking to the end of the file to be downloaded, "
               L"Error:" +
               ErrorNumber(error);
    }

    if (synchronous) {
        RunTransfer();
        return {};
    }
    running = true;
    thread = StartTransferThread([this] { RunTransfer(); });
    if (!thread) {
        running = false;
        file.Close();
        return L"Failed to create download thread, dialog is aborting\n";
    }
    return {};
}

void CHttpDownload::ApplyNetworkSettings() {
    if (accessType != 0 || !network.proxy) return;
    accessType = 2;
    proxyName = network.proxy->hostPort;
    if (proxyUser.empty()) {
        proxyUser = network.proxy->user;
        proxyPassword = network.proxy->password;
    }
}

void CHttpDownload::Cancel() {
    if (finished == 0) abortRequested = 1;
    bool ended = !running;
    if (thread && runner.load() != std::this_thread::get_id()) {
        if (!thread->WaitFor(kCancelWait)) thread->Terminate();
        thread.reset();
        running = false;
        ended = true;
    }
    // A synchronous transfer on another thread still owns its session and file; it closes
    // them itself when it notices the flag.
    if (ended) {
        CloseSession();
        file.Close();
    }
}

void CHttpDownload::RequestCancel() noexcept {
    if (finished == 0) abortRequested = 1;
}

bool CHttpDownload::CanStartRequest() {
    return true;
}

void CHttpDownload::HandleError(std::uint32_t code, std::uint32_t value) {
    file.Close();
    if (!(partial && partialKeepable)) {
        RemoveFile(localFile);
        if (partial) RemoveFile(partial->recordPath);
    }
    Report(code, value);
}

void CHttpDownload::Report(std::uint32_t code, std::uint32_t value) {
    CloseSession();
    resultCode = code;
    resultValue = value;
    finished = 1;
    if (owner != nullptr) owner->DownloadFinished(code, value);
}

void CHttpDownload::Finish(std::uint32_t result) {
    file.Close();
    Report(result, 0);
}

bool CHttpDownload::CancelNoticed() {
    if (abortRequested == 0) return false;
    Finish(6);
    return true;
}

void CHttpDownload::Fail(std::uint32_t code, std::uint32_t value) {
    if (CancelNoticed()) return;
    HandleError(code, value);
}

void CHttpDownload::RunTransfer() noexcept {
    running = true;
    runner = std::this_thread::get_id();
    try {
        Transfer();
    } catch (...) {
        // Out of memory or a throwing sink: still one finished message, and no thread dies
        // with an exception in flight.
        try {
            if (finished == 0) HandleError(3, 0);
        } catch (...) {
        }
    }
    file.Close();
    runner = std::thread::id{};
    running = false;
}

std::unique_ptr<HttpSession> CHttpDownload::CreateSession() {
    return MakeHttpSession();
}

std::uint32_t CHttpDownload::WriteBody(std::span<const std::uint8_t> bytes) {
    return file.Write(bytes);
}

void CHttpDownload::Refuse(TransferStop reason, std::uint32_t value) {
    stop = reason;
    // A part that filled the disk, or grew past what any archive may be, is worth nothing
    // to a resume: it only keeps the disk full.
    if (reason != TransferStop::kTimedOut) partialKeepable = false;
    Fail(3, value);
}

bool CHttpDownload::RoomForBody(bool lengthKnown, std::uint64_t contentLength) {
    const std::uint64_t needed = (lengthKnown ? contentLength : 0) + bounds.roomBeyond;
    const std::wstring folder = FolderOf(localFile);
    const std::optional<std::uint64_t> free =
        bounds.freeSpace != nullptr ? bounds.freeSpace(folder) : SystemFreeDiskSpace(folder);
    if (!free || *free >= needed) return true;
    Refuse(TransferStop::kDiskFull, DiskFullError());
    return false;
}

void CHttpDownload::CloseSession() noexcept {
    if (session) session->Close();
}

void CHttpDownload::Transfer() {
    // A part carried over from an earlier run stays unless the server's answer shows it no
    // longer continues the file; network trouble alone does not spoil it.
    partialKeepable = partial.has_value() && resumeOffset > 0;
    session = CreateSession();
    if (!session) return HandleError(1, 0);
    deadline = bounds.total.count() > 0 ? std::chrono::steady_clock::now() + bounds.total
                                        : std::chrono::steady_clock::time_point::max();
    const SessionOptions options{agent.empty() ? std::wstring(L"Update") : agent,
                                 accessType,
                                 proxyName,
                                 network.caFile,
                                 promptOwner,
                                 &abortRequested,
                                 deadline,
                                 bounds.stall};
    if (const std::uint32_t error = session->Open(options)) return Fail(1, error);
    if (CancelNoticed()) return;
    if (const std::uint32_t error = session->RegisterStatusCallback()) return Fail(1, error);
    if (CancelNoticed()) return;

    const UrlParts parts{serviceType, serverName, objectPath, port};
    if (const std::uint32_t error = session->Connect(parts, userName, password)) {
        return Fail(2, error);
    }
    if (CancelNoticed()) return;
    if (!CanStartRequest()) {
        file.Close();
        CloseSession();
        return;
    }
    if (const std::uint32_t error = session->OpenRequest(parts)) return Fail(2, error);
    if (CancelNoticed()) return;

    std::uint32_t status = 0;
    if (!SendUntilAnswered(status)) return;

    const std::optional<std::uint64_t> length = session->QueryContentLength();
    const bool lengthKnown = length.has_value();
    const std::uint64_t contentLength = length.value_or(0);
    const bool bodyAnswer = ClassifyStatus(status) == StatusClass::kBody;
    if (bodyAnswer) {
        if (!AcceptResumedAnswer(status, lengthKnown, contentLength)) return;
        // Refused before a byte of the body is taken, and before a record of it is kept.
        if (lengthKnown &&
            (contentLength > bounds.maxBytes || resumeOffset > bounds.maxBytes - contentLength)) {
            return Refuse(TransferStop::kTooLarge, session->TooLargeError());
        }
        if (partial) RecordPartial(status, lengthKnown, contentLength);
    }
    if (owner != nullptr) owner->DownloadSize(Clamp32(contentLength), resumeOffset);

    ProgressState progress;
    const std::uint64_t start = NowMs();
    progress.lastTick = start;
    std::uint64_t received = 0;
    if (CancelNoticed()) return;
    if (bodyAnswer && !RoomForBody(lengthKnown, contentLength)) return;

    std::size_t pieceBytes = std::max(session->PieceBytes(), kMinimumPiece);
    if (speedLimit > 0.0) {
        const double limited = std::max(speedLimit * kLimitedPieceMs, double{kMinimumPiece});
        if (limited < static_cast<double>(pieceBytes)) {
            pieceBytes = static_cast<std::size_t>(limited);
        }
    }
    for (;;) {
        std::span<const std::uint8_t> piece;
        if (const std::uint32_t error = session->Read(pieceBytes, piece)) {
            if (error == session->TimeoutError()) return Refuse(TransferStop::kTimedOut, error);
            return Fail(3, error);
        }
        if (piece.empty() || abortRequested != 0) break;
        const std::uint64_t held = resumeOffset + received;
        if (held > bounds.maxBytes || piece.size() > bounds.maxBytes - held) {
            return Refuse(TransferStop::kTooLarge, session->TooLargeError());
        }
        if (const std::uint32_t error = WriteBody(piece)) {
            if (IsDiskFullError(error)) return Refuse(TransferStop::kDiskFull, error);
            return Fail(3, error);
        }
        if (speedLimit > 0.0) PauseForSpeedLimit(received, NowMs() - start);
        received += piece.size();
        ReportProgress(progress, received, lengthKnown, contentLength);
        // A server that keeps sending a trickle is bounded by the whole-transfer limit.
        if (std::chrono::steady_clock::now() > deadline && abortRequested == 0) {
            return Refuse(TransferStop::kTimedOut, session->TimeoutError());
        }
    }
    // A body that stops short of its announced length is a broken transfer, not a file.
    if (abortRequested == 0 && bodyAnswer && lengthKnown && received < contentLength) {
        return HandleError(3, session->ShortBodyError());
    }
    Finish(abortRequested != 0 ? 6 : 0);
}

bool CHttpDownload::SendUntilAnswered(std::uint32_t& status) {
    // Stored credentials are sent once more at most: a server that keeps refusing them must
    // not keep the transfer sending forever.
    bool serverSentAgain = false;
    bool proxySentAgain = false;
    for (;;) {
        std::string headers = RangeHeader(resumeOffset);
        if (resumeOffset > 0 && partial && !partial->validator.empty()) {
            headers += IfRangeHeader(partial->validator);
        }
        if (const std::uint32_t error = session->Send(headers)) {
            if (error == session->TimeoutError() && abortRequested == 0) {
                stop = TransferStop::kTimedOut;
            }
            Fail(2, error);
            return false;
        }
        if (const std::uint32_t error = session->QueryStatus(status)) {
            Fail(4, error);
            return false;
        }
        const StatusClass kind = ClassifyStatus(status);
        if (kind == StatusClass::kBody) return true;
        if (kind == StatusClass::kRefused) {
            partialKeepable = false;
            Fail(5, status);
            return false;
        }
        DiscardBody();
        if (CancelNoticed()) return false;
        const bool proxy = kind == StatusClass::kProxyAuth;
        if (!(proxy ? proxyUser : userName).empty()) {
            if (proxy) {
                session->SetProxyCredentials(proxyUser, proxyPassword);
            } else {
                session->SetServerCredentials(userName, password);
            }
            bool& sentAgain = proxy ? proxySentAgain : serverSentAgain;
            if (!sentAgain) {
                sentAgain = true;
                continue;
            }
        } else {
            const int prompt = proxy ? promptProxyCredentials : promptServerCredentials;
            if (prompt != 0 && session->PromptCredentials() == CredentialAnswer::kSendAgain) {
                continue;
            }
        }
        // A login that stays refused is a failed download, never an empty file or a kept
        // part passed off as complete. The part itself is not spoilt: it stays for a resume.
        Fail(5, status);
        return false;
    }
}

void CHttpDownload::DiscardBody() {
    std::uint64_t discarded = 0;
    while (discarded < kDiscardLimit && abortRequested == 0) {
        std::span<const std::uint8_t> piece;
        if (session->Read(kDiscardPiece, piece) != 0 || piece.empty()) return;
        discarded += piece.size();
    }
}

bool CHttpDownload::AcceptResumedAnswer(std::uint32_t status, bool lengthKnown,
                                        std::uint64_t contentLength) {
    if (resumeOffset == 0) return true;
    if (status == 200) {
        // The server sent the whole file (it ignores ranges, or the file changed): start
        // over instead of appending it behind the old bytes.
        if (const std::uint32_t error = file.SetLength(0)) {
            HandleError(3, error);
            return false;
        }
        resumeOffset = 0;
        return true;
    }
    bool continues = true;
    const std::optional<std::string> rangeText = session->QueryHeader("Content-Range");
    std::optional<std::uint64_t> total;
    if (rangeText) {
        const std::optional<ContentRange> range = ParseContentRange(*rangeText);
        continues = range && range->first == resumeOffset;
        if (range) total = range->total;
    }
    if (partial) {
        // If-Range already asked the server to send the rest only of the same file; the
        // length and, when the answer carries one, the validator must agree as well.
        if (!total && lengthKnown) total = resumeOffset + contentLength;
        const std::optional<std::string> validator = ResumeValidator(
            HeaderOrEmpty(*session, "ETag"), HeaderOrEmpty(*session, "Last-Modified"));
        continues = continues && total == partial->recordedLength &&
                    (!validator || *validator == partial->validator);
    }
    if (continues) return true;
    // These bytes do not continue the part: it cannot be trusted any more.
    partialKeepable = false;
    HandleError(3, 0);
    return false;
}

void CHttpDownload::RecordPartial(std::uint32_t status, bool lengthKnown,
                                  std::uint64_t contentLength) {
    std::optional<std::uint64_t> total;
    if (status == 200 && lengthKnown) total = contentLength;
    if (status == 206) {
        if (const auto rangeText = session->QueryHeader("Content-Range")) {
            if (const auto range = ParseContentRange(*rangeText)) total = range->total;
        }
        if (!total && lengthKnown) total = resumeOffset + contentLength;
    }
    const std::optional<std::string> validator =
        ResumeValidator(HeaderOrEmpty(*session, "ETag"), HeaderOrEmpty(*session, "Last-Modified"));
    partialKeepable = false;
    if (total && *total > 0 && validator) {
        const std::string text = WritePartialRecord({WideToUtf8(partial->url), *validator, *total});
        partialKeepable =
            WriteWholeFile(partial->recordPath,
                           {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}) == 0;
    }
    if (!partialKeepable) RemoveFile(partial->recordPath);
}

void CHttpDownload::PauseForSpeedLimit(std::uint64_t received, std::uint64_t elapsedMs) {
    std::uint32_t delay = SpeedLimitDelayMs(received, elapsedMs, speedLimit);
    // In slices, so a cancel is not held up by a long pause.
    while (delay > 0 && abortRequested == 0) {
        const std::uint32_t slice = std::min(delay, kSleepSliceMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(slice));
        delay -= slice;
    }
}

void CHttpDownload::ReportProgress(ProgressState& state, std::uint64_t received, bool lengthKnown,
                                   std::uint64_t contentLength) {
    if (lengthKnown) {
        const std::uint32_t percent = DownloadPercent(resumeOffset, received, contentLength);
        if (percent != state.lastPercent) {
            if (owner != nullptr) owner->DownloadPercent(percent);
            state.lastPercent = percent;
        }
    }
    const std::uint64_t now = NowMs();
    if (now - state.lastTick <= kSpeedIntervalMs) return;
    const std::uint32_t speed = SpeedCode(received - state.lastReceived, now - state.lastTick);
    state.lastTick = now;
    state.lastReceived = received;
    if (owner != nullptr) owner->DownloadSpeed(speed, Clamp32(received));
}

void CHttpDownload::ReapThread() {
    if (!thread) return;
    if (running && finished == 0) {
        Cancel();
        return;
    }
    if (runner.load() == std::this_thread::get_id()) return;
    thread.reset();
}

}  // namespace kivrel
