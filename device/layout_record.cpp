#include "device/layout_record.h"

#include <algorithm>

#include "base/byte_sum.h"
#include "base/le_bytes.h"

namespace kivrel {

std::uint32_t LayoutRecord::Word(std::size_t offset) const noexcept {
    return offset + 4 <= bytes.size() ? GetU32(bytes.data() + offset) : 0;
}

void LayoutRecord::SetWord(std::size_t offset, std::uint32_t value) noexcept {
    if (offset + 4 <= bytes.size()) PutU32(bytes.data() + offset, value);
}

bool ParseLayoutBlock(std::span<const std::uint8_t> block, LayoutRecord& record) noexcept {
    if (block.size() != kLayoutBlockBytes) return false;
    const auto body = block.subspan(4, kLayoutRecordBytes);
    if (GetU32(body.data() + LayoutRecord::kMarker) != kLayoutMarker) return false;
    if (GetU32(block.data()) != ByteSum(body)) return false;
    std::copy(body.begin(), body.end(), record.bytes.begin());
    return true;
}

std::array<std::uint8_t, kLayoutBlockBytes> WriteLayoutBlock(const LayoutRecord& record) noexcept {
    std::array<std::uint8_t, kLayoutBlockBytes> block;
    block.fill(0xFF);
    PutU32(block.data(), ByteSum(record.bytes));
    std::copy(record.bytes.begin(), record.bytes.end(), block.begin() + 4);
    return block;
}

}  // namespace kivrel
