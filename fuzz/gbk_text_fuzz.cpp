// Province names and vendor tags come from update files. Their display text must be UTF-8 with
// nothing a terminal acts on, and must account for every byte: each printable ASCII character
// or \xNN escape stands for one byte, each other character for one two-byte GBK character.

#include <cstdint>
#include <span>
#include <string_view>

#include "base/gbk_text.h"
#include "base/text.h"

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> gbk(data, size);
    const std::string text = kivrel::GbkToUtf8(gbk);
    std::string_view rest = text;
    std::size_t used = 0;  // input bytes accounted for
    while (!rest.empty()) {
        char32_t codePoint = 0;
        const std::size_t length = kivrel::DecodeUtf8(rest, codePoint);
        if (length == 0 || codePoint < 0x20 || codePoint == 0x7F) __builtin_trap();
        if (codePoint == '\\') {
            if (rest.size() < 4 || rest[1] != 'x' || HexDigit(rest[2]) < 0 ||
                HexDigit(rest[3]) < 0 || used >= size ||
                data[used] != HexDigit(rest[2]) * 16 + HexDigit(rest[3])) {
                __builtin_trap();
            }
            rest.remove_prefix(4);
            used += 1;
        } else if (codePoint < 0x80) {
            if (used >= size || data[used] != codePoint) __builtin_trap();
            rest.remove_prefix(1);
            used += 1;
        } else {
            // A decoded character: a lead byte and a trail byte.
            if (used + 1 >= size || data[used] < 0x81 || data[used] == 0xFF) __builtin_trap();
            rest.remove_prefix(length);
            used += 2;
        }
    }
    if (used != size) __builtin_trap();
    return 0;
}
