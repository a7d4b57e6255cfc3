#pragma once
// Deterministic sample contents for an update file, for the demo, fuzz seeds and benchmarks.

#include <cstdint>
#include <string_view>

#include "package/build_date.h"
#include "package/package_writer.h"

namespace kivrel {

struct SampleSizes {
    // Plain section sizes in bytes; 0 leaves the section out.
    std::uint32_t base = 2048;
    std::uint32_t resource = 3000;
    std::uint32_t database = 6000;
    std::uint32_t main = 4096;
    std::uint32_t altMain = 4000;
    std::uint32_t auxiliary = 1000;
    std::uint32_t regionalMain = 4096;
    std::uint32_t regionalAltMain = 4000;
    std::uint32_t modelCount = 2;  // 0: no model table
    std::uint32_t modelDataBytes = 1500;
    std::uint32_t recordsPerProvince = 6;  // 0: no province table
};

struct SampleOptions {
    SampleSizes sizes;
    // Written where the loader reads dates: word 0 of the resource and database images, word
    // 1 of the main images. The province tag carries it too, as in a regional database.
    BuildDate date{.second = 0, .minute = 0, .hour = 8, .day = 1, .month = 5, .year = 2024};
    std::string_view vendorTag = "Kivrel sample";  // start of the identity block
    std::uint32_t seed = 1;
};

// Every byte follows from the options. Model ids are "KV01", "KV02", ... (ASCII, as stored);
// the province table names the 34 provinces in table order, each with point records whose
// keys run both sides of zero.
[[nodiscard]] PackageContents MakeSamplePackage(const SampleOptions& options);

}  // namespace kivrel
