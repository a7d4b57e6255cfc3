// Names from update files are GBK: a name outside the tool's own list must still read as its
// characters, and bytes that are not GBK must show as bytes, never as other characters.

#include "base/gbk_text.h"

#include <gtest/gtest.h>

#include <string_view>

namespace kivrel {
namespace {

std::string Decode(std::string_view gbk) {
    return GbkToUtf8({reinterpret_cast<const std::uint8_t*>(gbk.data()), gbk.size()});
}

TEST(GbkText, DecodesNamesAndShowsWhatIsNotGbkAsBytes) {
    if (Decode("\xCC\xA8") == "\\xCC\\xA8") GTEST_SKIP() << "the system has no GBK converter";
    struct Case {
        std::string_view gbk;
        std::string_view utf8;
    };
    const Case cases[] = {
        {"\xCC\xA8\xB1\xB1", "\xE5\x8F\xB0\xE5\x8C\x97"},      // 台北
        {"\xBB\xF0\xD0\xC7", "\xE7\x81\xAB\xE6\x98\x9F"},      // 火星
        {"\xC9\xEE\xDB\xDA 2", "\xE6\xB7\xB1\xE5\x9C\xB3 2"},  // 深圳 2
        {"Zone-9", "Zone-9"},
        {"", ""},
        {"\xB1\xB1\xCC", "\xE5\x8C\x97\\xCC"},           // a lead byte at the end
        {"\xB1 \xB1\xB1", "\\xB1 \xE5\x8C\x97"},         // a lead byte before a blank
        {"\xB1\x7F", "\\xB1\\x7F"},                      // 0x7F is no trail byte
        {"\x80\xFF", "\\x80\\xFF"},                      // never a character on their own
        {"\xA1\x40\xB1\xB1", "\\xA1@\xE5\x8C\x97"},      // user-defined: shown whole
        {"\xA2\xA0\xB1\xB1", "\\xA2\\xA0\xE5\x8C\x97"},  // unassigned: shown whole
        {"a\\x41\n\x1B[2J", "a\\x5Cx41\\x0A\\x1B[2J"},   // nothing a terminal acts on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.gbk));
        EXPECT_EQ(Decode(c.gbk), c.utf8);
    }
}

}  // namespace
}  // namespace kivrel
