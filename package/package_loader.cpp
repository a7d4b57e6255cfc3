// Turns an update file into an UpdatePackage, stage by stage. Every offset, size and count in
// the file is untrusted: each is checked against the file's length before anything is
// allocated or read.

#include <algorithm>
#include <new>

#include "base/byte_sum.h"
#include "base/le_bytes.h"
#include "package/package_index.h"
#include "package/package_source.h"
#include "package/scrambler.h"
#include "package/update_package.h"

namespace kivrel {
namespace {

constexpr std::uint8_t kPadByte = 0xFF;
constexpr std::uint32_t kFirstVersionWithAltImages = 5;

enum class ChecksumRule {
    kPlainSum,   // byte sum of the unscrambled bytes plus 255 per padding byte; size recorded
    kStoredSum,  // byte sum of the padded buffer as stored; recorded size 0
};

constexpr std::uint64_t PaddedSize(std::uint64_t size) noexcept {
    return (size + 255) / 256 * 256;
}

// Seconds since 1970 from word `wordIndex` of a copy of the first 256 bytes of a padded
// section, unscrambled from a fresh state.
BuildDate DateOf(const SectionBuffer& section, std::size_t wordIndex) {
    std::array<std::uint8_t, 256> head{};
    std::copy_n(section.bytes.begin(), head.size(), head.begin());
    UnscrambleBuffer(head);
    return SecondsToDate(GetU32(head.data() + 4 * wordIndex));
}

class PackageReader {
public:
    explicit PackageReader(ByteSource& from) : source(from), fileSize(from.Size()) {}

    [[nodiscard]] bool Fits(std::uint64_t offset, std::uint64_t length) const noexcept {
        return offset <= fileSize && length <= fileSize - offset;
    }

    [[nodiscard]] bool Read(std::uint64_t offset, std::span<std::uint8_t> out) {
        return Fits(offset, out.size()) && source.ReadAt(offset, out);
    }

    // One image section. A size of 0 leaves the section as it was; any other outcome first
    // releases it, so a failure leaves it absent.
    bool LoadSection(const SectionPlace& place, SectionBuffer& section, ChecksumRule rule) {
        if (place.size == 0) return false;
        section.Release();
        if (!Fits(place.offset, place.size)) return false;
        try {
            section.bytes.resize(static_cast<std::size_t>(PaddedSize(place.size)));
        } catch (const std::bad_alloc&) {
            section.Release();
            return false;
        }
        const std::span<std::uint8_t> stored(section.bytes.data(), place.size);
        if (!source.ReadAt(place.offset, stored)) {
            section.Release();
            return false;
        }
        std::fill(section.bytes.begin() + place.size, section.bytes.end(), kPadByte);
        const std::uint32_t padding = section.PaddedLength() - place.size;
        if (rule == ChecksumRule::kPlainSum) {
            section.recordedSize = place.size;
            section.checksum = UnscrambledByteSum(stored) + padding * 255u;  // wraps on purpose
        } else {
            section.recordedSize = 0;
            section.checksum = ByteSum(section.bytes);
        }
        return true;
    }

    // An image and its alternate read as one stage. A failure on either releases both, so
    // the unit is never sent one image of a pair from this file and one from an older one.
    bool LoadPair(const SectionPlace& firstPlace, const SectionPlace& secondPlace,
                  SectionBuffer& first, SectionBuffer& second) {
        const bool firstLoaded = LoadSection(firstPlace, first, ChecksumRule::kStoredSum);
        if (firstPlace.size != 0 && !firstLoaded) {
            second.Release();
            return false;
        }
        const bool secondLoaded = LoadSection(secondPlace, second, ChecksumRule::kStoredSum);
        if (secondPlace.size != 0 && !secondLoaded) {
            first.Release();
            return false;
        }
        return firstLoaded || secondLoaded;
    }

    bool LoadModelTable(const SectionPlace& place, UpdatePackage& package) {
        if (place.size == 0) return false;
        package.models.clear();
        package.modelTablePresent = false;
        package.modelTableExtended = false;

        const std::uint64_t tableAt = place.offset;
        if (!Fits(tableAt, 4)) return false;
        // A compact table may end less than 60 bytes before the end of the file; it can then
        // only be compact.
        std::array<std::uint8_t, kExtendedModelHeaderBytes> header{};
        const std::size_t headerBytes =
            static_cast<std::size_t>(std::min<std::uint64_t>(header.size(), fileSize - tableAt));
        if (!Read(tableAt, {header.data(), headerBytes})) return false;
        const bool extended = headerBytes == header.size() &&
                              GetU32(header.data() + 4) == kModelBlockMagic &&
                              GetU32(header.data() + 56) == ByteSum({header.data(), 56});
        const std::uint32_t count = GetU32(header.data() + (extended ? 12 : 0));
        const std::size_t entryBytes =
            extended ? kExtendedModelEntryBytes : kCompactModelEntryBytes;
        const std::uint64_t entriesAt = tableAt + (extended ? kExtendedModelHeaderBytes : 4);
        if (count > kModelEntryLimit || !Fits(entriesAt, std::uint64_t{count} * entryBytes)) {
            return false;
        }

        std::vector<std::uint8_t> records(count * entryBytes);
        if (!Read(entriesAt, records)) return false;
        std::vector<ModelEntry> entries(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* record = records.data() + i * entryBytes;
            ModelEntry& entry = entries[i];
            entry.modelId = GetU32(record);
            if (extended) {
                entry.firstLayoutWord = GetU32(record + 16);
                entry.altMainFlag = GetU32(record + 20);
                entry.secondLayoutWord = GetU32(record + 24);
            }
            LoadModelData(entry, tableAt + GetU32(record + 4), GetU32(record + 8));
        }
        package.models = std::move(entries);
        package.modelTablePresent = true;
        package.modelTableExtended = extended;
        // The table is kept either way, but only model data gives the unit something to take.
        return std::any_of(package.models.begin(), package.models.end(),
                           [](const ModelEntry& entry) { return entry.data.Loaded(); });
    }

private:
    // The entry's data, its block header and its flash image. Data that is too large for the
    // flash image, lies outside the file or cannot be allocated is refused: the entry stays,
    // with no data and zero sizes.
    void LoadModelData(ModelEntry& entry, std::uint64_t dataAt, std::uint32_t dataSize) {
        std::uint32_t plainSum = 0;
        entry.data.Release();
        if (dataSize > 0 && dataSize <= kModelDataLimit && Fits(dataAt, dataSize)) {
            try {
                entry.data.bytes.resize(static_cast<std::size_t>(PaddedSize(dataSize)));
            } catch (const std::bad_alloc&) {
                entry.data.Release();
            }
            const std::span<std::uint8_t> stored(entry.data.bytes.data(), dataSize);
            if (entry.data.Loaded() && source.ReadAt(dataAt, stored)) {
                std::fill(entry.data.bytes.begin() + dataSize, entry.data.bytes.end(), kPadByte);
                plainSum = UnscrambledByteSum(stored);
                entry.data.recordedSize = dataSize;
                entry.data.checksum =
                    plainSum + (entry.data.PaddedLength() - dataSize) * 255u;  // wraps
            } else {
                entry.data.Release();
            }
        }
        const std::uint32_t storedSize = entry.data.recordedSize;
        if (storedSize == 0) plainSum = 0;

        entry.blockHeader.fill(kPadByte);
        PutU32(entry.blockHeader.data(), kModelBlockMagic);
        PutU32(entry.blockHeader.data() + 4, storedSize);
        PutU32(entry.blockHeader.data() + 8, plainSum);

        entry.flashImage.assign(kModelFlashImageBytes, kPadByte);
        std::copy(entry.blockHeader.begin(), entry.blockHeader.end(), entry.flashImage.begin());
        const auto dataArea = entry.flashImage.begin() + kModelDataStart;
        std::copy_n(entry.data.bytes.begin(), storedSize, dataArea);
        UnscrambleBuffer({entry.flashImage.data() + kModelDataStart, storedSize});
    }

public:
    // The point records stay in memory unscrambled. A table whose entry headers or records
    // would run past the end of the file stays empty rather than partly loaded.
    void LoadProvinceTable(const SectionPlace& place, UpdatePackage& package) {
        if (place.size == 0) return;
        package.provinces.clear();
        package.provinceTag = {};

        std::array<std::uint8_t, 8> header{};
        if (!Read(place.offset, header)) return;
        const std::uint32_t count = GetU32(header.data() + 4);
        if (count == 0) return;
        const std::uint64_t headersAt = std::uint64_t{place.offset} + header.size();
        const std::uint64_t headersBytes = std::uint64_t{count} * kProvinceEntryHeaderBytes;
        if (!Fits(headersAt, headersBytes)) return;
        std::vector<std::uint8_t> headers(static_cast<std::size_t>(headersBytes));
        if (!Read(headersAt, headers)) return;

        std::uint64_t recordsBytes = 0;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* entryHeader = headers.data() + i * kProvinceEntryHeaderBytes;
            recordsBytes +=
                std::uint64_t{GetU32(entryHeader + kProvinceNameBytes)} * kPointRecordBytes;
        }
        std::uint64_t recordsAt = headersAt + headersBytes;
        if (!Fits(recordsAt, recordsBytes)) return;

        std::vector<ProvinceEntry> entries(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* entryHeader = headers.data() + i * kProvinceEntryHeaderBytes;
            ProvinceEntry& entry = entries[i];
            std::copy_n(entryHeader, kProvinceNameBytes, entry.name.begin());
            entry.recordCount = GetU32(entryHeader + kProvinceNameBytes);
            entry.records.resize(std::size_t{entry.recordCount} * kPointRecordBytes);
            if (!Read(recordsAt, entry.records)) return;
            UnscrambleBuffer(entry.records);
            recordsAt += entry.records.size();
        }
        std::copy_n(header.begin(), package.provinceTag.size(), package.provinceTag.begin());
        package.provinces = std::move(entries);
    }

private:
    ByteSource& source;
    const std::uint64_t fileSize;
};

bool LoadStages(UpdatePackage& package, ByteSource& source) {
    PackageIndex index;
    IndexForm form = IndexForm::kFull;
    if (!ReadPackageIndex(source, index, form)) return false;

    package.indexForm = form;
    package.formatVersion = index.formatVersion;
    package.identity = index.identity;
    package.regional = false;  // the database, if any, is now the file's own

    PackageReader reader(source);
    const bool altImages = index.formatVersion >= kFirstVersionWithAltImages;
    const SectionPlace none;
    bool loaded = false;

    loaded |= reader.LoadSection(index.base, package.base, ChecksumRule::kPlainSum);
    loaded |= reader.LoadModelTable(index.modelTable, package);
    if (reader.LoadSection(index.resource, package.resource, ChecksumRule::kPlainSum)) {
        package.resourceDate = DateOf(package.resource, 0);
        loaded = true;
    }
    if (reader.LoadSection(index.database, package.database, ChecksumRule::kPlainSum)) {
        package.databaseDate = DateOf(package.database, 0);
        loaded = true;
    }
    loaded |= reader.LoadPair(index.main, altImages ? index.altMain : none, package.main,
                              package.altMain);
    if (package.main.Loaded()) {
        package.mainDate = DateOf(package.main, 1);
    } else if (package.altMain.Loaded()) {
        package.mainDate = DateOf(package.altMain, 1);
    }
    loaded |= reader.LoadSection(index.auxiliary, package.auxiliary, ChecksumRule::kStoredSum);
    reader.LoadProvinceTable(index.provinceTable, package);
    loaded |= reader.LoadPair(index.regionalMain, altImages ? index.regionalAltMain : none,
                              package.regionalMain, package.regionalAltMain);
    if (package.regionalMain.Loaded()) {
        package.regionalMainDate = DateOf(package.regionalMain, 1);
    } else if (package.regionalAltMain.Loaded()) {
        package.regionalMainDate = DateOf(package.regionalAltMain, 1);
    }
    return loaded;
}

}  // namespace

bool LoadPackage(UpdatePackage& package, ByteSource& source) {
    try {
        return LoadStages(package, source);
    } catch (const std::bad_alloc&) {
        // Tables are small next to the sections, but their vectors can still fail; what was
        // loaded up to then stays, as with a section that could not be allocated.
        return false;
    }
}

bool LoadPackage(UpdatePackage& package, const std::wstring& path) {
    FileByteSource file;
    if (!file.Open(path)) return false;
    return LoadPackage(package, file);
}

bool LoadPackageBytes(UpdatePackage& package, std::span<const std::uint8_t> bytes) {
    MemoryByteSource memory(bytes);
    return LoadPackage(package, memory);
}

}  // namespace kivrel
