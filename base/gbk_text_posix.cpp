#include <iconv.h>

#include "base/gbk_text.h"
#include "base/le_bytes.h"

namespace kivrel {
namespace {

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);

}  // namespace

GbkConverter::GbkConverter() {
    const iconv_t opened = iconv_open("UTF-32LE", "GBK");
    if (opened != kNoDescriptor) descriptor = opened;
}

GbkConverter::~GbkConverter() {
    if (descriptor != nullptr) iconv_close(static_cast<iconv_t>(descriptor));
}

bool GbkConverter::Decode(std::uint8_t lead, std::uint8_t trail, char32_t& codePoint) {
    if (descriptor == nullptr) return false;
    const iconv_t converter = static_cast<iconv_t>(descriptor);
    char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    unsigned char out[8] = {};
    char* inNext = in;
    char* outNext = reinterpret_cast<char*>(out);
    std::size_t inLeft = sizeof in;
    std::size_t outLeft = sizeof out;
    const std::size_t result = iconv(converter, &inNext, &inLeft, &outNext, &outLeft);
    if (result == static_cast<std::size_t>(-1) || inLeft != 0 || outLeft != sizeof out - 4) {
        iconv(converter, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        return false;
    }
    codePoint = GetU32(out);
    return true;
}

}  // namespace kivrel
