#include "tests/net/download_test_support.h"

#include <atomic>
#include <fstream>
#include <iterator>

namespace kivrel::test {
namespace {

[[nodiscard]] std::filesystem::path PathOf(const std::wstring& path) {
    return std::filesystem::path(path);
}

}  // namespace

void RecordingDownloadSink::DownloadFinished(std::uint32_t result, std::uint32_t value) {
    const std::lock_guard lock(mutex);
    finished.push_back({result, value});
    changed.notify_all();
}

void RecordingDownloadSink::DownloadSize(std::uint32_t contentLength, std::uint32_t resumeOffset) {
    const std::lock_guard lock(mutex);
    sizes.push_back({contentLength, resumeOffset});
}

void RecordingDownloadSink::DownloadPercent(std::uint32_t percent) {
    const std::lock_guard lock(mutex);
    percents.push_back(percent);
    changed.notify_all();
}

void RecordingDownloadSink::DownloadSpeed(std::uint32_t, std::uint32_t) {
    const std::lock_guard lock(mutex);
    ++speeds;
    changed.notify_all();
}

bool RecordingDownloadSink::WaitForFinished(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, timeout, [this] { return !finished.empty(); });
}

bool RecordingDownloadSink::WaitForProgress(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, timeout, [this] { return !percents.empty() || speeds > 0; });
}

std::vector<Finished> RecordingDownloadSink::FinishedMessages() const {
    const std::lock_guard lock(mutex);
    return finished;
}

std::vector<Size> RecordingDownloadSink::SizeMessages() const {
    const std::lock_guard lock(mutex);
    return sizes;
}

std::vector<std::uint32_t> RecordingDownloadSink::PercentMessages() const {
    const std::lock_guard lock(mutex);
    return percents;
}

std::size_t RecordingDownloadSink::SpeedMessageCount() const {
    const std::lock_guard lock(mutex);
    return speeds;
}

ScratchFolder::ScratchFolder() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    root = std::filesystem::temp_directory_path() /
           ("kivrel-net-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(root);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

std::wstring ScratchFolder::File(const std::string& name) const {
    return (root / name).wstring();
}

bool Exists(const std::wstring& path) {
    return std::filesystem::exists(PathOf(path));
}

std::vector<std::uint8_t> ReadAll(const std::wstring& path) {
    std::ifstream in(PathOf(path), std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>());
}

void WriteAll(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(PathOf(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::wstring Widen(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

}  // namespace kivrel::test
