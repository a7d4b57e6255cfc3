#pragma once
// The downloader's own thread for asynchronous transfers. One implementation per platform:
// Windows can force a thread to end; POSIX cannot, so there the transfer itself must notice
// the cancel flag within a bounded time.

#include <chrono>
#include <functional>
#include <memory>

namespace kivrel {

class TransferThread {
public:
    virtual ~TransferThread() = default;  // waits for the thread unless it was terminated
    // True when the thread has ended within `timeout`.
    [[nodiscard]] virtual bool WaitFor(std::chrono::milliseconds timeout) = 0;
    // Last resort after WaitFor failed: Windows terminates the thread; POSIX waits for it.
    virtual void Terminate() noexcept = 0;
};

// Starts `body` on a new thread; null when the thread could not be created.
[[nodiscard]] std::unique_ptr<TransferThread> StartTransferThread(std::function<void()> body);

}  // namespace kivrel
