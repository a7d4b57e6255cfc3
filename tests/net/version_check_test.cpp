// The version check decides which server a unit's database comes from and whether the user is
// asked before an update; a wrong rule or a misread version file sends the wrong database or
// none.

#include "net/version_check.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "tests/net/download_test_support.h"

namespace kivrel {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view text, std::size_t size = 0) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    if (bytes.size() < size) bytes.resize(size, 0);
    return bytes;
}

BuildDate Date(std::uint16_t year, std::uint8_t month, std::uint8_t day) {
    BuildDate date;
    date.year = year;
    date.month = month;
    date.day = day;
    return date;
}

TEST(VersionSources, HoldEightRulesWithTheirKeyLengthsInOrder) {
    const auto sources = DefaultVendorConfig().versionSources;
    ASSERT_EQ(sources.size(), 8u);
    const std::size_t keyLengths[] = {21, 11, 5, 6, 8, 10, 4, 12};
    const VersionRuleKind kinds[] = {
        VersionRuleKind::kNeutralTool, VersionRuleKind::kUnitBegins, VersionRuleKind::kUnitBegins,
        VersionRuleKind::kUnitBegins,  VersionRuleKind::kUnitBegins, VersionRuleKind::kUnitBegins,
        VersionRuleKind::kUnitBegins,  VersionRuleKind::kToolBegins,
    };
    for (std::size_t i = 0; i < sources.size(); ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(sources[i].tag.size(), keyLengths[i]);
        EXPECT_EQ(sources[i].kind, kinds[i]);
        EXPECT_EQ(sources[i].url.substr(0, 7), L"http://");
    }
    EXPECT_EQ(sources[0].tag, std::string(21, ' '));
}

TEST(SelectVersionFileUrl, TakesTheFirstRuleThatHolds) {
    const auto sources = DefaultVendorConfig().versionSources;
    const auto neutralTool = Bytes(std::string(21, ' '), 32);
    const auto otherTool = Bytes("OTHER VENDOR", 32);
    const auto companyTool = Bytes(std::string(sources[7].tag) + "XYZ", 32);
    const auto blankUnit = std::vector<std::uint8_t>(256, 0xFF);
    const std::string companyTag(DefaultVendorConfig().companyC1);
    const auto unitWith = [&](std::size_t rule, std::string_view tail = "") {
        return Bytes(std::string(sources[rule].tag) + std::string(tail), 256);
    };
    struct Case {
        const char* name;
        std::vector<std::uint8_t> identity;
        std::vector<std::uint8_t> tool;
        std::wstring_view expected;
    };
    const Case cases[] = {
        {"neutral build, any unit", unitWith(2), neutralTool, sources[0].url},
        {"brand 2", unitWith(1), otherTool, sources[1].url},
        {"brand 3", unitWith(2), otherTool, sources[2].url},
        {"a longer name starting with brand 3", unitWith(2, "2000 PRO"), otherTool, sources[2].url},
        {"brand 4", unitWith(3), otherTool, sources[3].url},
        {"company 5", unitWith(4), otherTool, sources[4].url},
        {"company 6", unitWith(5), otherTool, sources[5].url},
        {"brand 7", unitWith(6), otherTool, sources[6].url},
        {"the unit's brand comes before the tool's company", unitWith(1), companyTool,
         sources[1].url},
        {"company 8 on the tool", blankUnit, companyTool, sources[7].url},
        {"the company's own unit under the company's tool", Bytes(companyTag, 256),
         Bytes(companyTag, 32), sources[7].url},
        {"nothing holds", blankUnit, otherTool, L""},
        // A tag compared over more bytes than there are does not match.
        {"a short tool tag", std::vector<std::uint8_t>{}, Bytes(std::string(16, ' ')), L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SelectVersionFileUrl(c.identity, c.tool), c.expected);
    }
}

TEST(SelectVersionFileUrl, ComparesTagsByteForByte) {
    const auto sources = DefaultVendorConfig().versionSources;
    std::string almost(sources[6].tag);
    almost.back() = static_cast<char>(almost.back() ^ 1);
    EXPECT_EQ(SelectVersionFileUrl(Bytes(almost, 256), Bytes("OTHER", 32)), L"");
    EXPECT_EQ(SelectVersionFileUrl(Bytes(std::string(sources[2].tag).substr(0, 4), 256),
                                   Bytes("OTHER", 32)),
              L"");
}

TEST(DatabaseVersion, IsTheDateAsAnEightDigitNumber) {
    const BuildDate date = Date(2016, 3, 5);
    EXPECT_EQ(DatabaseDateText(date), L"20160305");
    EXPECT_EQ(DatabaseVersionNumber(date), 20160305u);
    EXPECT_EQ(DatabaseDateText(BuildDate{}), L"00000");
    EXPECT_EQ(DatabaseVersionNumber(BuildDate{}), 0u);
    // A blank unit's erased region is no date, and never "already the newest".
    EXPECT_EQ(DatabaseDateText(SecondsToDate(0xFFFFFFFFu)), L"");
    EXPECT_EQ(DatabaseVersionNumber(SecondsToDate(0xFFFFFFFFu)), 0u);
    EXPECT_FALSE(AskBeforeUpdate(DatabaseVersionNumber(SecondsToDate(0xFFFFFFFFu)), 20240501));
    // Out-of-range parts saturate instead of wrapping into a small, "older" number.
    EXPECT_EQ(DatabaseVersionNumber(Date(65535, 255, 255)), 0xFFFFFFFFu);
}

TEST(AskBeforeUpdate, AsksOnlyWhenTheUnitIsAlreadyAsNew) {
    struct Case {
        std::uint32_t unit;
        std::int32_t online;
        bool asks;
    };
    constexpr Case cases[] = {
        {20160305, 20160305, true},    {20160306, 20160305, true}, {20160304, 20160305, false},
        {0, 20160305, false},          {20160305, 0, false},       {20160305, -1, false},
        {0xFFFFFFFFu, 20160305, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.unit) + " vs " + std::to_string(c.online));
        EXPECT_EQ(AskBeforeUpdate(c.unit, c.online), c.asks);
    }
}

TEST(ParseVersionText, ReadsTheVersionAndTheArchiveAddress) {
    struct Case {
        const char* name;
        std::string text;
        bool parses;
        std::int32_t version;
        std::wstring url;
    };
    const std::string longLine(300, '7');
    const Case cases[] = {
        {"CR LF line ends", "20160305\r\nhttp://h/db.zip\r\n", true, 20160305, L"http://h/db.zip"},
        {"LF line ends", "20160305\nhttp://h/db.zip\n", true, 20160305, L"http://h/db.zip"},
        {"no line end at the end", "20160305\nhttp://h/db.zip", true, 20160305, L"http://h/db.zip"},
        {"only one CR removed", "20160305\nhttp://h/db.zip\r\r\n", true, 20160305,
         L"http://h/db.zip\r"},
        {"further lines ignored", "1\nhttp://h/a.7z\nthird\n", true, 1, L"http://h/a.7z"},
        {"blanks and a sign", "  +20160305 new\nu\n", true, 20160305, L"u"},
        {"no digits gives 0", "latest\nhttp://h/db.rar\n", true, 0, L"http://h/db.rar"},
        {"too large saturates", "99999999999\nu\n", true, 2147483647, L"u"},
        {"one line only", "20160305\r\n", false, 0, L""},
        {"empty file", "", false, 0, L""},
        {"empty first line", "\nhttp://h/db.zip\n", true, 0, L"http://h/db.zip"},
        {"blank second line names no archive", "20160305\n\n", false, 0, L""},
        {"text after a zero byte is not seen", std::string("2016\0junk\n", 10) + "u\n", true, 2016,
         L"u"},
        // 259 characters per read: the rest of a long first line is read as the second.
        {"a long first line", longLine + "\nhttp://h/db.zip\n", true, 2147483647,
         std::wstring(41, L'7')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::uint8_t> bytes(c.text.begin(), c.text.end());
        const auto parsed = ParseVersionText(bytes);
        ASSERT_EQ(parsed.has_value(), c.parses);
        if (!parsed) continue;
        EXPECT_EQ(parsed->version, c.version);
        EXPECT_EQ(parsed->archiveUrl, c.url);
    }
}

TEST(ParseVersionText, KeepsTheFirstLineWithoutItsLineEndForTheStatusText) {
    const std::string text = "20160305\r\nhttp://h/db.zip\r\n";
    const auto parsed = ParseVersionText(std::vector<std::uint8_t>(text.begin(), text.end()));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->firstLine, "20160305");
}

TEST(ParseVersionFile, DeletesTheFileOnceRead) {
    test::ScratchFolder folder;
    const std::wstring path = folder.File("Tmp");
    const std::string text = "20160305\r\nhttp://h/db.zip\r\n";
    test::WriteAll(path, std::vector<std::uint8_t>(text.begin(), text.end()));

    const auto parsed = ParseVersionFile(path);

    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->archiveUrl, L"http://h/db.zip");
    EXPECT_FALSE(test::Exists(path));
    EXPECT_FALSE(ParseVersionFile(path));

    test::WriteAll(path, {'1', '\n'});
    EXPECT_FALSE(ParseVersionFile(path));  // unusable, and still deleted
    EXPECT_FALSE(test::Exists(path));
}

TEST(IsArchiveAddress, LooksAtTheTextAfterTheLastDot) {
    struct Case {
        std::wstring_view url;
        bool archive;
    };
    constexpr Case cases[] = {
        {L"http://h/db.zip", true},
        {L"http://h/db.ZIP", true},
        {L"http://h/db.7z", true},
        {L"http://h/db.Rar", true},
        {L"http://h/version.txt", false},
        {L"http://h/db.zip.txt", false},
        {L"zip", true},
        {L"http://h/db.tar.7z", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.url.begin(), c.url.end()));
        EXPECT_EQ(IsArchiveAddress(c.url), c.archive);
    }
}

}  // namespace
}  // namespace kivrel
