// A disk's storage device descriptor is untrusted: the vendor text must be found without
// reading past the bytes the query returned, whatever offset and text the disk gives.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>

#include "device/disk_switch.h"

using namespace kivrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so the sanitizer sees any read past the returned bytes.
    const auto copy = std::make_unique<std::uint8_t[]>(size);
    if (size > 0) std::memcpy(copy.get(), data, size);
    const std::span<const std::uint8_t> descriptor(copy.get(), size);

    for (const std::int32_t offset :
         {VendorOffsetOf(descriptor), std::int32_t{16}, static_cast<std::int32_t>(size) - 1}) {
        const std::string text = ExtractVendorText(descriptor, offset);
        if (text.size() > kVendorTextMax) __builtin_trap();
        // Decoded or copied, the text is printable, and trimmed unless it is all blanks.
        if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; })) {
            __builtin_trap();
        }
        const bool allBlank =
            std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
        if (allBlank) continue;
        // Only the cut to the buffer's size may leave a blank at the end.
        if (text.front() == ' ') __builtin_trap();
        if (text.back() == ' ' && text.size() < kVendorTextMax) __builtin_trap();
    }
    return 0;
}
