#pragma once
// CHttpDownload fetches one file over HTTP or HTTPS into a local file, optionally resuming at
// a byte offset, limiting its speed and answering server or proxy authentication. It reports
// progress and its end through the owner's EventSink: DownloadSize, DownloadPercent,
// DownloadSpeed and exactly one DownloadFinished(result, value) per transfer, with
//   0 complete, 0
//   1 the session could not be opened, the library's error code
//   2 connecting, opening or sending the request failed (a redirect refused, or no answer
//     within the bounds, included), the library's error code
//   3 reading the body or writing the file failed, the library's or the OS's error code
//     (0 when a resumed answer does not continue the file); also a body the tool refused
//     (longer than TransferBounds allow, no room on the disk, a bound passed), with the
//     library's code for it or the OS's disk-full code; Stop() says which
//   4 the status could not be read, the library's error code
//   5 the server answered another status than 200 and 206, or a 401 or 407 that stayed
//     unresolved (no credentials, refused again, or a prompt not answered with a retry),
//     that status
//   6 cancelled, 0
// The transfer runs on the caller's thread (Start(true)) or on a thread of its own. The
// platform's HTTP library sits behind HttpSession (http_session.h).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <utility>

#include "base/disk_space.h"
#include "base/event_sink.h"
#include "base/local_file.h"
#include "net/download_progress.h"
#include "net/http_session.h"
#include "net/partial_download.h"
#include "net/proxy_settings.h"

namespace kivrel {

class TransferThread;

struct DownloadResult {
    std::uint32_t code = 0;
    std::uint32_t value = 0;
};

// The most any download may bring: no database archive a unit can take comes near it.
inline constexpr std::uint64_t kMaxDownloadBytes = std::uint64_t{1} << 30;

// Bounds on one transfer, so that no server holds the tool up for ever or fills its disk.
struct TransferBounds {
    // The whole exchange, connecting included; 0 for no limit.
    std::chrono::milliseconds total{0};
    // How long the server may send nothing (while connecting, waiting for the answer or in
    // the body).
    std::chrono::milliseconds stall{60000};
    // The whole file, resumed bytes included: a longer announced length is refused before
    // the body, a longer body is cut off. Either removes the file.
    std::uint64_t maxBytes = kMaxDownloadBytes;
    // Free space wanted on the file's disk besides the file (what unpacking it will need).
    std::uint64_t roomBeyond = 0;
    // How free space is asked for; null: the system's (tests give a full disk).
    FreeSpaceQuery freeSpace = nullptr;
};

// Why a failed transfer was ended, where the tool itself ended it.
enum class TransferStop {
    kNone,
    kTimedOut,  // a bound of TransferBounds passed; the part stays for a resume
    kTooLarge,  // more than maxBytes; the file is removed
    kDiskFull,  // no room on the disk; the file is removed
};

class CHttpDownload {
public:
    CHttpDownload();
    // Cancels a running transfer. A derived class must call Cancel() in its own destructor.
    virtual ~CHttpDownload();
    CHttpDownload(const CHttpDownload&) = delete;
    CHttpDownload& operator=(const CHttpDownload&) = delete;

    // Stores the parameters for the next Start. A transfer still running is cancelled first.
    // accessType: 0 the system's settings, 1 direct, 2 through `proxyName`. speedLimit is in
    // bytes per millisecond, 0 for none. resumeOffset: bytes of `localFile` to keep.
    void SetParameters(EventSink* owner, std::wstring url, std::wstring localFile,
                       std::wstring proxyName, std::wstring proxyUser, std::wstring proxyPassword,
                       std::wstring userName, std::wstring password, int accessType,
                       int failIfExists, int promptProxyCredentials, int promptServerCredentials,
                       double speedLimit, std::uint32_t resumeOffset);

    // Archive downloads: write `partial.partPath` from `partial.resumeOffset` on, and keep the
    // part with its record when the transfer fails or is cancelled (partial_download.h).
    // Call after SetParameters; it replaces the local file and the resume offset.
    void KeepPartialFile(const PartialDownload& partial);

    // Call after SetParameters, which puts the defaults back (no total limit, 60 s without a
    // byte, kMaxDownloadBytes).
    void SetBounds(const TransferBounds& limits) noexcept { bounds = limits; }

    // The owner's network settings, kept across SetParameters: a proxy that replaces the
    // system's settings whenever a caller asks for them (access type 0), its credentials
    // answering a 407 when the caller gives none; and the certificate authorities https
    // servers are checked against, for every access type.
    void SetNetworkSettings(NetworkSettings settings) { network = std::move(settings); }

    // The native window the platform's credential dialog is shown over (Windows), or null.
    void SetPromptOwner(void* nativeWindow) noexcept { promptOwner = nativeWindow; }

    // Parses the address (adding "http://" when it has no scheme), opens the local file and
    // runs the transfer now (synchronous) or on its own thread. Returns an error text, empty
    // when the transfer was started; nothing is reported to the owner on an error.
    [[nodiscard]] std::wstring Start(bool synchronous);

    // Asks a running transfer to stop, waits up to 4000 ms for the downloader's own thread
    // and closes the connection. Any state; leaves the object idle. Call from the owner's
    // thread (not from inside a DownloadFinished handler running on the transfer's thread).
    void Cancel();
    // Only raises the cancel flag; the transfer notices it between pieces.
    void RequestCancel() noexcept;

    [[nodiscard]] bool Finished() const noexcept { return finished.load() != 0; }
    // The result reported in DownloadFinished; meaningful once Finished().
    [[nodiscard]] DownloadResult Result() const noexcept {
        return {resultCode.load(), resultValue.load()};
    }
    // Set with a failing Result() when the tool ended the transfer itself.
    [[nodiscard]] TransferStop Stop() const noexcept { return stop.load(); }
    // The address as used: "http://" is added by Start to an address without a scheme.
    [[nodiscard]] const std::wstring& Url() const noexcept { return url; }

protected:
    // Consulted once connected; false ends the transfer without any message.
    [[nodiscard]] virtual bool CanStartRequest();
    // Closes the local file, deletes it (unless it is a part worth keeping), marks the
    // transfer finished and reports DownloadFinished(code, value).
    virtual void HandleError(std::uint32_t code, std::uint32_t value);
    // The whole exchange with the server.
    virtual void Transfer();
    // Percent and speed messages after `received` body bytes (the resume offset excluded).
    virtual void ReportProgress(ProgressState& state, std::uint64_t received, bool lengthKnown,
                                std::uint64_t contentLength);
    // The HTTP backend; tests substitute a scripted one.
    [[nodiscard]] virtual std::unique_ptr<HttpSession> CreateSession();
    // Writes body bytes to the local file; 0 or the OS's error code. Tests substitute a disk
    // that fills up.
    [[nodiscard]] virtual std::uint32_t WriteBody(std::span<const std::uint8_t> bytes);

private:
    void RunTransfer() noexcept;
    void ApplyNetworkSettings();
    // Cancel noticed: reports result 6 and keeps the file.
    bool CancelNoticed();
    // A failure while a cancel is pending is the cancel.
    void Fail(std::uint32_t code, std::uint32_t value);
    void Finish(std::uint32_t result);
    void Report(std::uint32_t code, std::uint32_t value);
    [[nodiscard]] bool SendUntilAnswered(std::uint32_t& status);
    void DiscardBody();
    [[nodiscard]] bool AcceptResumedAnswer(std::uint32_t status, bool lengthKnown,
                                           std::uint64_t contentLength);
    void RecordPartial(std::uint32_t status, bool lengthKnown, std::uint64_t contentLength);
    // Ends the transfer for a reason of the tool's own; the file is kept only for a timeout.
    void Refuse(TransferStop reason, std::uint32_t value);
    // Before the body: room for what the answer announces.
    [[nodiscard]] bool RoomForBody(bool lengthKnown, std::uint64_t contentLength);
    void PauseForSpeedLimit(std::uint64_t received, std::uint64_t elapsedMs);
    void ReapThread();
    void CloseSession() noexcept;

    EventSink* owner = nullptr;
    std::wstring url;
    std::wstring localFile;
    std::wstring proxyName;
    std::wstring proxyUser;
    std::wstring proxyPassword;
    std::wstring userName;
    std::wstring password;
    std::wstring agent;  // empty: the application's title
    int accessType = 0;
    int failIfExists = 0;
    int promptProxyCredentials = 0;
    int promptServerCredentials = 0;
    double speedLimit = 0.0;
    std::uint32_t resumeOffset = 0;
    std::wstring serverName;
    std::wstring objectPath;
    std::uint32_t serviceType = 0;
    std::uint16_t port = 0;
    void* promptOwner = nullptr;
    NetworkSettings network;
    TransferBounds bounds;
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();

    std::optional<PartialDownload> partial;
    bool partialKeepable = false;  // the part's record vouches for its bytes

    std::unique_ptr<HttpSession> session;
    std::atomic<std::int32_t> abortRequested{0};
    std::atomic<std::int32_t> finished{0};
    std::atomic<std::uint32_t> resultCode{0};
    std::atomic<std::uint32_t> resultValue{0};
    std::atomic<TransferStop> stop{TransferStop::kNone};
    std::atomic<bool> running{false};
    std::atomic<std::thread::id> runner{};
    LocalFile file;
    std::unique_ptr<TransferThread> thread;
};

}  // namespace kivrel
