// The province table is GBK text compared byte for byte with update files; a wrong byte loses
// a province's data, a wrong UTF-8 name shows the user another province.

#include "package/province_names.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <set>

namespace kivrel {
namespace {

std::string GbkToUtf8(std::string_view gbk) {
    const iconv_t convert = iconv_open("UTF-8", "GBK");
    if (convert == reinterpret_cast<iconv_t>(-1)) return "(no GBK converter)";
    std::string in(gbk);
    std::string out(gbk.size() * 4, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    const std::size_t result = iconv(convert, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(convert);
    if (result == static_cast<std::size_t>(-1)) return "(invalid GBK)";
    out.resize(out.size() - outLeft);
    return out;
}

TEST(ProvinceNames, EachGbkNameDecodesToItsUtf8NameAndFitsItsField) {
    if (GbkToUtf8("") == "(no GBK converter)") GTEST_SKIP() << "iconv has no GBK converter";
    std::set<std::string_view> seen;
    for (std::size_t i = 0; i < kProvinceNames.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(GbkToUtf8(kProvinceNames[i].gbk), kProvinceNames[i].utf8);
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

TEST(ProvinceNames, DisplaysKnownNamesInUtf8AndEscapesUnknownBytes) {
    EXPECT_EQ(ProvinceNameForDisplay(Field(kProvinceNames[27].gbk)), kProvinceNames[27].utf8);
    EXPECT_EQ(ProvinceNameForDisplay(Field("Zone\xB1")), "Zone\\xB1");
}

}  // namespace
}  // namespace kivrel
