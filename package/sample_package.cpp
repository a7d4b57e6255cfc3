#include "package/sample_package.h"

#include <algorithm>
#include <cstdio>

#include "base/le_bytes.h"
#include "package/province_names.h"

namespace kivrel {
namespace {

// A small fixed generator: the same options give the same file on every platform.
class SampleBytes {
public:
    explicit SampleBytes(std::uint32_t seed) noexcept : state(seed * 2654435761u + 1) {}
    std::uint32_t Next() noexcept {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    std::vector<std::uint8_t> Fill(std::uint32_t size) {
        std::vector<std::uint8_t> bytes(size);
        for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(Next() >> 24);
        return bytes;
    }

private:
    std::uint32_t state;
};

// A section whose word `wordIndex` is the date, when the section is long enough to hold it.
std::vector<std::uint8_t> DatedSection(SampleBytes& random, std::uint32_t size,
                                       std::size_t wordIndex, std::uint32_t seconds) {
    std::vector<std::uint8_t> bytes = random.Fill(size);
    if (bytes.size() >= 4 * wordIndex + 4) PutU32(bytes.data() + 4 * wordIndex, seconds);
    return bytes;
}

}  // namespace

PackageContents MakeSamplePackage(const SampleOptions& options) {
    const SampleSizes& sizes = options.sizes;
    const std::uint32_t seconds = DateToSeconds(options.date);
    SampleBytes random(options.seed);
    PackageContents contents;
    contents.formatVersion = 5;
    contents.identity.fill(0xFF);
    std::fill_n(contents.identity.begin(), 16, std::uint8_t{' '});
    std::copy_n(options.vendorTag.begin(), std::min<std::size_t>(options.vendorTag.size(), 16),
                contents.identity.begin());

    contents.base = random.Fill(sizes.base);
    contents.resource = DatedSection(random, sizes.resource, 0, seconds);
    contents.database = DatedSection(random, sizes.database, 0, seconds);
    contents.main = DatedSection(random, sizes.main, 1, seconds);
    contents.altMain = DatedSection(random, sizes.altMain, 1, seconds);
    contents.auxiliary = random.Fill(sizes.auxiliary);
    contents.regionalMain = DatedSection(random, sizes.regionalMain, 1, seconds);
    contents.regionalAltMain = DatedSection(random, sizes.regionalAltMain, 1, seconds);

    contents.hasModelTable = sizes.modelCount > 0;
    for (std::uint32_t i = 0; i < sizes.modelCount; ++i) {
        char id[8];
        std::snprintf(id, sizeof id, "KV%02u", static_cast<unsigned>((i + 1) % 100));
        ModelEntrySource model;
        model.modelId = GetU32(reinterpret_cast<const std::uint8_t*>(id));
        model.data = random.Fill(sizes.modelDataBytes);
        model.firstLayoutWord = 0x10000 * (i % 4);
        model.altMainFlag = i % 2;
        model.secondLayoutWord = 0x100 + i;
        contents.models.push_back(std::move(model));
    }

    contents.hasProvinceTable = sizes.recordsPerProvince > 0;
    PutU32(contents.provinceTag.data(), seconds);
    if (contents.hasProvinceTable) {
        for (const ProvinceName& name : kProvinceNames) {
            ProvinceSource province;
            province.name = std::string(name.gbk);
            province.records = random.Fill(sizes.recordsPerProvince *
                                           static_cast<std::uint32_t>(kPointRecordBytes));
            contents.provinces.push_back(std::move(province));
        }
    }
    return contents;
}

}  // namespace kivrel
