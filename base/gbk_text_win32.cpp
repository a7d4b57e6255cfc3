#include <windows.h>

#include "base/gbk_text.h"

namespace kivrel {
namespace {

constexpr UINT kGbkCodePage = 936;

}  // namespace

GbkConverter::GbkConverter() = default;
GbkConverter::~GbkConverter() = default;

bool GbkConverter::Decode(std::uint8_t lead, std::uint8_t trail, char32_t& codePoint) {
    const char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    wchar_t out[2] = {};
    if (MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, in, 2, out, 2) != 1) {
        return false;
    }
    codePoint = out[0];
    return true;
}

}  // namespace kivrel
