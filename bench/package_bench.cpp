// Goals: loading a package costs at most twice reading the file and summing it once; building a
// regional database from 400 000 records costs at most twice sorting their keys.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/byte_sum.h"
#include "base/le_bytes.h"
#include "base/text.h"
#include "package/package_writer.h"
#include "package/regional_database.h"
#include "package/sample_package.h"
#include "package/update_package.h"

namespace kivrel {
namespace {

// Base 32 KiB, resource 800 KiB, the four main images 2 MiB each, database 5256 KiB,
// 40 model entries of 32 KiB, 34 provinces.
const std::filesystem::path& LimitPackageFile() {
    static const std::filesystem::path path = [] {
        SampleOptions options;
        options.sizes = {.base = 0x8000,
                         .resource = 0xC8000,
                         .database = 0x522000,
                         .main = 0x200000,
                         .altMain = 0x200000,
                         .auxiliary = 0,
                         .regionalMain = 0x200000,
                         .regionalAltMain = 0x200000,
                         .modelCount = 40,
                         .modelDataBytes = 0x8000,
                         .recordsPerProvince = 1000};
        const WrittenPackage file = WritePackage(MakeSamplePackage(options));
        const std::filesystem::path where =
            std::filesystem::temp_directory_path() / "kivrel-bench-limits.qdx";
        std::ofstream out(where, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(file.bytes.data()),
                  static_cast<std::streamsize>(file.bytes.size()));
        return where;
    }();
    return path;
}

void BM_LoadPackageAtLimits(benchmark::State& state) {
    const std::wstring path = Utf8ToWide(LimitPackageFile().string());
    const auto size = static_cast<std::int64_t>(std::filesystem::file_size(LimitPackageFile()));
    for (auto _ : state) {
        UpdatePackage package;
        if (!LoadPackage(package, path)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(package.database.checksum);
    }
    state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_LoadPackageAtLimits)->Unit(benchmark::kMillisecond);

// The baseline: the same file read into memory and summed once.
void BM_ReadFileAndByteSumBaseline(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(std::filesystem::file_size(LimitPackageFile()));
    for (auto _ : state) {
        std::vector<std::uint8_t> bytes(size);
        std::ifstream in(LimitPackageFile(), std::ios::binary);
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
        benchmark::DoNotOptimize(ByteSum(bytes));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}
BENCHMARK(BM_ReadFileAndByteSumBaseline)->Unit(benchmark::kMillisecond);

constexpr std::size_t kRegionalRecords = 400000;

// 400 000 records over the 34 provinces, keys on both sides of zero.
const UpdatePackage& RegionalPackage() {
    static const UpdatePackage package = [] {
        UpdatePackage p;
        std::uint32_t state = 12345;
        for (std::size_t i = 0; i < kProvinceCount; ++i) {
            ProvinceEntry entry;
            const std::string_view name = kProvinceNames[i].gbk;
            std::copy(name.begin(), name.end(), entry.name.begin());
            entry.recordCount = static_cast<std::uint32_t>(kRegionalRecords / kProvinceCount +
                                                           (i < kRegionalRecords % kProvinceCount));
            entry.records.resize(entry.recordCount * kPointRecordBytes);
            for (std::size_t w = 0; w < entry.records.size(); w += 4) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                PutU32(entry.records.data() + w, state);
            }
            p.provinces.push_back(std::move(entry));
        }
        return p;
    }();
    return package;
}

void BM_BuildRegionalDatabase400k(benchmark::State& state) {
    UpdatePackage package = RegionalPackage();
    std::array<std::int32_t, kProvinceCount> flags;
    flags.fill(1);
    for (auto _ : state) {
        if (!BuildRegionalDatabase(package, flags)) state.SkipWithError("build failed");
        benchmark::DoNotOptimize(package.database.checksum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kRegionalRecords));
}
BENCHMARK(BM_BuildRegionalDatabase400k)->Unit(benchmark::kMillisecond);

// The baseline: std::sort of the same 400 000 keys, from the same unsorted order each time.
void BM_SortKeys400kBaseline(benchmark::State& state) {
    std::vector<std::int32_t> keys;
    for (const ProvinceEntry& entry : RegionalPackage().provinces) {
        for (std::size_t at = 0; at < entry.records.size(); at += kPointRecordBytes) {
            keys.push_back(PointSortKey(GetU32(entry.records.data() + at + 4)));
        }
    }
    for (auto _ : state) {
        std::vector<std::int32_t> sorted = keys;
        std::sort(sorted.begin(), sorted.end());
        benchmark::DoNotOptimize(sorted.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(keys.size()));
}
BENCHMARK(BM_SortKeys400kBaseline)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kivrel

BENCHMARK_MAIN();
