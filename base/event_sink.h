#pragma once
// The main window's fixed message numbers, and the event sink through which the worker, the
// device operations and the downloader send them. The core knows no windows: the Win32 sink
// posts or sends these numbers, the command-line tool renders progress, tests record calls.

#include <cstdint>

namespace kivrel {

inline constexpr unsigned kWmTransferStart = 0x046B;     // sent: lParam = total bytes
inline constexpr unsigned kWmTransferWritten = 0x046C;   // posted: lParam = bytes of one report
inline constexpr unsigned kWmTransferRead = 0x046D;      // posted: lParam = bytes of one report
inline constexpr unsigned kWmAskProvinces = 0x07E8;      // sent: result 0 go on, 1 abandon
inline constexpr unsigned kWmDownloadFinished = 0x8051;  // posted: wParam result, lParam value
inline constexpr unsigned kWmDownloadSize = 0x8052;      // posted: content length, resume offset
inline constexpr unsigned kWmDownloadPercent = 0x8053;   // posted: percent done
inline constexpr unsigned kWmDownloadSpeed = 0x8054;     // posted: KB/s x 100000, bytes received

// How a download ended: the result DownloadFinished carries (as its number, the message's
// wParam), with the value beside it.
enum class DownloadResultCode : std::uint32_t {
    kComplete = 0,          // 0
    kSessionFailed = 1,     // the library's error code
    kRequestFailed = 2,     // connecting, opening or sending: the library's error code
    kBodyFailed = 3,        // reading the body or writing the file: the library's or the OS's
    kStatusUnreadable = 4,  // the library's error code
    kRefusedStatus = 5,     // another status than 200 and 206, or an unresolved 401 or 407
    kCancelled = 6,         // 0
};
[[nodiscard]] constexpr DownloadResultCode ToDownloadResultCode(std::uint32_t result) noexcept {
    return static_cast<DownloadResultCode>(result);
}
[[nodiscard]] constexpr std::uint32_t ToNumber(DownloadResultCode result) noexcept {
    return static_cast<std::uint32_t>(result);
}

// One member per message. "Sent" members return once the receiver has handled them;
// "posted" members must not block the caller. Any thread may call; implementations that
// touch a user interface hand the call over to its thread.
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void TransferStart(std::uint32_t totalBytes) = 0;                      // sent
    virtual void TransferWritten(std::uint32_t dataBytes) = 0;                     // posted
    virtual void TransferRead(std::uint32_t dataBytes) = 0;                        // posted
    [[nodiscard]] virtual int AskProvinces() = 0;                                  // sent
    virtual void DownloadFinished(std::uint32_t result, std::uint32_t value) = 0;  // posted
    virtual void DownloadSize(std::uint32_t contentLength, std::uint32_t resumeOffset) = 0;
    virtual void DownloadPercent(std::uint32_t percent) = 0;  // posted
    virtual void DownloadSpeed(std::uint32_t speedCode, std::uint32_t bytesReceived) = 0;
};

// A sink that ignores everything and answers "go on"; a base for sinks that care about a few.
class NullEventSink : public EventSink {
public:
    void TransferStart(std::uint32_t) override {}
    void TransferWritten(std::uint32_t) override {}
    void TransferRead(std::uint32_t) override {}
    int AskProvinces() override { return 0; }
    void DownloadFinished(std::uint32_t, std::uint32_t) override {}
    void DownloadSize(std::uint32_t, std::uint32_t) override {}
    void DownloadPercent(std::uint32_t) override {}
    void DownloadSpeed(std::uint32_t, std::uint32_t) override {}
};

}  // namespace kivrel
