// POSIX transfer threads: std::thread plus a completion flag for the bounded wait.

#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "net/transfer_thread.h"

namespace kivrel {
namespace {

class PosixTransferThread final : public TransferThread {
public:
    explicit PosixTransferThread(std::function<void()> body) {
        thread = std::thread([this, run = std::move(body)] {
            run();
            const std::lock_guard lock(mutex);
            ended = true;
            endedChanged.notify_all();
        });
    }
    ~PosixTransferThread() override {
        if (thread.joinable()) thread.join();
    }

    bool WaitFor(std::chrono::milliseconds timeout) override {
        std::unique_lock lock(mutex);
        return endedChanged.wait_for(lock, timeout, [this] { return ended; });
    }
    // A thread cannot be stopped from outside here; the transfer's network waits are bounded
    // and poll the cancel flag, so joining ends soon.
    void Terminate() noexcept override {
        if (thread.joinable()) thread.join();
    }

private:
    std::mutex mutex;
    std::condition_variable endedChanged;
    bool ended = false;
    std::thread thread;  // last: starts after the members it uses exist
};

}  // namespace

std::unique_ptr<TransferThread> StartTransferThread(std::function<void()> body) {
    try {
        return std::make_unique<PosixTransferThread>(std::move(body));
    } catch (const std::system_error&) {
        return nullptr;
    }
}

}  // namespace kivrel
