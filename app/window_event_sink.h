#pragma once
// The main window's event sink: how the device operations, the downloaders and the update
// run reach the window's thread. Sent messages (transfer start, the province question) go
// through WindowThread::Send and wait. Posted ones never block and never flood the window's
// queue: a data report's bytes are added to a counter and at most one WM_TRANSFER_WRITTEN is
// waiting at any time; download messages wait in a queue of their own, each marked with the
// transfer it belongs to, and the posted message only rings the window. A post the system
// refuses loses nothing: the bytes and events stay queued for the next ring.

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "base/event_sink.h"

namespace kivrel {

class WindowThread;

struct DownloadEvent {
    unsigned message = 0;        // kWmDownloadFinished, kWmDownloadSize, ...
    std::uint32_t transfer = 0;  // which transfer sent it; 0 for none
    std::uint32_t wParam = 0;
    std::uint32_t lParam = 0;
};

class WindowEventSink : public EventSink {
public:
    explicit WindowEventSink(WindowThread& thread) : thread(thread) {}

    // A sink for one downloader: its download messages carry the transfer number set last
    // (by the window's thread, before each transfer starts).
    class Transfer : public EventSink {
    public:
        explicit Transfer(WindowEventSink& owner) : owner(owner) {}
        void SetTransfer(std::uint32_t number) noexcept { transfer = number; }
        [[nodiscard]] std::uint32_t Number() const noexcept { return transfer; }

        void TransferStart(std::uint32_t totalBytes) override { owner.TransferStart(totalBytes); }
        void TransferWritten(std::uint32_t dataBytes) override { owner.TransferWritten(dataBytes); }
        void TransferRead(std::uint32_t dataBytes) override { owner.TransferRead(dataBytes); }
        int AskProvinces() override { return owner.AskProvinces(); }
        void DownloadFinished(std::uint32_t result, std::uint32_t value) override {
            owner.QueueDownload({kWmDownloadFinished, transfer, result, value});
        }
        void DownloadSize(std::uint32_t contentLength, std::uint32_t resumeOffset) override {
            owner.QueueDownload({kWmDownloadSize, transfer, contentLength, resumeOffset});
        }
        void DownloadPercent(std::uint32_t percent) override {
            owner.QueueDownload({kWmDownloadPercent, transfer, percent, 0});
        }
        void DownloadSpeed(std::uint32_t speedCode, std::uint32_t bytesReceived) override {
            owner.QueueDownload({kWmDownloadSpeed, transfer, speedCode, bytesReceived});
        }

    private:
        WindowEventSink& owner;
        std::atomic<std::uint32_t> transfer{0};
    };

    // Any thread.
    void TransferStart(std::uint32_t totalBytes) override;
    void TransferWritten(std::uint32_t dataBytes) override;
    // The window has no use for read progress, so nothing is posted for it.
    void TransferRead(std::uint32_t) override {}
    int AskProvinces() override;
    void DownloadFinished(std::uint32_t result, std::uint32_t value) override;
    void DownloadSize(std::uint32_t contentLength, std::uint32_t resumeOffset) override;
    void DownloadPercent(std::uint32_t percent) override;
    void DownloadSpeed(std::uint32_t speedCode, std::uint32_t bytesReceived) override;

    // The window's thread, when a WM_TRANSFER_WRITTEN arrives: the bytes written since the
    // last call.
    [[nodiscard]] std::uint32_t TakeWritten() noexcept;
    // The window's thread, when any download message arrives: every queued event, oldest
    // first.
    [[nodiscard]] std::vector<DownloadEvent> TakeDownloadEvents();
    // Forgets bytes still waiting (a new transfer starts counting from 0).
    void DiscardWritten() noexcept;

    void QueueDownload(const DownloadEvent& event);

private:
    WindowThread& thread;
    std::atomic<std::uint32_t> pendingWritten{0};
    std::atomic<bool> writtenRung{false};
    std::mutex mutex;
    std::deque<DownloadEvent> downloads;
};

}  // namespace kivrel
