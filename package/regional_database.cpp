#include "package/regional_database.h"

#include <algorithm>
#include <new>
#include <vector>

#include "base/byte_sum.h"
#include "base/le_bytes.h"
#include "package/scrambler.h"

namespace kivrel {
namespace {

constexpr std::size_t kBlockHeaderBytes = 8;

bool BuildBlock(UpdatePackage& package, std::span<const std::int32_t, kProvinceCount> flags) {
    std::vector<const ProvinceEntry*> chosen;
    std::uint64_t recordCount = 0;
    for (std::size_t i = 0; i < kProvinceCount; ++i) {
        if (flags[i] == 0) continue;
        for (const ProvinceEntry& entry : package.provinces) {
            if (ProvinceNameEquals({entry.name.data(), kProvinceNameBytes},
                                   kProvinceNames[i].gbk)) {
                chosen.push_back(&entry);
                recordCount += entry.records.size() / kPointRecordBytes;
                break;
            }
        }
    }

    // Sorting 64-bit words of (biased key, record number) keeps the sort as cheap as sorting
    // the keys alone; the records are then gathered once in key order.
    std::vector<std::uint64_t> order;
    order.reserve(static_cast<std::size_t>(recordCount));
    std::vector<const std::uint8_t*> records;
    records.reserve(static_cast<std::size_t>(recordCount));
    for (const ProvinceEntry* entry : chosen) {
        const std::size_t count = entry->records.size() / kPointRecordBytes;
        for (std::size_t r = 0; r < count; ++r) {
            const std::uint8_t* record = entry->records.data() + r * kPointRecordBytes;
            const auto biased =
                static_cast<std::uint32_t>(PointSortKey(GetU32(record + 4))) ^ 0x80000000u;
            order.push_back(std::uint64_t{biased} << 32 | records.size());
            records.push_back(record);
        }
    }
    std::sort(order.begin(), order.end());

    const std::size_t blockBytes = kBlockHeaderBytes + records.size() * kPointRecordBytes;
    SectionBuffer& database = package.database;
    database.bytes.resize((blockBytes + 255) / 256 * 256);
    std::uint8_t* out = database.bytes.data();
    std::copy(package.provinceTag.begin(), package.provinceTag.end(), out);
    PutU32(out + 4, static_cast<std::uint32_t>(records.size()));
    out += kBlockHeaderBytes;
    for (std::uint64_t item : order) {
        std::copy_n(records[static_cast<std::uint32_t>(item)], kPointRecordBytes, out);
        out += kPointRecordBytes;
    }

    const std::span<std::uint8_t> block(database.bytes.data(), blockBytes);
    const std::uint32_t padding = static_cast<std::uint32_t>(database.bytes.size() - blockBytes);
    database.checksum = ByteSum(block) + padding * 255u;  // wraps on purpose
    database.recordedSize = static_cast<std::uint32_t>(blockBytes);
    ScrambleBuffer(block);
    std::fill(database.bytes.begin() + static_cast<std::ptrdiff_t>(blockBytes),
              database.bytes.end(), std::uint8_t{0xFF});
    return true;
}

}  // namespace

bool BuildRegionalDatabase(UpdatePackage& package,
                           std::span<const std::int32_t, kProvinceCount> flags) {
    package.database.Release();
    try {
        if (!BuildBlock(package, flags)) return false;
    } catch (const std::bad_alloc&) {
        package.database.Release();
        return false;
    }
    package.regional = true;
    return true;
}

}  // namespace kivrel
