#include "base/gbk_text.h"

#include "base/ascii_text.h"
#include "base/text.h"

namespace kivrel {
namespace {

// GBK's two-byte characters: a lead byte 0x81-0xFE, then a trail byte 0x40-0xFE but 0x7F.
constexpr bool IsLeadByte(std::uint8_t byte) noexcept {
    return byte >= 0x81 && byte <= 0xFE;
}
constexpr bool IsTrailByte(std::uint8_t byte) noexcept {
    return byte >= 0x40 && byte <= 0xFE && byte != 0x7F;
}

// The user-defined areas decode to private-use code points on some platforms and to nothing
// on others; neither names a real character, so both show as bytes.
constexpr bool IsShowable(char32_t codePoint) noexcept {
    return codePoint >= 0xA0 && !(codePoint >= 0xD800 && codePoint <= 0xF8FF) &&
           codePoint != 0xFFFD;
}

}  // namespace

std::string GbkToUtf8(std::span<const std::uint8_t> gbk) {
    GbkConverter converter;
    std::string text;
    std::size_t i = 0;
    while (i < gbk.size()) {
        const std::uint8_t lead = gbk[i];
        if (i + 1 < gbk.size() && IsLeadByte(lead) && IsTrailByte(gbk[i + 1])) {
            // A pair the converter does not know is shown whole: resuming at its trail byte
            // would read a character that is not there.
            char32_t codePoint = 0;
            if (converter.Decode(lead, gbk[i + 1], codePoint) && IsShowable(codePoint)) {
                AppendUtf8(text, codePoint);
            } else {
                AppendPrintable(text, lead);
                AppendPrintable(text, gbk[i + 1]);
            }
            i += 2;
        } else {
            AppendPrintable(text, lead);
            ++i;
        }
    }
    return text;
}

}  // namespace kivrel
