#include "cli/progress_renderer.h"

#include <algorithm>
#include <cinttypes>

#include "base/text.h"
#include "net/download_progress_text.h"

namespace kivrel::cli {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kBarCells = 24;

std::string Printf(const char* format, auto... values) {
    char text[160];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

}  // namespace

ProgressRenderer::ProgressRenderer(std::FILE* out, bool terminal, Clock clock)
    : out(out), terminal(terminal), clock(std::move(clock)) {}

std::string ProgressRenderer::FormatBytes(std::uint64_t bytes) {
    if (bytes < 1024) return Printf("%" PRIu64 " B", bytes);
    if (bytes < 1024 * 1024) return Printf("%.1f KiB", static_cast<double>(bytes) / 1024.0);
    return Printf("%.2f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
}

std::string ProgressRenderer::FormatDuration(std::uint64_t seconds) {
    const std::uint64_t h = seconds / 3600, m = seconds % 3600 / 60, s = seconds % 60;
    if (h > 0) return Printf("%" PRIu64 ":%02" PRIu64 ":%02" PRIu64, h, m, s);
    return Printf("%" PRIu64 ":%02" PRIu64, m, s);
}

void ProgressRenderer::TransferStart(std::uint32_t totalBytes) {
    Finish();
    phase = Phase::kTransfer;
    total = totalBytes;
    done = 0;
    started = clock();
    drawnOnce = false;
    lastPlainDone = 0;
    Draw(true);
}

void ProgressRenderer::TransferWritten(std::uint32_t dataBytes) {
    if (phase != Phase::kTransfer) return;
    done += dataBytes;
    Draw(false);
}

void ProgressRenderer::DownloadSize(std::uint32_t contentLength, std::uint32_t resumeOffset) {
    Finish();
    phase = Phase::kDownload;
    total = contentLength;
    downloadOffset = resumeOffset;
    done = 0;
    lastSpeedCode = 0;
    started = clock();
    drawnOnce = false;
    lastPlainDone = 0;
    Draw(true);
}

void ProgressRenderer::DownloadPercent(std::uint32_t percent) {
    if (phase != Phase::kDownload || total == 0) return;
    // Percent messages come as each whole percent is reached; speed messages only once a
    // second. The percent counts the resumed bytes too.
    const std::uint64_t whole = total + downloadOffset;
    const std::uint64_t have = whole * std::min<std::uint32_t>(percent, 100) / 100;
    done = have > downloadOffset ? have - downloadOffset : 0;
    Draw(false);
}

void ProgressRenderer::DownloadFinished(std::uint32_t result, std::uint32_t) {
    if (phase != Phase::kDownload) return;
    if (result == 0 && total > 0) done = total;
    Finish();
}

void ProgressRenderer::DownloadSpeed(std::uint32_t speedCode, std::uint32_t bytesReceived) {
    if (phase != Phase::kDownload) return;
    lastSpeedCode = speedCode;
    done = bytesReceived;
    Draw(false);
}

void ProgressRenderer::Finish() {
    if (phase == Phase::kIdle) return;
    Draw(true);
    if (terminal) std::fputc('\n', out);
    std::fflush(out);
    phase = Phase::kIdle;
    lastWidth = 0;
}

void ProgressRenderer::Draw(bool force) {
    const auto now = clock();
    if (terminal) {
        if (!force && drawnOnce && now - lastDrawn < kRedrawInterval) return;
        std::string line = phase == Phase::kTransfer ? TransferLine() : DownloadLine();
        const std::size_t width = line.size();
        // Blank out what is left of a longer previous line.
        if (width < lastWidth) line.append(lastWidth - width, ' ');
        std::fprintf(out, "\r%s", line.c_str());
        std::fflush(out);
        lastWidth = width;
    } else {
        // Logs get one line per tenth of the way, the first one included, and the last state
        // when it falls between tenths (a transfer that stopped part-way).
        const std::uint64_t shown = std::min(done, total);
        const auto tenthOf = [this](std::uint64_t bytes) {
            return total == 0 ? 0 : bytes * 10 / total;
        };
        if (drawnOnce && tenthOf(shown) == tenthOf(lastPlainDone) &&
            !(force && shown != lastPlainDone)) {
            return;
        }
        lastPlainDone = shown;
        const std::string line = phase == Phase::kTransfer ? TransferLine() : DownloadLine();
        std::fprintf(out, "%s\n", line.c_str());
        std::fflush(out);
    }
    lastDrawn = now;
    drawnOnce = true;
}

std::string ProgressRenderer::TransferLine() const {
    const double fraction =
        total == 0 ? 0.0 : std::min(1.0, static_cast<double>(done) / static_cast<double>(total));
    const double seconds = std::chrono::duration<double>(clock() - started).count();
    const double rate = seconds > 0.0 ? static_cast<double>(done) / seconds : 0.0;
    std::string bar(kBarCells, '.');
    std::fill_n(bar.begin(), static_cast<int>(fraction * kBarCells), '#');
    std::string line = Printf("Writing [%s] %6.2f%%  %s / %s  %.1f KB/s  elapsed %s", bar.c_str(),
                              fraction * 100.0, FormatBytes(std::min(done, total)).c_str(),
                              FormatBytes(total).c_str(), rate / 1024.0,
                              FormatDuration(static_cast<std::uint64_t>(seconds)).c_str());
    if (rate > 0.0 && done < total) {
        const auto left = static_cast<std::uint64_t>(static_cast<double>(total - done) / rate);
        line += "  remaining " + FormatDuration(left);
    }
    return line;
}

std::string ProgressRenderer::DownloadLine() const {
    const std::uint64_t whole = total + downloadOffset;
    const std::uint64_t have = done + downloadOffset;
    std::string line = "Downloading ";
    if (total > 0) {
        const double fraction =
            std::min(1.0, static_cast<double>(have) / static_cast<double>(whole));
        line += Printf("%6.2f%%  ", fraction * 100.0);
        line += FormatBytes(std::min(have, whole)) + " / " + FormatBytes(whole);
    } else {
        line += FormatBytes(have);
    }
    line += Printf("  %.2f KB/s", lastSpeedCode / 100000.0);
    // The same remaining time as the window's download text; none while the speed is 0.
    if (total > 0 && done < total) {
        const auto left = RemainingSeconds(static_cast<std::uint32_t>(done),
                                           static_cast<std::uint32_t>(total), lastSpeedCode);
        if (left) line += "  remaining " + WideToUtf8(RemainingTimeText(*left));
    }
    return line;
}

}  // namespace kivrel::cli
