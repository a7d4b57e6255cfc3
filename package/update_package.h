#pragma once
// An update file loaded into memory: the identity block, the image sections as stored
// (scrambled) and padded, the model table and the province table.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "package/build_date.h"

namespace kivrel {

inline constexpr std::size_t kIdentityBytes = 256;
inline constexpr std::size_t kModelFlashImageBytes = 0x9000;
inline constexpr std::size_t kModelDataLimit = 32768;  // room for data in the flash image
inline constexpr std::size_t kProvinceNameBytes = 50;
inline constexpr std::size_t kPointRecordBytes = 12;

enum class IndexForm { kFull, kMedium, kShort };

// One image section: the stored bytes padded with 0xFF to a multiple of 256, the size the
// unit is told (word_c of its write command) and the checksum it is told (data_sum).
struct SectionBuffer {
    std::vector<std::uint8_t> bytes;  // padded; empty when the section is absent
    std::uint32_t recordedSize = 0;
    std::uint32_t checksum = 0;

    [[nodiscard]] bool Loaded() const noexcept { return !bytes.empty(); }
    [[nodiscard]] std::uint32_t PaddedLength() const noexcept {
        return static_cast<std::uint32_t>(bytes.size());
    }
    void Release() noexcept {
        bytes.clear();
        bytes.shrink_to_fit();
        recordedSize = 0;
        checksum = 0;
    }
};

struct ModelEntry {
    std::uint32_t modelId = 0;
    std::uint32_t altMainFlag = 0;
    std::uint32_t firstLayoutWord = 0;   // size of the area erased and left empty for the model
    std::uint32_t secondLayoutWord = 0;  // copied into the unit's layout record
    // word 0 = 0x12345678, word 1 = data size, word 2 = byte sum of the plain data, rest 0xFF.
    std::array<std::uint8_t, 256> blockHeader{};
    // The entry's data as stored, padded; recordedSize = data size, checksum = byte sum of the
    // plain data plus 255 per padding byte. Empty when the data was refused.
    SectionBuffer data;
    // The whole model block as one image: header, 0xFF up to 4096, plain data, 0xFF.
    std::vector<std::uint8_t> flashImage;
};

struct ProvinceEntry {
    std::array<std::uint8_t, kProvinceNameBytes + 2> name{};  // GBK, zero-terminated
    std::uint32_t recordCount = 0;
    std::vector<std::uint8_t> records;  // recordCount x 12 bytes, unscrambled
};

struct UpdatePackage {
    IndexForm indexForm = IndexForm::kFull;
    std::uint32_t formatVersion = 0;
    std::array<std::uint8_t, kIdentityBytes> identity{};

    SectionBuffer base;
    bool modelTablePresent = false;
    bool modelTableExtended = false;
    std::vector<ModelEntry> models;

    BuildDate resourceDate;
    SectionBuffer resource;
    BuildDate databaseDate;
    SectionBuffer database;
    BuildDate mainDate;
    BuildDate regionalMainDate;
    SectionBuffer main;
    SectionBuffer altMain;
    SectionBuffer auxiliary;

    std::array<std::uint8_t, 4> provinceTag{};
    std::vector<ProvinceEntry> provinces;

    SectionBuffer regionalMain;
    SectionBuffer regionalAltMain;
    // Set when the database was rebuilt from chosen provinces: the regional main images are
    // then sent instead of the main images.
    bool regional = false;

    [[nodiscard]] bool HasProvinceTable() const noexcept { return !provinces.empty(); }
    // Frees every buffer and zeroes every count and flag; the package can be loaded again.
    void Release() noexcept;
};

// A table with exactly one entry gives that entry for any model id; otherwise the first entry
// with the model id; otherwise null.
[[nodiscard]] const ModelEntry* FindModelEntry(const UpdatePackage& package,
                                               std::uint32_t modelId) noexcept;

// Random access to the bytes of an update file, so the loader reads a file on disk and a
// buffer in memory with the same code.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    [[nodiscard]] virtual std::uint64_t Size() const = 0;
    // Reads exactly out.size() bytes at offset; false on a short read.
    [[nodiscard]] virtual bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
};

// Loads an update file, replacing the package's contents section by section. True when
// something the unit can be sent was loaded: an image section, or model data in the model
// table. A file holding only a province table, a model table without model data, or nothing,
// fails. Never throws; runs on the calling thread.
[[nodiscard]] bool LoadPackage(UpdatePackage& package, const std::wstring& path);
[[nodiscard]] bool LoadPackage(UpdatePackage& package, ByteSource& source);
[[nodiscard]] bool LoadPackageBytes(UpdatePackage& package, std::span<const std::uint8_t> bytes);

}  // namespace kivrel
