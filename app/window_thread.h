#pragma once
// How other threads reach the main window's thread: a message sent and waited for, or a
// message posted. On Windows these are SendMessageW and PostMessageW with the window's fixed
// message numbers; the tests run a queue of their own in their place.

#include <cstdint>
#include <functional>

namespace kivrel {

// Private messages of the main window, beside the fixed numbers of base/event_sink.h.
inline constexpr unsigned kWmRunOnWindowThread = 0x8000 + 0x101;  // lParam: std::function<void()>*
inline constexpr unsigned kWmWorkerEnded = 0x8000 + 0x102;        // posted by the worker

class WindowThread {
public:
    virtual ~WindowThread() = default;
    // Delivers the message on the window's thread and waits for its result. Called on the
    // window's own thread it is handled at once.
    virtual std::intptr_t Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
    // Queues the message for the window's thread; false when it could not be queued (Windows
    // refuses posts to a full queue).
    [[nodiscard]] virtual bool Post(unsigned message, std::uintptr_t wParam,
                                    std::intptr_t lParam) = 0;

    // Runs `call` on the window's thread and waits for it.
    void Run(const std::function<void()>& call) {
        auto* pointer = const_cast<std::function<void()>*>(&call);
        Send(kWmRunOnWindowThread, 0, reinterpret_cast<std::intptr_t>(pointer));
    }
};

}  // namespace kivrel
