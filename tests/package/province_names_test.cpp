// The province table is GBK text compared byte for byte with update files; a wrong byte loses
// a province's data, a wrong UTF-8 name shows the user another province, and a misread list
// sends provinces the user did not name.

#include "package/province_names.h"

#include <gtest/gtest.h>

#include <set>

#include "base/gbk_text.h"

namespace kivrel {
namespace {

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(ProvinceNames, EachGbkNameDecodesToItsUtf8NameAndFitsItsField) {
    if (GbkToUtf8(Bytes(kProvinceNames[0].gbk)) != kProvinceNames[0].utf8) {
        GTEST_SKIP() << "the system has no GBK converter";
    }
    std::set<std::string_view> seen;
    for (std::size_t i = 0; i < kProvinceNames.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(GbkToUtf8(Bytes(kProvinceNames[i].gbk)), kProvinceNames[i].utf8);
        EXPECT_LT(kProvinceNames[i].gbk.size(), kProvinceNameTableBytes);
        EXPECT_TRUE(seen.insert(kProvinceNames[i].gbk).second);
    }
    EXPECT_EQ(kProvinceNames[0].utf8, "\xE5\x8C\x97\xE4\xBA\xAC");   // 北京
    EXPECT_EQ(kProvinceNames[32].utf8, "\xE6\xBE\xB3\xE9\x97\xA8");  // 澳门
    EXPECT_EQ(kProvinceNames[33].utf8, "\xE5\x8F\xB0\xE6\xB9\xBE");  // 台湾
}

std::vector<std::uint8_t> Field(std::string_view text, std::size_t size = 50) {
    std::vector<std::uint8_t> field(size, 0);
    std::copy(text.begin(), text.end(), field.begin());
    return field;
}

TEST(ProvinceNames, ComparesWithinTheFieldFoldingAsciiCase) {
    struct Case {
        std::vector<std::uint8_t> field;
        std::string_view name;
        bool equal;
    };
    const Case cases[] = {
        {Field("Macau"), "MACAU", true},
        {Field("macau2"), "MACAU", false},
        {Field("MAC"), "MACAU", false},
        {Field(std::string(50, 'A')),
         std::string_view("AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"), true},
        {Field(std::string(50, 'A')), "A", false},
        {Field(kProvinceNames[4].gbk), kProvinceNames[4].gbk, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name));
        EXPECT_EQ(ProvinceNameEquals(c.field, c.name), c.equal);
    }
}

TEST(ProvinceNames, DisplaysEveryNameInUtf8AndEscapesOnlyBytesThatAreNotGbk) {
    EXPECT_EQ(ProvinceNameForDisplay(Field(kProvinceNames[27].gbk)), kProvinceNames[27].utf8);
    EXPECT_EQ(ProvinceNameForDisplay(Field("Zone\x01")), "Zone\\x01");
    if (GbkToUtf8(Bytes("\xCC\xA8")) == "\\xCC\\xA8") GTEST_SKIP() << "no GBK converter";
    EXPECT_EQ(ProvinceNameForDisplay(Field("\xCC\xA8\xB1\xB1")),  // 台北
              "\xE5\x8F\xB0\xE5\x8C\x97");
    EXPECT_EQ(ProvinceNameForDisplay(Field("\xBB\xF0\xD0\xC7\xFF")),  // 火星, then no GBK
              "\xE7\x81\xAB\xE6\x98\x9F\\xFF");
    // A name filling the whole 50-byte field, with no zero to end it, is read to its end.
    std::string taiGbk, taiUtf8;
    for (int i = 0; i < 25; ++i) {
        taiGbk += "\xCC\xA8";  // 台
        taiUtf8 += "\xE5\x8F\xB0";
    }
    EXPECT_EQ(ProvinceNameForDisplay(Field(taiGbk)), taiUtf8);
}

TEST(ProvinceNames, ListsNameProvincesByDecimalIndexOrUtf8Name) {
    struct Case {
        std::string list;
        std::vector<std::size_t> chosen;  // empty: refused
    };
    const std::string twelve = "0,1,2,3,4,5,6,7,8,9,10,11";
    const Case cases[] = {
        {"010", {10}},  // decimal, not octal
        {"0", {0}},
        {"33", {33}},
        {"0033", {33}},
        {"34", {}},
        {"-1", {}},
        {"+1", {}},
        {"", {}},
        {" , ", {}},
        {"1x", {}},
        {"0x1", {}},
        {"99999999999999999999999", {}},
        {"\xE5\xB9\xBF\xE4\xB8\x9C", {27}},              // 广东
        {"\xB9\xE3\xB6\xAB", {}},                        // 广东 in GBK
        {"\xE5\x8C\x97\xE4\xBA\xAC, 33 ,\t0", {0, 33}},  // 北京, blanks around
        {"5,5,\xE5\x90\x89\xE6\x9E\x97", {5}},           // 吉林 is 5: chosen once
        {twelve, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {twelve + ",12", {}},                                     // thirteen
        {twelve + ",0", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},  // twelve, one twice
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list);
        std::array<std::int32_t, kProvinceCount> flags{};
        const std::string error = ParseProvinceList(c.list, flags);
        EXPECT_EQ(error.empty(), !c.chosen.empty()) << error;
        if (!error.empty()) continue;
        std::vector<std::size_t> chosen;
        for (std::size_t i = 0; i < kProvinceCount; ++i) {
            if (flags[i] != 0) chosen.push_back(i);
        }
        EXPECT_EQ(chosen, c.chosen);
    }
}

}  // namespace
}  // namespace kivrel
