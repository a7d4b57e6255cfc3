// Windows transfer threads: created suspended and resumed, like the framework thread the
// downloader has always used, and terminated when a cancel is not noticed in time.

#include <windows.h>

#include <new>

#include "base/win32_handle.h"
#include "net/transfer_thread.h"

namespace kivrel {
namespace {

DWORD WINAPI ThreadMain(void* argument) {
    auto* body = static_cast<std::function<void()>*>(argument);
    (*body)();
    return 0;
}

class Win32TransferThread final : public TransferThread {
public:
    explicit Win32TransferThread(std::function<void()> run) : body(std::move(run)) {}
    ~Win32TransferThread() override {
        if (handle.Valid() && !terminated) ::WaitForSingleObject(handle.Get(), INFINITE);
    }

    [[nodiscard]] bool Create() {
        handle.Reset(::CreateThread(nullptr, 0, ThreadMain, &body, CREATE_SUSPENDED, nullptr));
        if (!handle.Valid()) return false;
        ::SetThreadPriority(handle.Get(), THREAD_PRIORITY_NORMAL);
        ::ResumeThread(handle.Get());
        return true;
    }

    bool WaitFor(std::chrono::milliseconds timeout) override {
        if (!handle.Valid()) return true;
        return ::WaitForSingleObject(handle.Get(), static_cast<DWORD>(timeout.count())) ==
               WAIT_OBJECT_0;
    }
    void Terminate() noexcept override {
        if (!handle.Valid()) return;
        ::TerminateThread(handle.Get(), 0);
        terminated = true;
    }

private:
    std::function<void()> body;
    UniqueKernelHandle handle;
    bool terminated = false;
};

}  // namespace

std::unique_ptr<TransferThread> StartTransferThread(std::function<void()> body) {
    auto thread = std::unique_ptr<Win32TransferThread>(new (std::nothrow)
                                                           Win32TransferThread(std::move(body)));
    if (!thread || !thread->Create()) return nullptr;
    return thread;
}

}  // namespace kivrel
