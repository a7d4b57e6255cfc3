#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kivrel {

// Little-endian access to untrusted bytes. Every offset is checked in a form that cannot
// overflow; a failed read leaves `out` unchanged.
class LeReader {
public:
    explicit LeReader(std::span<const std::uint8_t> data) noexcept : bytes(data) {}

    // offset + length could wrap; the subtraction cannot.
    [[nodiscard]] bool Fits(std::size_t offset, std::size_t length) const noexcept {
        return offset <= bytes.size() && length <= bytes.size() - offset;
    }
    [[nodiscard]] bool U32At(std::size_t offset, std::uint32_t& out) const noexcept {
        if (!Fits(offset, 4)) return false;
        const std::uint8_t* p = bytes.data() + offset;
        out = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
              std::uint32_t{p[3]} << 24;
        return true;
    }
    [[nodiscard]] std::size_t Size() const noexcept { return bytes.size(); }

private:
    std::span<const std::uint8_t> bytes;
};

// Reads a 32-bit little-endian word from a buffer the caller has already sized.
[[nodiscard]] inline std::uint32_t GetU32(const std::uint8_t* p) noexcept {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

inline void PutU16(std::uint8_t* p, std::uint16_t value) noexcept {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void PutU32(std::uint8_t* p, std::uint32_t value) noexcept {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
    p[2] = static_cast<std::uint8_t>(value >> 16);
    p[3] = static_cast<std::uint8_t>(value >> 24);
}

}  // namespace kivrel
