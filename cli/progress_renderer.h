#pragma once
// Progress of a unit transfer or a download on stderr: a bar redrawn in place at most ten
// times a second on a terminal, plain lines otherwise (logs and pipes).

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "base/event_sink.h"

namespace kivrel::cli {

class ProgressRenderer : public NullEventSink {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // `out` is written only by this object; `terminal` selects in-place redraws.
    ProgressRenderer(std::FILE* out, bool terminal, Clock clock = std::chrono::steady_clock::now);

    void TransferStart(std::uint32_t totalBytes) override;
    void TransferWritten(std::uint32_t dataBytes) override;
    void DownloadSize(std::uint32_t contentLength, std::uint32_t resumeOffset) override;
    void DownloadPercent(std::uint32_t percent) override;
    void DownloadSpeed(std::uint32_t speedCode, std::uint32_t bytesReceived) override;
    // A download that ended well has all its bytes, whatever the last message said.
    void DownloadFinished(std::uint32_t result, std::uint32_t value) override;

    // Ends the current bar with a last drawing and a line end; safe to call twice.
    void Finish();

    // "1.50 MiB", "512 B": sizes in binary units.
    [[nodiscard]] static std::string FormatBytes(std::uint64_t bytes);
    // "0:07", "12:34", "1:02:03".
    [[nodiscard]] static std::string FormatDuration(std::uint64_t seconds);

private:
    enum class Phase { kIdle, kTransfer, kDownload };

    void Draw(bool force);
    [[nodiscard]] std::string TransferLine() const;
    [[nodiscard]] std::string DownloadLine() const;

    std::FILE* out;
    bool terminal;
    Clock clock;

    Phase phase = Phase::kIdle;
    std::chrono::steady_clock::time_point started{};
    std::chrono::steady_clock::time_point lastDrawn{};
    bool drawnOnce = false;
    std::size_t lastWidth = 0;
    std::uint64_t lastPlainDone = 0;

    std::uint64_t total = 0;
    std::uint64_t done = 0;
    std::uint32_t downloadOffset = 0;
    std::uint32_t lastSpeedCode = 0;
};

}  // namespace kivrel::cli
