// The vendor checks decide whether a file is used and whether a unit is worked with at all; a
// unit that gets the tool's tag written by mistake is re-branded for good.

#include "package/vendor_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>

namespace kivrel {
namespace {

// Readable stand-ins for the GBK tags, each of its required width.
constexpr std::string_view kK = "KKbrand1";                      // 8
constexpr std::string_view kZ = "ZZb1";                          // 4
constexpr std::string_view kS = "SSbra1";                        // 6
constexpr std::string_view kC1 = "Company-One-0016";             // 16
constexpr std::string_view kC2 = "Company-Two-Ltd-Twentyeight";  // 27 + 1 below
constexpr std::string_view kC2Full = "Company-Two-Ltd-Twentyeight!";
static_assert(kC2Full.size() == 28 && kC2.size() == 27);

constexpr std::string_view kListed[] = {"Ab", "Listed-Vendor", kC2Full};
constexpr std::string_view kOld[] = {"OLDV"};
constexpr CompatibilityRow kRows[] = {
    {"ToolWithList", CompatibilityKind::kAccept, kListed},
    {"Retag", CompatibilityKind::kRewriteOldUnits, kOld},
};

VendorConfig Config(std::string_view toolTag) {
    return VendorConfig{.toolTag = MakeToolTag(toolTag),
                        .brandK = kK,
                        .brandZ = kZ,
                        .brandS = kS,
                        .companyC1 = kC1,
                        .companyC2 = kC2Full,
                        .compatibility = kRows,
                        .keepSettingsCode = "KVX",
                        .versionSources = {}};
}

std::array<std::uint8_t, kIdentityBytes> Identity(std::string_view start) {
    std::array<std::uint8_t, kIdentityBytes> identity{};
    identity.fill(0x20);
    std::copy(start.begin(), start.end(), identity.begin());
    return identity;
}

// The shipped tags with another tool tag, as a vendor's build would have them.
VendorConfig Shipped(std::string_view toolTag) {
    VendorConfig config = DefaultVendorConfig();
    config.toolTag = MakeToolTag(toolTag);
    return config;
}

struct FileCase {
    const char* what;
    std::string_view tool;
    std::string_view file;
    bool accepted;
};

void ExpectFileRules(std::span<const FileCase> cases, VendorConfig (*configFor)(std::string_view)) {
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.what);
        UpdatePackage package;
        package.identity = Identity(c.file);
        EXPECT_EQ(CheckPackageVendor(package, configFor(c.tool)), c.accepted);
    }
}

TEST(VendorCheck, FileRulesFollowTheToolTag) {
    const std::string blanks21(21, ' ');
    const std::string blanks20(20, ' ');
    const FileCase cases[] = {
        {"neutral tool takes anything", blanks21, "whatever", true},
        {"20 blanks are not neutral", blanks20, "whatever", false},
        {"same 16 bytes", "Exact-Tool-Tag16", "Exact-Tool-Tag16 and more", true},
        {"15 of 16 bytes", "Exact-Tool-Tag16", "Exact-Tool-Tag1X", false},
        {"brand K tool, K file", "KKbrand1 tool", "KKbrand1", true},
        {"brand K tool, Z file", "KKbrand1 tool", "ZZb1", true},
        {"brand K tool, S file", "KKbrand1 tool", "SSbra1", false},
        {"company C1 tool, S file", kC1, "SSbra1", true},
        {"company C1 tool, C2 file", kC1, kC2Full, true},
        {"company C1 tool, C2 cut short", kC1, kC2, false},
        {"company C2 tool, C1 file", kC2Full, kC1, true},
        {"company C2 tool, K file", kC2Full, kK, false},
        {"other tool", "Nobody", "SSbra1", false},
    };
    ExpectFileRules(cases, Config);
}

TEST(VendorCheck, UnitRulesAcceptRetagOrRefuse) {
    struct Case {
        const char* what;
        std::string_view tool;
        bool blankUnit;
        std::string_view unit;
        std::int32_t settingsFormat;
        bool accepted;
        bool pending;
        std::string_view unitAfter;  // start of the identity block afterwards
    };
    const std::string blanks21(21, ' ');
    const Case cases[] = {
        {"neutral tool", blanks21, true, "", -1, true, false, "\xFF\xFF"},
        {"blank unit gets the tool tag", "Exact-Tool-Tag16", true, "", 4, true, true,
         "Exact-Tool-Tag16\xFF"},
        {"own unit", "Exact-Tool-Tag16", false, "Exact-Tool-Tag16", 4, true, false,
         "Exact-Tool-Tag16"},
        {"listed 2-byte tag", "ToolWithList", false, "Abcdef", 4, true, false, "Abcdef"},
        {"listed 28-byte tag", "ToolWithList", false, kC2Full, 4, true, false, kC2Full},
        {"unlisted", "ToolWithList", false, "Zz", 4, false, false, "Zz"},
        {"old unit, old settings", "Retag-tool", false, "OLDV-123", 1, true, true, "Retag123"},
        {"old unit, settings -1", "Retag-tool", false, "OLDV-123", -1, true, true, "Retag"},
        {"old unit, new settings", "Retag-tool", false, "OLDV-123", 2, false, false, "OLDV-123"},
        {"row of another tool", "Someone", false, "Abcdef", 0, false, false, "Abcdef"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::array<std::uint8_t, kIdentityBytes> identity = Identity(c.unit);
        if (c.blankUnit) identity.fill(0xFF);
        std::int32_t pending = 0;
        EXPECT_EQ(AcceptUnitVendor(Config(c.tool), {identity, c.settingsFormat, &pending}),
                  c.accepted);
        EXPECT_EQ(pending, c.pending ? 1 : 0);
        EXPECT_TRUE(
            std::equal(c.unitAfter.begin(), c.unitAfter.end(), identity.begin(),
                       [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
    }
}

std::string Text(std::string_view a, std::string_view b = {}) {
    return std::string(a) + std::string(b);
}

// A tag that begins with another tag takes the other's rule; the shipped values must leave
// every rule a case of its own.
TEST(VendorCheck, EveryFileRuleDecidesSomeCaseWithTheShippedTags) {
    const VendorConfig& shipped = DefaultVendorConfig();
    const std::string brandTool = Text(shipped.brandK, " GPS-16");
    const std::string zFile = Text(shipped.brandZ, "2000");
    const std::string_view k = shipped.brandK, s = shipped.brandS;
    const std::string_view c1 = shipped.companyC1, c2 = shipped.companyC2;
    const FileCase cases[] = {
        {"rule 2: the tool's own file", "Own-Tool-Tag-16b", "Own-Tool-Tag-16b", true},
        {"rule 2 fails, no other rule", "Own-Tool-Tag-16b", "Own-Tool-Tag-16c", false},
        {"rule 3: brand K tool, K file", brandTool, k, true},
        {"rule 3: brand K tool, Z file", brandTool, zFile, true},
        {"rule 3: brand K tool, S file", brandTool, s, false},
        {"rule 4: company C1 tool, S file", c1, s, true},
        {"rule 4: company C1 tool, C2 file", c1, c2, true},
        {"rule 4: company C1 tool, K file", c1, k, false},
        {"rule 4: company C2 tool, C1 file", c2, c1, true},
        {"rule 4: company C2 tool, Z file", c2, zFile, false},
    };
    ExpectFileRules(cases, Shipped);
}

TEST(VendorCheck, EveryListedTagOfTheShippedCompatibilityTableDecidesForItsTool) {
    const auto rows = DefaultVendorConfig().compatibility;
    ASSERT_FALSE(rows.empty());
    for (const CompatibilityRow& row : rows) {
        const VendorConfig config = Shipped(row.toolTag);
        const bool rewrite = row.kind == CompatibilityKind::kRewriteOldUnits;
        for (std::string_view tag : row.vendorTags) {
            SCOPED_TRACE(Text(row.toolTag, " / ") + Text(tag));
            std::array<std::uint8_t, kIdentityBytes> identity = Identity(Text(tag, "#unit"));
            std::int32_t pending = 0;
            EXPECT_TRUE(AcceptUnitVendor(config, {identity, 1, &pending}));
            EXPECT_EQ(pending, rewrite ? 1 : 0);
            const std::string expected =
                rewrite ? Text(row.toolTag.substr(0, 5)) : Text(tag, "#unit");
            EXPECT_TRUE(std::equal(
                expected.begin(), expected.end(), identity.begin(),
                [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
            // A unit with the newer settings layout is not rewritten, so not taken either.
            identity = Identity(Text(tag, "#unit"));
            EXPECT_EQ(AcceptUnitVendor(config, {identity, 2, &pending}), !rewrite);
        }
        std::array<std::uint8_t, kIdentityBytes> stranger = Identity("Nobody's unit");
        EXPECT_FALSE(AcceptUnitVendor(config, {stranger, 1, nullptr}));
    }
}

TEST(VendorCheck, TheDefaultBuildIsNeutralAndItsTagsHaveTheirWidths) {
    const VendorConfig& config = DefaultVendorConfig();
    std::array<std::uint8_t, kIdentityBytes> blank{};
    blank.fill(0xFF);
    std::int32_t pending = 0;
    EXPECT_TRUE(AcceptUnitVendor(config, {blank, -1, &pending}));
    EXPECT_EQ(pending, 0);  // a neutral tool leaves even a blank unit as it is
    UpdatePackage package;
    EXPECT_TRUE(CheckPackageVendor(package, config));
    EXPECT_FALSE(KeepsSettingsAfterUpdate(config));

    EXPECT_EQ(config.brandK.size(), 8u);
    EXPECT_EQ(config.brandZ.size(), 4u);
    EXPECT_EQ(config.brandS.size(), 6u);
    EXPECT_EQ(config.companyC1.size(), 16u);
    EXPECT_EQ(config.companyC2.size(), 28u);
    EXPECT_EQ(config.keepSettingsCode.size(), 3u);
    bool hasRewriteRow = false;
    for (const CompatibilityRow& row : config.compatibility) {
        hasRewriteRow |= row.kind == CompatibilityKind::kRewriteOldUnits;
        if (row.kind == CompatibilityKind::kRewriteOldUnits) {
            EXPECT_GE(row.toolTag.size(), 5u);
        }
        for (std::string_view tag : row.vendorTags) {
            EXPECT_GE(tag.size(), 2u);
            EXPECT_LE(tag.size(), 28u);
        }
    }
    EXPECT_TRUE(hasRewriteRow);
}

TEST(VendorCheck, OnlyATagEqualToTheCodeKeepsTheSettings) {
    VendorConfig config = Config("KVX");
    EXPECT_TRUE(KeepsSettingsAfterUpdate(config));
    config.toolTag = MakeToolTag("KVXY");
    EXPECT_FALSE(KeepsSettingsAfterUpdate(config));
}

}  // namespace
}  // namespace kivrel
