#pragma once
// The 27-byte frame of every command and reply, carried in bytes 1-27 of one report:
// code, length 0x17, word_a, word_b, word_c, bank, data_sum, "HIDC", frame_sum.

#include <array>
#include <cstdint>
#include <span>

#include "device/hid_transport.h"

namespace kivrel {

inline constexpr std::size_t kFrameBytes = 27;
inline constexpr std::uint8_t kFrameLength = 0x17;            // the bytes frame_sum covers
inline constexpr std::uint32_t kFrameSignature = 0x43444948;  // "HIDC"
inline constexpr std::uint8_t kReportFiller = 0xCC;
inline constexpr std::uint32_t kMagicA = 0x12345678;
inline constexpr std::uint32_t kMagicB = 0xABCDEF01;

enum class CommandCode : std::uint8_t {
    kEraseSectors = 0xF1,
    kReadBlock = 0xF2,
    kWriteBlocks = 0xF3,
    kSettingsDone = 0xF4,
    kQueryVersion = 0xF7,
    kFinishUpdate = 0xF9,
    kAbandonUnit = 0xFA,
    kQueryCapacity = 0xFB,
};

// True for the code of a command of the table above.
[[nodiscard]] constexpr bool IsCommandCode(std::uint8_t code) noexcept {
    switch (static_cast<CommandCode>(code)) {
        case CommandCode::kEraseSectors:
        case CommandCode::kReadBlock:
        case CommandCode::kWriteBlocks:
        case CommandCode::kSettingsDone:
        case CommandCode::kQueryVersion:
        case CommandCode::kFinishUpdate:
        case CommandCode::kAbandonUnit:
        case CommandCode::kQueryCapacity:
            return true;
    }
    return false;
}

struct CommandFrame {
    std::uint8_t code = 0;
    std::uint8_t length = 0;
    std::uint32_t wordA = 0;  // a reply's status: 0 = success
    std::uint32_t wordB = 0;  // a reply's value
    std::uint32_t wordC = 0;
    std::uint8_t bank = 0;
    std::uint32_t dataSum = 0;
    std::uint32_t signature = 0;
    std::uint32_t frameSum = 0;

    friend bool operator==(const CommandFrame&, const CommandFrame&) = default;
};

// A command with length, signature and frame_sum filled in.
[[nodiscard]] CommandFrame MakeCommandFrame(CommandCode code, std::uint32_t wordA,
                                            std::uint32_t wordB, std::uint32_t wordC,
                                            std::uint8_t bank, std::uint32_t dataSum) noexcept;

// The 27 bytes of a frame, fields written as they are (frame_sum is not recomputed).
[[nodiscard]] std::array<std::uint8_t, kFrameBytes> EncodeFrame(const CommandFrame& frame) noexcept;
// The byte sum of the first 23 frame bytes: what frame_sum must hold.
[[nodiscard]] std::uint32_t FrameSumOf(const CommandFrame& frame) noexcept;

// A command report: byte 0 = 0, the frame in bytes 1-27, 0xCC after it.
void WriteFrame(const CommandFrame& frame, std::span<std::uint8_t, kReportBytes> report) noexcept;

// Reads the frame from bytes 1-27 of a report of which `report.size()` bytes arrived (missing
// bytes read as zero) and checks it: length 0x17, signature "HIDC" and frame_sum. The code is
// not checked. On false `frame` is all zero; on true it holds all 27 bytes, whatever the status.
[[nodiscard]] bool ParseReplyFrame(std::span<const std::uint8_t> report,
                                   CommandFrame& frame) noexcept;

// The unit's side: a well-formed command report also has byte 0 = 0 and 0xCC filler after the
// frame.
[[nodiscard]] bool ParseCommandReport(std::span<const std::uint8_t> report,
                                      CommandFrame& frame) noexcept;

}  // namespace kivrel
