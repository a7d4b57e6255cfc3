#pragma once
// Shared pieces of the downloader tests: a sink that records the download messages, and a
// scratch folder that is removed afterwards.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "base/event_sink.h"

namespace kivrel::test {

struct Finished {
    std::uint32_t result = 0;
    std::uint32_t value = 0;
};
struct Size {
    std::uint32_t contentLength = 0;
    std::uint32_t resumeOffset = 0;
};

// Records what the downloader reports; any thread may report.
class RecordingDownloadSink final : public NullEventSink {
public:
    void DownloadFinished(std::uint32_t result, std::uint32_t value) override;
    void DownloadSize(std::uint32_t contentLength, std::uint32_t resumeOffset) override;
    void DownloadPercent(std::uint32_t percent) override;
    void DownloadSpeed(std::uint32_t speedCode, std::uint32_t bytes) override;

    // True once a finished message has come within `timeout`.
    bool WaitForFinished(std::chrono::milliseconds timeout);
    // True once a percent or speed message has come within `timeout`.
    bool WaitForProgress(std::chrono::milliseconds timeout);

    [[nodiscard]] std::vector<Finished> FinishedMessages() const;
    [[nodiscard]] std::vector<Size> SizeMessages() const;
    [[nodiscard]] std::vector<std::uint32_t> PercentMessages() const;
    [[nodiscard]] std::size_t SpeedMessageCount() const;

private:
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<Finished> finished;
    std::vector<Size> sizes;
    std::vector<std::uint32_t> percents;
    std::size_t speeds = 0;
};

// A fresh folder under the system's temp folder, deleted with everything in it.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    [[nodiscard]] const std::filesystem::path& Path() const { return root; }
    // The wide path of a file in the folder.
    [[nodiscard]] std::wstring File(const std::string& name) const;

private:
    std::filesystem::path root;
};

[[nodiscard]] bool Exists(const std::wstring& path);
[[nodiscard]] std::vector<std::uint8_t> ReadAll(const std::wstring& path);
void WriteAll(const std::wstring& path, const std::vector<std::uint8_t>& bytes);
[[nodiscard]] std::wstring Widen(const std::string& ascii);

}  // namespace kivrel::test
