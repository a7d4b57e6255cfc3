// Update files are untrusted. Whatever the bytes, loading must not crash or read outside a
// buffer, and what it does load must keep the package's own rules: padded sections, both
// checksum rules, model images of their fixed size, whole province records.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/byte_sum.h"
#include "base/le_bytes.h"
#include "package/package_index.h"
#include "package/regional_database.h"
#include "package/scrambler.h"
#include "package/update_package.h"

namespace {

using namespace kivrel;

void Check(bool holds) {
    if (!holds) std::abort();
}

bool PaddedWithFF(const SectionBuffer& section, std::size_t from) {
    return std::all_of(section.bytes.begin() + static_cast<std::ptrdiff_t>(from),
                       section.bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

void CheckPlainRule(const SectionBuffer& section) {
    if (!section.Loaded()) return;
    Check(section.bytes.size() % 256 == 0);
    Check(section.recordedSize > 0 && section.recordedSize <= section.bytes.size());
    Check(section.bytes.size() - section.recordedSize < 256);
    Check(PaddedWithFF(section, section.recordedSize));
    std::vector<std::uint8_t> plain(section.bytes.begin(),
                                    section.bytes.begin() + section.recordedSize);
    UnscrambleBuffer(plain);
    const auto padding = static_cast<std::uint32_t>(section.bytes.size() - plain.size());
    Check(section.checksum == ByteSum(plain) + padding * 255u);
}

void CheckStoredRule(const SectionBuffer& section) {
    if (!section.Loaded()) return;
    Check(section.bytes.size() % 256 == 0);
    Check(section.recordedSize == 0);
    Check(section.checksum == ByteSum(section.bytes));
}

void CheckModel(const ModelEntry& entry) {
    Check(entry.flashImage.size() == kModelFlashImageBytes);
    Check(GetU32(entry.blockHeader.data()) == kModelBlockMagic);
    Check(GetU32(entry.blockHeader.data() + 4) == entry.data.recordedSize);
    Check(entry.data.recordedSize <= kModelDataLimit);
    Check(std::equal(entry.blockHeader.begin(), entry.blockHeader.end(), entry.flashImage.begin()));
    if (!entry.data.Loaded()) {
        Check(entry.data.recordedSize == 0 && entry.data.checksum == 0);
        return;
    }
    CheckPlainRule(entry.data);
    std::vector<std::uint8_t> plain(entry.data.bytes.begin(),
                                    entry.data.bytes.begin() + entry.data.recordedSize);
    UnscrambleBuffer(plain);
    Check(std::equal(plain.begin(), plain.end(), entry.flashImage.begin() + kModelDataStart));
    Check(GetU32(entry.blockHeader.data() + 8) == ByteSum(plain));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    UpdatePackage package;
    const bool loaded = LoadPackageBytes(package, {data, size});
    if (!loaded) {
        // Refusing is always allowed; a refused file loads nothing the unit could be sent. A
        // model table may stay, but none of its entries has data.
        for (const SectionBuffer* s :
             {&package.base, &package.resource, &package.database, &package.main, &package.altMain,
              &package.auxiliary, &package.regionalMain, &package.regionalAltMain}) {
            Check(!s->Loaded());
        }
        for (const ModelEntry& entry : package.models) Check(!entry.data.Loaded());
        return 0;
    }
    Check(size >= kShortIndexBytes);
    for (const SectionBuffer* s : {&package.base, &package.resource, &package.database}) {
        CheckPlainRule(*s);
        Check(s->bytes.size() <= size + 255);
    }
    for (const SectionBuffer* s : {&package.main, &package.altMain, &package.auxiliary,
                                   &package.regionalMain, &package.regionalAltMain}) {
        CheckStoredRule(*s);
        Check(s->bytes.size() <= size + 255);
    }
    Check(package.base.recordedSize <= kBaseImageLimit);
    Check(package.models.size() <= kModelEntryLimit);
    for (const ModelEntry& entry : package.models) CheckModel(entry);
    std::size_t recordBytes = 0;
    for (const ProvinceEntry& entry : package.provinces) {
        Check(entry.records.size() == std::size_t{entry.recordCount} * kPointRecordBytes);
        Check(entry.name[kProvinceNameBytes] == 0 && entry.name[kProvinceNameBytes + 1] == 0);
        recordBytes += entry.records.size();
    }
    Check(recordBytes <= size);

    // The regional build over whatever province table came in, every province chosen.
    std::array<std::int32_t, kProvinceCount> flags;
    flags.fill(1);
    Check(BuildRegionalDatabase(package, flags));
    Check(package.regional);
    CheckPlainRule(package.database);
    Check(package.database.recordedSize >= 8 && (package.database.recordedSize - 8) % 12 == 0);
    return 0;
}
