// What an installed archiver lists decides whether it may unpack: a name read wrongly, or a
// link taken for a file, would let an archive from the server write outside its folder.

#include "update/archive_listing.h"

#include <gtest/gtest.h>

#include <string>

namespace kivrel {
namespace {

// As 7-Zip 16.02 prints `7z l -slt` for a zip made on Unix holding a folder, a file and a
// link (the archive's own block comes before the dashes).
constexpr std::string_view kSevenZip =
    "\r\n7-Zip [64] 16.02 : Copyright (c) 1999-2016 Igor Pavlov : 2016-05-21\r\n\r\n"
    "Scanning the drive for archives:\r\n1 file, 512 bytes (1 KiB)\r\n\r\n"
    "Listing archive: db.zip\r\n\r\n--\r\nPath = db.zip\r\nType = zip\r\nPhysical Size = 512\r\n"
    "\r\n----------\r\nPath = sub\r\nFolder = +\r\nSize = 0\r\nPacked Size = 0\r\n"
    "Modified = 2024-05-01 08:00:00\r\nAttributes = D_ drwxr-xr-x\r\nEncrypted = -\r\n"
    "Comment = \r\nCRC = \r\nMethod = Store\r\nHost OS = Unix\r\nVersion = 10\r\n\r\n"
    "Path = sub\\DB2024.QDX\r\nFolder = -\r\nSize = 6\r\nAttributes = A_ -rw-r--r--\r\n"
    "CRC = 12345678\r\n\r\n"
    "Path = sub\\link\r\nFolder = -\r\nSize = 9\r\nAttributes = A_ lrwxrwxrwx\r\n\r\n";

// As RAR 6 prints `rar lt`.
constexpr std::string_view kRar =
    "\r\nRAR 6.24   Copyright (c) 1993-2023 Alexander Roshal   3 Oct 2023\r\n"
    "Trial version             Type 'rar -?' for help\r\n\r\nArchive: db.rar\r\n"
    "Details: RAR 5\r\n\r\n        Name: sub\\DB2024.QDX\r\n        Type: File\r\n"
    "        Size: 6\r\n Packed size: 6\r\n       Ratio: 100%\r\n"
    "       mtime: 2024-05-01 08:00:00,000000000\r\n  Attributes: ..A....\r\n"
    "       CRC32: 12345678\r\n     Host OS: Windows\r\n Compression: RAR 5.0(v50) -m0 -md=128K\r\n"
    "\r\n        Name: sub\r\n        Type: Directory\r\n  Attributes: ...D...\r\n\r\n"
    "        Name: sub\\out\r\n        Type: Windows junction\r\n      Target: C:\\Windows\r\n\r\n";

TEST(ArchiveListing, ReadsEachArchiversTechnicalListing) {
    const auto seven = ParseArchiveListing(ListingForm::kSevenZip, kSevenZip);
    ASSERT_TRUE(seven);
    ASSERT_EQ(seven->size(), 3u);  // the archive's own block is not an entry
    EXPECT_EQ((*seven)[0].name, "sub");
    EXPECT_TRUE((*seven)[0].plain);
    EXPECT_EQ((*seven)[1].name, "sub\\DB2024.QDX");
    EXPECT_TRUE((*seven)[1].plain);
    EXPECT_FALSE((*seven)[2].plain);  // the link
    EXPECT_FALSE(ListingIsSafe(*seven));

    auto rar = ParseArchiveListing(ListingForm::kRar, kRar);
    ASSERT_TRUE(rar);
    ASSERT_EQ(rar->size(), 3u);
    EXPECT_TRUE((*rar)[0].plain);
    EXPECT_TRUE((*rar)[1].plain);
    EXPECT_FALSE((*rar)[2].plain);  // the junction
    EXPECT_FALSE(ListingIsSafe(*rar));
    rar->pop_back();
    EXPECT_TRUE(ListingIsSafe(*rar));

    struct Case {
        const char* name;
        ListingForm form;
        std::string_view text;
    };
    const Case refused[] = {
        {"a reparse point by its attribute", ListingForm::kSevenZip,
         "----------\nPath = a\nAttributes = AL\n"},
        {"a device", ListingForm::kSevenZip, "----------\nPath = a\nAttributes = Ad\n"},
        {"a named link", ListingForm::kSevenZip, "----------\nPath = a\nSymbolic Link = ../b\n"},
        {"a hard link", ListingForm::kSevenZip, "----------\nPath = a\nHard Link = b\n"},
        {"an alternate stream", ListingForm::kSevenZip,
         "----------\nPath = a\nAlternate Stream = +\n"},
        {"a fifo from Unix", ListingForm::kSevenZip,
         "----------\nPath = a\nAttributes = A_ prw-r--r--\n"},
        {"a RAR entry without a type", ListingForm::kRar, "Name: a\n"},
        {"a RAR hard link", ListingForm::kRar, "Name: a\nType: Hard link\n"},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.name);
        const auto entries = ParseArchiveListing(c.form, c.text);
        ASSERT_TRUE(entries);
        EXPECT_FALSE(ListingIsSafe(*entries));
    }
    // Not a listing at all: nothing may be taken from it.
    EXPECT_FALSE(ParseArchiveListing(ListingForm::kSevenZip, "Path = a\nFolder = -\n"));
    EXPECT_FALSE(ParseArchiveListing(ListingForm::kSevenZip, "----------\n"));
    EXPECT_FALSE(ParseArchiveListing(ListingForm::kRar, "ERROR: db.rar is not RAR archive\n"));
}

TEST(ArchiveListing, OnlyNamesThatStayInsideTheFolderAreSafe) {
    struct Case {
        std::string_view name;
        bool safe;
    };
    constexpr Case cases[] = {
        {"DB2024.QDX", true},
        {"sub\\DB2024.QDX", true},
        {"sub/deeper/DB2024.QDX", true},
        {"sub\\", true},                     // a folder listed with its separator
        {"\xC9\xEE\xDB\xDA\\db.qdx", true},  // GBK
        {"", false},
        {"..\\x.qdx", false},
        {"sub\\..\\..\\x.qdx", false},
        {"sub/../x.qdx", false},
        {".", false},
        {"\\Windows\\x.qdx", false},
        {"/etc/x", false},
        {"C:x.qdx", false},
        {"C:\\x.qdx", false},
        {"db.qdx:stream", false},
        {"sub\\\\x.qdx", false},
        {"CON", false},
        {"sub\\nul.txt", false},
        {"x.qdx.", false},
        {"x\x01.qdx", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name));
        EXPECT_EQ(IsSafeEntryName(c.name), c.safe);
    }
}

}  // namespace
}  // namespace kivrel
