// Wide text and UTF-8 must convert both ways without losing or inventing characters.

#include "base/text.h"

#include <gtest/gtest.h>

namespace kivrel {
namespace {

TEST(Text, RoundTripsChineseAndAstralCharacters) {
    const std::wstring wide = L"北京 Update \U0001F697";
    const std::string utf8 = "\xE5\x8C\x97\xE4\xBA\xAC Update \xF0\x9F\x9A\x97";
    EXPECT_EQ(WideToUtf8(wide), utf8);
    EXPECT_EQ(Utf8ToWide(utf8), wide);
}

TEST(Text, InvalidUtf8BecomesReplacementCharacters) {
    struct Case {
        std::string_view in;
        std::wstring out;
    };
    const Case cases[] = {
        {"a\xFF"
         "b",
         L"a\uFFFDb"},
        {"\xC0\xAF", L"\uFFFD\uFFFD"},            // over-long form of '/'
        {"ok\xE5\x8C", L"ok\uFFFD"},              // cut in the middle of a character
        {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},  // a surrogate encoded on its own
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.in));
        EXPECT_EQ(Utf8ToWide(c.in), c.out);
    }
}

}  // namespace
}  // namespace kivrel
