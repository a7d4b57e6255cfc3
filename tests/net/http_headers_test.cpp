// The server's answer is untrusted: statuses, lengths, ranges and validators must be read
// exactly and anything odd refused, so a resume never splices the wrong bytes and no header
// text is echoed into a request.

#include "net/http_headers.h"

#include <gtest/gtest.h>

namespace kivrel {
namespace {

TEST(RangeHeader, AsksForTheRestFromTheOffset) {
    EXPECT_EQ(RangeHeader(1000), "Range: bytes=1000-\r\n");
    EXPECT_EQ(RangeHeader(0), "");
    EXPECT_EQ(RangeHeader(3000000000u), "Range: bytes=3000000000-\r\n");  // never negative
}

TEST(ClassifyStatus, SeparatesBodiesChallengesAndRefusals) {
    EXPECT_EQ(ClassifyStatus(200), StatusClass::kBody);
    EXPECT_EQ(ClassifyStatus(206), StatusClass::kBody);
    EXPECT_EQ(ClassifyStatus(401), StatusClass::kServerAuth);
    EXPECT_EQ(ClassifyStatus(407), StatusClass::kProxyAuth);
    for (const std::uint32_t status : {0u, 204u, 301u, 404u, 416u, 500u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(status);
        EXPECT_EQ(ClassifyStatus(status), StatusClass::kRefused);
    }
}

TEST(ParseHeaderLine, SplitsNameAndTrimmedValue) {
    const auto field = ParseHeaderLine("ETag:  \"abc\" \t");
    ASSERT_TRUE(field);
    EXPECT_EQ(field->name, "ETag");
    EXPECT_EQ(field->value, "\"abc\"");
    EXPECT_TRUE(ParseHeaderLine("X-Empty:"));
    const std::string_view bad[] = {"no colon", ": value", "Bad Name: v", "Name: a\rb",
                                    std::string_view("N: a\0b", 6)};
    for (const std::string_view line : bad) {
        SCOPED_TRACE(std::string(line));
        EXPECT_FALSE(ParseHeaderLine(line));
    }
    EXPECT_TRUE(HeaderNameIs("content-RANGE", "Content-Range"));
    EXPECT_FALSE(HeaderNameIs("Content-Rang", "Content-Range"));
}

TEST(ParseDecimalCount, TakesPlainDigitsWithinRange) {
    EXPECT_EQ(ParseDecimalCount("0"), 0u);
    EXPECT_EQ(ParseDecimalCount("209715200"), 209715200u);
    EXPECT_EQ(ParseDecimalCount("9223372036854775807"), 9223372036854775807u);
    for (const std::string_view bad :
         {"", "-1", "+1", " 1", "1 ", "12a", "9223372036854775808", "99999999999999999999999"}) {
        SCOPED_TRACE(std::string(bad));
        EXPECT_FALSE(ParseDecimalCount(bad));
    }
}

TEST(ParseContentRange, ReadsFirstLastAndTotal) {
    const auto range = ParseContentRange("bytes 1000-65535/65536");
    ASSERT_TRUE(range);
    EXPECT_EQ(range->first, 1000u);
    EXPECT_EQ(range->last, 65535u);
    EXPECT_EQ(range->total, 65536u);
    const auto unknownTotal = ParseContentRange("Bytes 0-9/*");
    ASSERT_TRUE(unknownTotal);
    EXPECT_FALSE(unknownTotal->total);
    for (const std::string_view bad :
         {"bytes 10-9/100", "bytes 0-100/100", "bytes */100", "items 0-1/2", "bytes 0-1",
          "bytes 1/2-3", "bytes -1-2/3", ""}) {
        SCOPED_TRACE(std::string(bad));
        EXPECT_FALSE(ParseContentRange(bad));
    }
}

TEST(ResumeValidator, PrefersAStrongTagAndRefusesWhatCouldInjectHeaders) {
    const std::string date = "Sat, 05 Mar 2016 08:00:00 GMT";
    EXPECT_EQ(ResumeValidator("\"v1\"", date), "\"v1\"");
    EXPECT_EQ(ResumeValidator("W/\"v1\"", date), date);  // weak: use the date
    EXPECT_EQ(ResumeValidator("", date), date);
    EXPECT_EQ(ResumeValidator("v1", ""), std::nullopt);  // unquoted is not a tag
    EXPECT_EQ(ResumeValidator("\"v1\r\nX: y\"", ""), std::nullopt);
    EXPECT_EQ(ResumeValidator("", "Sat\r\nX: y"), std::nullopt);
    EXPECT_EQ(IfRangeHeader("\"v1\""), "If-Range: \"v1\"\r\n");
}

}  // namespace
}  // namespace kivrel
