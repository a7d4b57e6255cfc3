#include "app/window_event_sink.h"

#include "app/window_thread.h"

namespace kivrel {

void WindowEventSink::TransferStart(std::uint32_t totalBytes) {
    thread.Send(kWmTransferStart, 0, static_cast<std::intptr_t>(totalBytes));
}

void WindowEventSink::TransferWritten(std::uint32_t dataBytes) {
    pendingWritten.fetch_add(dataBytes);
    // One message waiting is enough: its handler takes every byte added until then.
    if (!writtenRung.exchange(true)) {
        if (!thread.Post(kWmTransferWritten, 0, static_cast<std::intptr_t>(dataBytes))) {
            writtenRung = false;  // the bytes wait for the next report's post
        }
    }
}

int WindowEventSink::AskProvinces() {
    return static_cast<int>(thread.Send(kWmAskProvinces, 0, 0));
}

void WindowEventSink::DownloadFinished(std::uint32_t result, std::uint32_t value) {
    QueueDownload({kWmDownloadFinished, 0, result, value});
}

void WindowEventSink::DownloadSize(std::uint32_t contentLength, std::uint32_t resumeOffset) {
    QueueDownload({kWmDownloadSize, 0, contentLength, resumeOffset});
}

void WindowEventSink::DownloadPercent(std::uint32_t percent) {
    QueueDownload({kWmDownloadPercent, 0, percent, 0});
}

void WindowEventSink::DownloadSpeed(std::uint32_t speedCode, std::uint32_t bytesReceived) {
    QueueDownload({kWmDownloadSpeed, 0, speedCode, bytesReceived});
}

void WindowEventSink::QueueDownload(const DownloadEvent& event) {
    // Posting under the lock keeps the posts in the order of the queue.
    std::lock_guard lock(mutex);
    downloads.push_back(event);
    (void)thread.Post(event.message, event.wParam, static_cast<std::intptr_t>(event.lParam));
}

std::uint32_t WindowEventSink::TakeWritten() noexcept {
    // Re-arm before taking: bytes added after this are either taken now or rung again.
    writtenRung = false;
    return pendingWritten.exchange(0);
}

std::vector<DownloadEvent> WindowEventSink::TakeDownloadEvents() {
    std::lock_guard lock(mutex);
    std::vector<DownloadEvent> events(downloads.begin(), downloads.end());
    downloads.clear();
    return events;
}

void WindowEventSink::DiscardWritten() noexcept {
    (void)TakeWritten();
}

}  // namespace kivrel
