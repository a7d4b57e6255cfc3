#pragma once
// Names in update files (provinces, vendor tags) are GBK text; terminals and JSON want UTF-8.
// The platform's own converter decodes them: iconv's "GBK", or code page 936 on Windows.

#include <cstdint>
#include <span>
#include <string>

namespace kivrel {

// The UTF-8 text of GBK bytes. Printable ASCII stays as it is. A byte that does not begin a
// character the converter knows, and every control character and backslash, is shown as \xNN
// (AppendPrintable), so nothing is dropped and nothing is shown as another character. Without
// a GBK converter on the system every byte above 0x7F is shown so.
[[nodiscard]] std::string GbkToUtf8(std::span<const std::uint8_t> gbk);

// The platform's converter, one two-byte character at a time; each platform file has one.
class GbkConverter {
public:
    GbkConverter();
    ~GbkConverter();
    GbkConverter(const GbkConverter&) = delete;
    GbkConverter& operator=(const GbkConverter&) = delete;

    // The code point of the character made of `lead` and `trail`; false when the converter
    // has none for them.
    [[nodiscard]] bool Decode(std::uint8_t lead, std::uint8_t trail, char32_t& codePoint);

private:
    void* descriptor = nullptr;  // iconv's; code page 936 needs none
};

}  // namespace kivrel
