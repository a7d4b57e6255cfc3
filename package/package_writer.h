#pragma once
// Builds update files: the loader's exact inverse. Takes plain (unscrambled) contents, lays
// them out as asked, scrambles what the format stores scrambled and computes every sum.
// Tests and fuzz seeds build their inputs with it; `kivrel pack` exposes it.
//
//     PackageContents contents;
//     contents.database = plainDatabaseBytes;
//     contents.hasModelTable = true;
//     contents.models.push_back({.modelId = 0x30303141, .data = plainModelBytes});
//     PackagePlacement placement{.form = IndexForm::kMedium, .gap = 16};
//     const WrittenPackage file = WritePackage(contents, placement);
//     // file.bytes is a whole update file; file.index says where everything went.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "package/package_index.h"
#include "package/update_package.h"

namespace kivrel {

// The parts of an update file that the index locates, in the order the writer lays them out
// unless told otherwise.
enum class PackagePart : std::uint8_t {
    kBase,
    kModelTable,
    kResource,
    kMain,
    kDatabase,
    kAuxiliary,
    kAltMain,
    kProvinceTable,
    kRegionalMain,
    kRegionalAltMain,
};
inline constexpr std::size_t kPackagePartCount = 10;

struct ModelEntrySource {
    std::uint32_t modelId = 0;
    std::vector<std::uint8_t> data{};  // plain; stored scrambled
    // Stored only in an extended table; a compact table reads them as 0.
    std::uint32_t firstLayoutWord = 0;
    std::uint32_t altMainFlag = 0;
    std::uint32_t secondLayoutWord = 0;
};

struct ProvinceSource {
    std::string name;                   // GBK bytes, at most 50; zero padded in the file
    std::vector<std::uint8_t> records;  // plain 12-byte point records; stored scrambled
};

// What goes into the file. Sections are plain bytes; an empty section is absent.
struct PackageContents {
    std::uint32_t formatVersion = 5;  // written by the full form only
    std::array<std::uint8_t, kIdentityBytes> identity{};
    std::vector<std::uint8_t> base;
    std::vector<std::uint8_t> resource;
    std::vector<std::uint8_t> database;
    std::vector<std::uint8_t> main;
    std::vector<std::uint8_t> altMain;
    std::vector<std::uint8_t> auxiliary;
    std::vector<std::uint8_t> regionalMain;
    std::vector<std::uint8_t> regionalAltMain;
    bool hasModelTable = false;
    bool extendedModelTable = true;
    std::vector<ModelEntrySource> models;
    bool hasProvinceTable = false;
    std::array<std::uint8_t, 4> provinceTag{};
    std::vector<ProvinceSource> provinces;
};

// Where the parts go. Each present part is placed after the previous one, `gap` filler bytes
// further on; the index follows the last part. The medium and short forms cannot locate the
// alternate, auxiliary, province and regional parts, so those are left out of such files.
struct PackagePlacement {
    IndexForm form = IndexForm::kFull;
    // File order of the parts; parts not named follow in PackagePart order.
    std::vector<PackagePart> order{};
    std::uint32_t gap = 0;
    std::uint8_t gapFill = 0xA5;
};

struct WrittenPackage {
    std::vector<std::uint8_t> bytes;  // the whole file
    PackageIndex index;               // as written (for medium and short: as normalized)
};

[[nodiscard]] WrittenPackage WritePackage(const PackageContents& contents,
                                          const PackagePlacement& placement = {});

// The stored form of a section: scrambled from a fresh state (no padding).
[[nodiscard]] std::vector<std::uint8_t> ScrambledCopy(const std::vector<std::uint8_t>& plain);

}  // namespace kivrel
