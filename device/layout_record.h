#pragma once
// The unit's layout record (231 bytes) and the 256-byte layout block that carries it at 0x16000:
// where the tool placed each region when it last laid the unit's memory out.

#include <array>
#include <cstdint>
#include <span>

namespace kivrel {

inline constexpr std::size_t kLayoutRecordBytes = 231;
inline constexpr std::size_t kLayoutBlockBytes = 256;
inline constexpr std::uint32_t kLayoutMarker = 0x12345678;

class LayoutRecord {
public:
    // Field offsets; 32-bit fields are little-endian and not 4-aligned.
    static constexpr std::size_t kModelId = 4;
    static constexpr std::size_t kSecondLayoutWord = 8;
    static constexpr std::size_t kSettingsRevision = 13;
    static constexpr std::size_t kCreatedFlag = 18;  // one byte
    static constexpr std::size_t kAltMainFlag = 19;  // one byte
    static constexpr std::size_t kCapacity = 59;
    static constexpr std::size_t kBase = 63;
    static constexpr std::size_t kFirstLayoutWord = 67;
    static constexpr std::size_t kAuxiliaryStart = 71;
    static constexpr std::size_t kAuxiliarySize = 75;
    static constexpr std::size_t kMainStart = 79;
    static constexpr std::size_t kMainSize = 83;
    static constexpr std::size_t kResourceStart = 87;
    static constexpr std::size_t kResourceSize = 91;
    static constexpr std::size_t kDatabaseStart = 95;
    static constexpr std::size_t kDatabaseSize = 99;
    static constexpr std::size_t kModelImageAddress = 103;
    static constexpr std::size_t kModelImageSize = 107;
    static constexpr std::size_t kEnd = 111;
    static constexpr std::size_t kMarker = 227;

    std::array<std::uint8_t, kLayoutRecordBytes> bytes{};

    [[nodiscard]] std::uint32_t Word(std::size_t offset) const noexcept;
    void SetWord(std::size_t offset, std::uint32_t value) noexcept;
    // The unit has a layout record when the marker is in place.
    [[nodiscard]] bool HasMarker() const noexcept { return Word(kMarker) == kLayoutMarker; }
    void Clear() noexcept { bytes.fill(0); }

    friend bool operator==(const LayoutRecord&, const LayoutRecord&) = default;
};

// A layout block is valid when its record carries the marker and bytes 0-3 hold the byte sum of
// bytes 4-234. On false `record` is left unchanged.
[[nodiscard]] bool ParseLayoutBlock(std::span<const std::uint8_t> block,
                                    LayoutRecord& record) noexcept;
// The block: the record's byte sum, the record, 21 bytes 0xFF.
[[nodiscard]] std::array<std::uint8_t, kLayoutBlockBytes> WriteLayoutBlock(
    const LayoutRecord& record) noexcept;

}  // namespace kivrel
