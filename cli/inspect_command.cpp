// `kivrel inspect` loads an update file and describes it, as text or as JSON.

#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "base/ascii_text.h"
#include "base/byte_sum.h"
#include "base/gbk_text.h"
#include "base/le_bytes.h"
#include "base/native_path.h"
#include "cli/cli_text.h"
#include "cli/commands.h"
#include "package/package_index.h"
#include "package/package_source.h"
#include "package/province_names.h"
#include "package/update_package.h"
#include "package/vendor_check.h"

namespace kivrel::cli {
namespace {

std::string ModelIdText(std::uint32_t modelId) {
    std::uint8_t bytes[4];
    PutU32(bytes, modelId);
    return Printable(bytes);
}

struct NamedSection {
    const char* name;
    const SectionBuffer& section;
    SectionPlace place;
};

std::vector<NamedSection> LoadedSections(const UpdatePackage& package, const PackageIndex& index) {
    const NamedSection all[] = {
        {"base", package.base, index.base},
        {"resource", package.resource, index.resource},
        {"database", package.database, index.database},
        {"main", package.main, index.main},
        {"alt_main", package.altMain, index.altMain},
        {"auxiliary", package.auxiliary, index.auxiliary},
        {"regional_main", package.regionalMain, index.regionalMain},
        {"regional_alt_main", package.regionalAltMain, index.regionalAltMain},
    };
    std::vector<NamedSection> loaded;
    for (const NamedSection& s : all) {
        if (s.section.Loaded()) loaded.push_back(s);
    }
    return loaded;
}

struct NamedDate {
    const char* name;
    const BuildDate& date;
};

std::vector<NamedDate> DecodedDates(const UpdatePackage& package) {
    const NamedDate all[] = {
        {"resource", package.resourceDate},
        {"database", package.databaseDate},
        {"main", package.mainDate},
        {"regional_main", package.regionalMainDate},
    };
    std::vector<NamedDate> decoded;
    for (const NamedDate& d : all) {
        if (d.date.month != 0) decoded.push_back(d);
    }
    return decoded;
}

nlohmann::ordered_json InspectJson(const UpdatePackage& package, const PackageIndex& index,
                                   const VendorConfig& vendor) {
    nlohmann::ordered_json out;
    out["index_form"] = IndexFormName(package.indexForm);
    out["format_version"] = package.formatVersion;
    out["identity_hex"] = Hex(package.identity);
    out["vendor_accepted"] = CheckPackageVendor(package, vendor);
    nlohmann::ordered_json sections = nlohmann::ordered_json::object();
    for (const NamedSection& s : LoadedSections(package, index)) {
        sections[s.name] = {{"size", s.place.size},
                            {"padded_length", s.section.PaddedLength()},
                            {"recorded_size", s.section.recordedSize},
                            {"checksum", s.section.checksum}};
    }
    out["sections"] = sections;
    nlohmann::ordered_json dates = nlohmann::ordered_json::object();
    for (const NamedDate& d : DecodedDates(package)) dates[d.name] = FormatDate(d.date);
    out["dates"] = dates;
    if (package.modelTablePresent) {
        nlohmann::ordered_json entries = nlohmann::ordered_json::array();
        for (const ModelEntry& entry : package.models) {
            entries.push_back({{"model_id_hex", Hex32(entry.modelId)},
                               {"model_id_text", ModelIdText(entry.modelId)},
                               {"data_size", entry.data.recordedSize},
                               {"padded_length", entry.data.PaddedLength()},
                               {"checksum", entry.data.checksum},
                               {"header_checksum", ByteSum(entry.blockHeader)},
                               {"first_layout_word", entry.firstLayoutWord},
                               {"second_layout_word", entry.secondLayoutWord},
                               {"alt_main", entry.altMainFlag}});
        }
        out["models"] = {{"extended", package.modelTableExtended}, {"entries", entries}};
    }
    if (package.HasProvinceTable()) {
        nlohmann::ordered_json entries = nlohmann::ordered_json::array();
        for (const ProvinceEntry& entry : package.provinces) {
            entries.push_back(
                {{"name", ProvinceNameForDisplay({entry.name.data(), kProvinceNameBytes})},
                 {"records", entry.recordCount}});
        }
        out["provinces"] = {{"tag_hex", Hex(package.provinceTag)}, {"entries", entries}};
    }
    return out;
}

std::string InspectText(const std::string& file, const UpdatePackage& package,
                        const PackageIndex& index, const VendorConfig& vendor) {
    std::ostringstream out;
    char line[256];
    out << "File:           " << file << '\n';
    out << "Index:          " << IndexFormName(package.indexForm) << " form, format version "
        << package.formatVersion << '\n';
    out << "Vendor tag:     \"" << GbkToUtf8({package.identity.data(), 16}) << "\" ("
        << (CheckPackageVendor(package, vendor) ? "accepted" : "refused") << " by this build)\n";
    out << "Sections:\n";
    for (const NamedSection& s : LoadedSections(package, index)) {
        std::snprintf(line, sizeof line,
                      "  %-18s %10u bytes, padded %10u, recorded %10u, checksum 0x%08x\n", s.name,
                      static_cast<unsigned>(s.place.size),
                      static_cast<unsigned>(s.section.PaddedLength()),
                      static_cast<unsigned>(s.section.recordedSize),
                      static_cast<unsigned>(s.section.checksum));
        out << line;
    }
    const std::vector<NamedDate> dates = DecodedDates(package);
    if (!dates.empty()) out << "Dates:\n";
    for (const NamedDate& d : dates) {
        std::snprintf(line, sizeof line, "  %-18s %s\n", d.name, FormatDate(d.date).c_str());
        out << line;
    }
    if (package.modelTablePresent) {
        out << "Model table:    " << (package.modelTableExtended ? "extended" : "compact") << ", "
            << package.models.size() << (package.models.size() == 1 ? " entry\n" : " entries\n");
        for (const ModelEntry& entry : package.models) {
            std::snprintf(line, sizeof line,
                          "  %-6s 0x%08x  data %5u bytes, checksum 0x%08x, layout 0x%x/0x%x, "
                          "alt main %u\n",
                          ModelIdText(entry.modelId).c_str(), static_cast<unsigned>(entry.modelId),
                          static_cast<unsigned>(entry.data.recordedSize),
                          static_cast<unsigned>(entry.data.checksum),
                          static_cast<unsigned>(entry.firstLayoutWord),
                          static_cast<unsigned>(entry.secondLayoutWord),
                          static_cast<unsigned>(entry.altMainFlag));
            out << line;
        }
    }
    if (package.HasProvinceTable()) {
        out << "Province table: tag " << Hex(package.provinceTag) << ", "
            << package.provinces.size()
            << (package.provinces.size() == 1 ? " entry\n" : " entries\n");
        for (const ProvinceEntry& entry : package.provinces) {
            out << "  " << ProvinceNameForDisplay({entry.name.data(), kProvinceNameBytes}) << ": "
                << entry.recordCount << " records\n";
        }
    }
    return out.str();
}

}  // namespace

int RunInspect(const std::string& file, const GlobalOptions& options) {
    const auto fail = [&file](const char* reason) {
        std::cerr << "kivrel inspect: " << file << ": " << reason << '\n';
        return kExitFailure;
    };
    FileByteSource source;
    if (!source.Open(WidePathFromArgument(file))) return fail("cannot open the file");
    if (source.Size() < kShortIndexBytes) return fail("too short to be an update file");
    PackageIndex index;
    IndexForm form = IndexForm::kFull;
    if (!ReadPackageIndex(source, index, form)) {
        return fail("not an update file (no valid index block at its end)");
    }
    UpdatePackage package;
    if (!LoadPackage(package, source)) {
        return fail(
            "no section of the update file could be loaded (sizes or offsets lie "
            "outside the file)");
    }
    if (options.json) {
        std::cout << InspectJson(package, index, options.Vendor()).dump(2) << '\n';
    } else {
        std::cout << InspectText(file, package, index, options.Vendor());
    }
    return kExitOk;
}

}  // namespace kivrel::cli
