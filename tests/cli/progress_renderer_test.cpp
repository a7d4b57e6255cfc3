// The command line's progress display: throttled redraws on a terminal, one line per tenth in
// logs, and honest figures (never above 100 %, no remaining time before a rate is known).

#include "cli/progress_renderer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace kivrel::cli {
namespace {

class FakeClock {
public:
    std::chrono::steady_clock::time_point now{};
    void Advance(int milliseconds) { now += std::chrono::milliseconds(milliseconds); }
    ProgressRenderer::Clock Get() {
        return [this] { return now; };
    }
};

std::string Contents(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    return text;
}

std::size_t Count(const std::string& text, char c) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), c));
}

TEST(ProgressRenderer, TerminalRedrawsAtMostTenTimesASecond) {
    FakeClock clock;
    std::FILE* out = std::tmpfile();
    ProgressRenderer progress(out, true, clock.Get());
    progress.TransferStart(64 * 1000);
    for (int i = 0; i < 1000; ++i) {
        clock.Advance(1);  // one report per millisecond: a second in all
        progress.TransferWritten(64);
    }
    progress.Finish();
    const std::string text = Contents(out);
    // The first drawing, ten throttled ones over the second, and the final one.
    EXPECT_LE(Count(text, '\r'), 12u);
    EXPECT_GE(Count(text, '\r'), 10u);
    EXPECT_EQ(Count(text, '\n'), 1u);
    EXPECT_NE(text.rfind("100.00%"), std::string::npos);
    EXPECT_NE(text.rfind("62.5 KiB / 62.5 KiB"), std::string::npos);
    std::fclose(out);
}

TEST(ProgressRenderer, LogsGetOneLinePerTenthAndNeverMoreThanAHundredPercent) {
    FakeClock clock;
    std::FILE* out = std::tmpfile();
    ProgressRenderer progress(out, false, clock.Get());
    progress.TransferStart(6400);
    for (int i = 0; i < 120; ++i) {  // more reports than announced
        clock.Advance(10);
        progress.TransferWritten(64);
    }
    progress.Finish();
    const std::string text = Contents(out);
    EXPECT_EQ(Count(text, '\r'), 0u);
    EXPECT_EQ(Count(text, '\n'), 11u);  // 0 %, 10 %, ..., 100 %
    EXPECT_EQ(text.find("100.00%"), text.rfind("100.00%"));
    EXPECT_EQ(text.find("120.00%"), std::string::npos);
    std::fclose(out);
}

TEST(ProgressRenderer, RemainingTimeAppearsOnlyOnceARateIsKnown) {
    FakeClock clock;
    std::FILE* out = std::tmpfile();
    ProgressRenderer progress(out, false, clock.Get());
    progress.TransferStart(1024 * 100);
    clock.Advance(1000);
    for (int i = 0; i < 160; ++i) progress.TransferWritten(64);  // 10 KiB in a second
    progress.Finish();
    const std::string text = Contents(out);
    const std::string first = text.substr(0, text.find('\n'));
    EXPECT_EQ(first.find("remaining"), std::string::npos);
    EXPECT_NE(text.find("10.0 KB/s"), std::string::npos);
    EXPECT_NE(text.find("remaining 0:09"), std::string::npos);
    std::fclose(out);
}

TEST(ProgressRenderer, DownloadsShowPercentSpeedAndTheWindowsRemainingTime) {
    FakeClock clock;
    std::FILE* out = std::tmpfile();
    ProgressRenderer progress(out, false, clock.Get());
    progress.DownloadSize(4194304, 0);
    progress.DownloadSpeed(50 * 100000, 1048576);  // 50 KB/s with a quarter done
    progress.DownloadPercent(50);
    progress.DownloadFinished(0, 0);
    const std::string text = Contents(out);
    EXPECT_NE(text.find("25.00%  1.00 MiB / 4.00 MiB  50.00 KB/s  remaining 1Minute1Second"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" 50.00%"), std::string::npos);
    EXPECT_NE(text.find("100.00%  4.00 MiB / 4.00 MiB"), std::string::npos);
    std::fclose(out);
}

TEST(ProgressRenderer, FormatsSizesAndDurations) {
    EXPECT_EQ(ProgressRenderer::FormatBytes(512), "512 B");
    EXPECT_EQ(ProgressRenderer::FormatBytes(1536), "1.5 KiB");
    EXPECT_EQ(ProgressRenderer::FormatBytes(3 * 1024 * 1024 / 2), "1.50 MiB");
    EXPECT_EQ(ProgressRenderer::FormatDuration(7), "0:07");
    EXPECT_EQ(ProgressRenderer::FormatDuration(754), "12:34");
    EXPECT_EQ(ProgressRenderer::FormatDuration(3723), "1:02:03");
}

}  // namespace
}  // namespace kivrel::cli
