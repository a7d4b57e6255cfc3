// Downloads one large file from a local server with CHttpDownload and with `curl -o`, in
// turns, and prints both throughputs. Usage: net_download_driver [MiB] [runs]

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/event_sink.h"
#include "net/http_download.h"
#include "tests/support/http_test_server.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

class ResultSink final : public kivrel::NullEventSink {
public:
    void DownloadFinished(std::uint32_t code, std::uint32_t) override { result = code; }
    std::uint32_t result = 99;
};

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// CPU seconds the client spent: the calling thread for the downloader, the child for curl.
double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double ChildCpuSeconds(const rusage& usage) {
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double cpuSeconds = 0.0;  // of the last download

// Seconds for one download by CHttpDownload, or a negative value on failure.
double RunKivrel(const std::string& url, const std::filesystem::path& file) {
    ResultSink sink;
    kivrel::CHttpDownload downloader;
    downloader.SetParameters(&sink, std::wstring(url.begin(), url.end()), file.wstring(), L"", L"",
                             L"", L"", L"", 1, 0, 0, 0, 0.0, 0);
    const auto start = Clock::now();
    const double cpuStart = ThreadCpuSeconds();
    const std::wstring error = downloader.Start(true);
    const double seconds = Seconds(Clock::now() - start);
    cpuSeconds = ThreadCpuSeconds() - cpuStart;
    return error.empty() && sink.result == 0 ? seconds : -1.0;
}

double RunCurl(const std::string& url, const std::filesystem::path& file) {
    const std::string target = file.string();
    std::vector<char*> argv = {const_cast<char*>("curl"),      const_cast<char*>("-s"),
                               const_cast<char*>("--noproxy"), const_cast<char*>("*"),
                               const_cast<char*>("-o"),        const_cast<char*>(target.c_str()),
                               const_cast<char*>(url.c_str()), nullptr};
    const auto start = Clock::now();
    pid_t child = 0;
    if (posix_spawnp(&child, "curl", nullptr, nullptr, argv.data(), environ) != 0) return -1.0;
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) return -1.0;
    const double seconds = Seconds(Clock::now() - start);
    cpuSeconds = ChildCpuSeconds(usage);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1.0;
}

// The downloaded file must be the served bytes, or the figures mean nothing.
bool SameBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& expected) {
    std::FILE* in = std::fopen(file.c_str(), "rb");
    if (in == nullptr) return false;
    std::vector<std::uint8_t> chunk(1 << 20);
    std::size_t offset = 0;
    bool same = true;
    while (same) {
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), in);
        if (got == 0) break;
        same = offset + got <= expected.size() &&
               std::equal(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got),
                          expected.begin() + static_cast<std::ptrdiff_t>(offset));
        offset += got;
    }
    std::fclose(in);
    return same && offset == expected.size();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::size_t bytes = mib * 1024 * 1024;

    kivrel::test::HttpTestServer server;
    if (!server.Started() || runs < 1 || mib == 0) {
        std::fprintf(stderr, "cannot start the local server\n");
        return 1;
    }
    const std::vector<std::uint8_t> body = kivrel::test::PatternBytes(bytes);
    server.ServeBytes("/big.bin", body);
    const std::string url = server.Url("/big.bin");
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kivrel-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path file = folder / "big.bin";

    std::vector<double> kivrelRates;
    std::vector<double> curlRates;
    std::vector<double> kivrelCpu;
    std::vector<double> curlCpu;
    const double megabytes = static_cast<double>(bytes) / 1e6;
    for (int run = 0; run < runs; ++run) {
        for (const bool curl : {false, true}) {
            std::filesystem::remove(file);
            const double seconds = curl ? RunCurl(url, file) : RunKivrel(url, file);
            if (seconds <= 0 || !SameBytes(file, body)) {
                std::fprintf(stderr, "%s download failed\n", curl ? "curl" : "kivrel");
                std::filesystem::remove_all(folder);
                return 1;
            }
            (curl ? curlRates : kivrelRates).push_back(megabytes / seconds);
            (curl ? curlCpu : kivrelCpu).push_back(cpuSeconds);
            std::printf("run %d %-7s %8.1f MB/s  %.3f s CPU\n", run + 1, curl ? "curl" : "kivrel",
                        megabytes / seconds, cpuSeconds);
        }
    }
    std::filesystem::remove_all(folder);
    const double kivrelMedian = Median(kivrelRates);
    const double curlMedian = Median(curlRates);
    const double ratio = kivrelMedian / curlMedian;
    std::printf(
        "%zu MiB, median of %d: kivrel %.1f MB/s (%.3f s CPU), curl %.1f MB/s (%.3f s CPU)\n", mib,
        runs, kivrelMedian, Median(kivrelCpu), curlMedian, Median(curlCpu));
    std::printf("throughput ratio %.2f (goal >= 0.80: %s)\n", ratio,
                ratio >= 0.8 ? "met" : "NOT met");
    return 0;
}
