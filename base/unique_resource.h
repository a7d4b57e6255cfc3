#pragma once

#include <utility>

namespace kivrel {

// Owns one OS handle and closes it exactly once. Moves, never copies. The traits name the
// handle type, its invalid value and how to close it; they live next to the OS calls.
template <typename Traits>
class UniqueResource {
public:
    using Native = typename Traits::Native;

    UniqueResource() = default;
    explicit UniqueResource(Native h) noexcept : handle(h) {}
    ~UniqueResource() { Reset(); }
    UniqueResource(UniqueResource&& other) noexcept
        : handle(std::exchange(other.handle, Traits::Invalid())) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            Reset();
            handle = std::exchange(other.handle, Traits::Invalid());
        }
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    [[nodiscard]] bool Valid() const noexcept { return handle != Traits::Invalid(); }
    [[nodiscard]] Native Get() const noexcept { return handle; }
    void Reset(Native replacement = Traits::Invalid()) noexcept {
        if (Valid()) Traits::Close(handle);
        handle = replacement;
    }
    // Gives up ownership without closing.
    [[nodiscard]] Native Release() noexcept { return std::exchange(handle, Traits::Invalid()); }

private:
    Native handle = Traits::Invalid();
};

}  // namespace kivrel
