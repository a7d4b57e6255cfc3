#pragma once
// The index block at the end of an update file: where every section lies. Three stored forms
// (full 520 bytes, medium 320, short 304), all XORed with the index key; every accepted form
// is normalized to the full form's fields.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "package/update_package.h"

namespace kivrel {

inline constexpr std::uint32_t kFormatMagic = 0x12345678;
inline constexpr std::size_t kFullIndexBytes = 520;
inline constexpr std::size_t kMediumIndexBytes = 320;
inline constexpr std::size_t kShortIndexBytes = 304;

// Largest sizes an index accepts. The full form checks only the base image.
inline constexpr std::uint32_t kBaseImageLimit = 0x8000;
inline constexpr std::uint32_t kResourceImageLimit = 0xC8000;
inline constexpr std::uint32_t kMainImageLimit = 0x200000;
inline constexpr std::uint32_t kDatabaseImageLimit = 0x522000;

// Every model entry costs a 36 KiB flash image however small its record in the file, so a
// table's size cannot justify its memory; real tables list a few dozen models.
inline constexpr std::uint32_t kModelEntryLimit = 256;
inline constexpr std::uint32_t kModelBlockMagic = 0x12345678;
inline constexpr std::size_t kModelDataStart = 4096;  // in the flash image
inline constexpr std::size_t kExtendedModelHeaderBytes = 60;
inline constexpr std::size_t kExtendedModelEntryBytes = 220;
inline constexpr std::size_t kCompactModelEntryBytes = 16;
inline constexpr std::size_t kProvinceEntryHeaderBytes = kProvinceNameBytes + 4;

// Byte range of one part of the file. For the model and province tables `size` is the
// presence word (nonzero = present). A size of 0 means absent.
struct SectionPlace {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    friend bool operator==(const SectionPlace&, const SectionPlace&) = default;
};

// The index in its normalized (full) form.
struct PackageIndex {
    std::uint32_t lengthWord = 516;   // 516 full, 520 from a medium form, 304 from a short form
    std::uint32_t formatVersion = 0;  // as stored in the full form; 3 medium; 1 short
    std::array<std::uint8_t, kIdentityBytes> identity{};
    SectionPlace base;
    SectionPlace modelTable;
    SectionPlace resource;
    SectionPlace main;
    SectionPlace database;
    SectionPlace auxiliary;
    SectionPlace altMain;
    SectionPlace provinceTable;
    SectionPlace regionalMain;
    SectionPlace regionalAltMain;
    friend bool operator==(const PackageIndex&, const PackageIndex&) = default;
};

[[nodiscard]] std::size_t IndexFormBytes(IndexForm form) noexcept;
[[nodiscard]] const char* IndexFormName(IndexForm form) noexcept;  // "full", "medium", "short"

// Parses one form from its stored (scrambled) bytes, which must be exactly that form's length.
// False when the block is not an acceptable index of that form; `out` is then unchanged.
[[nodiscard]] bool ParsePackageIndex(std::span<const std::uint8_t> stored, IndexForm form,
                                     PackageIndex& out);

// The stored bytes of an index in the given form, scrambled, with its length word, magic and
// byte sum filled in. The medium and short forms carry only the base, model table, resource,
// main and database places; the other fields are not written. No limit is checked, so tests
// can build indexes the loader must refuse.
[[nodiscard]] std::vector<std::uint8_t> WritePackageIndex(const PackageIndex& index,
                                                          IndexForm form);

// Reads the index at the end of a file, trying the full, medium and short forms in turn.
// False when the file holds no acceptable index.
[[nodiscard]] bool ReadPackageIndex(ByteSource& source, PackageIndex& index, IndexForm& form);

}  // namespace kivrel
