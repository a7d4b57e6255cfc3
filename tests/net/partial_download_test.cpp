// A kept part is resumed only when its record proves it came from the same address; anything
// doubtful is thrown away, since a spliced archive would be written into a unit.

#include "net/partial_download.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/net/download_test_support.h"

namespace kivrel {
namespace {

std::vector<std::uint8_t> Text(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

TEST(PartialRecord, RoundTripsAndRefusesAnythingElse) {
    const PartialRecord record{"http://h/db.zip", "\"v1\"", 123456};
    const std::string text = WritePartialRecord(record);
    EXPECT_EQ(ParsePartialRecord(text), record);

    const std::string bad[] = {
        "",
        "kivrel-partial 2\nurl=u\nvalidator=v\nlength=1\n",
        "kivrel-partial 1\nurl=u\nvalidator=v\nlength=1",  // cut short
        "kivrel-partial 1\nurl=u\nvalidator=v\n",          // no length
        "kivrel-partial 1\nurl=u\nvalidator=v\nlength=0\n",
        "kivrel-partial 1\nurl=u\nvalidator=v\nlength=x\n",
        "kivrel-partial 1\nurl=\nvalidator=v\nlength=1\n",
        "kivrel-partial 1\nurl=u\nurl=w\nvalidator=v\nlength=1\n",
        "kivrel-partial 1\nurl=u\nvalidator=v\r\nlength=1\n",
        "kivrel-partial 1\nurl=u\nvalidator=v\nlength=1\nextra=1\n",
    };
    for (const std::string& text : bad) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParsePartialRecord(text));
    }
}

class PreparePartial : public ::testing::Test {
protected:
    void Leave(std::size_t partBytes, const PartialRecord& record) {
        test::WriteAll(archive + L".part", std::vector<std::uint8_t>(partBytes, 0x5A));
        test::WriteAll(archive + L".part.info", Text(WritePartialRecord(record)));
    }

    test::ScratchFolder folder;
    const std::wstring archive = folder.File("db.zip");
    const std::wstring url = L"http://h/db.zip";
};

TEST_F(PreparePartial, ResumesAPartRecordedForTheSameAddress) {
    Leave(1000, {"http://h/db.zip", "\"v1\"", 5000});

    const PartialDownload partial = PreparePartialDownload(archive, url);

    EXPECT_EQ(partial.resumeOffset, 1000u);
    EXPECT_EQ(partial.validator, "\"v1\"");
    EXPECT_EQ(partial.recordedLength, 5000u);
    EXPECT_EQ(partial.partPath, archive + L".part");
    EXPECT_TRUE(test::Exists(partial.partPath));
}

TEST_F(PreparePartial, StartsAfreshWhenThePartCannotBeTrusted) {
    struct Case {
        const char* name;
        std::size_t partBytes;
        PartialRecord record;
    };
    const Case cases[] = {
        {"another address", 1000, {"http://h/other.zip", "\"v1\"", 5000}},
        {"part as long as the file", 5000, {"http://h/db.zip", "\"v1\"", 5000}},
        {"part longer than the file", 6000, {"http://h/db.zip", "\"v1\"", 5000}},
        {"empty part", 0, {"http://h/db.zip", "\"v1\"", 5000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Leave(c.partBytes, c.record);
        const PartialDownload partial = PreparePartialDownload(archive, url);
        EXPECT_EQ(partial.resumeOffset, 0u);
        EXPECT_FALSE(test::Exists(partial.partPath));
        EXPECT_FALSE(test::Exists(partial.recordPath));
    }
}

TEST_F(PreparePartial, ThrowsAwayAPartWithoutARecordOrWithABrokenOne) {
    test::WriteAll(archive + L".part", std::vector<std::uint8_t>(100, 1));
    EXPECT_EQ(PreparePartialDownload(archive, url).resumeOffset, 0u);
    EXPECT_FALSE(test::Exists(archive + L".part"));

    test::WriteAll(archive + L".part", std::vector<std::uint8_t>(100, 1));
    test::WriteAll(archive + L".part.info", Text("garbage"));
    EXPECT_EQ(PreparePartialDownload(archive, url).resumeOffset, 0u);
    EXPECT_FALSE(test::Exists(archive + L".part"));
    EXPECT_FALSE(test::Exists(archive + L".part.info"));
}

TEST_F(PreparePartial, CompletingMovesThePartOverTheArchive) {
    Leave(10, {"http://h/db.zip", "\"v1\"", 5000});
    test::WriteAll(archive, Text("an older archive"));
    const PartialDownload partial = PreparePartialDownload(archive, url);

    EXPECT_EQ(CompletePartialDownload(partial), 0u);

    EXPECT_EQ(test::ReadAll(archive), std::vector<std::uint8_t>(10, 0x5A));
    EXPECT_FALSE(test::Exists(partial.partPath));
    EXPECT_FALSE(test::Exists(partial.recordPath));
}

}  // namespace
}  // namespace kivrel
