#pragma once
// The two readers the loader works through: a file on disk and bytes already in memory.

#include <cstdint>
#include <fstream>
#include <span>
#include <string>

#include "package/update_package.h"

namespace kivrel {

// Reads straight from a file, so a package never needs a second whole-file copy in memory.
class FileByteSource final : public ByteSource {
public:
    // Opens for binary reading. The path is wide text: UTF-16 on Windows, and converted to
    // UTF-8 for the file system elsewhere.
    [[nodiscard]] bool Open(const std::wstring& path);
    [[nodiscard]] bool IsOpen() const noexcept { return file.is_open(); }
    [[nodiscard]] std::uint64_t Size() const override { return size; }
    [[nodiscard]] bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

private:
    std::ifstream file;
    std::uint64_t size = 0;
};

class MemoryByteSource final : public ByteSource {
public:
    explicit MemoryByteSource(std::span<const std::uint8_t> data) noexcept : bytes(data) {}
    [[nodiscard]] std::uint64_t Size() const override { return bytes.size(); }
    [[nodiscard]] bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

private:
    std::span<const std::uint8_t> bytes;
};

}  // namespace kivrel
