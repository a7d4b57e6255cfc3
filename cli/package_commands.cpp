// `kivrel inspect` describes an update file; `kivrel pack` builds one.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/byte_sum.h"
#include "base/le_bytes.h"
#include "base/native_path.h"
#include "cli/cli_text.h"
#include "base/text.h"
#include "cli/commands.h"
#include "package/package_index.h"
#include "package/package_source.h"
#include "package/package_writer.h"
#include "package/province_names.h"
#include "package/sample_package.h"
#include "package/update_package.h"
#include "package/vendor_check.h"

namespace kivrel::cli {
namespace {

// Printable ASCII as it is, every other byte as \xNN.
std::string Printable(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (std::uint8_t c : bytes) {
        if (c >= 0x20 && c < 0x7F) {
            text += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", unsigned{c});
            text += escaped;
        }
    }
    return text;
}

std::string ModelIdText(std::uint32_t modelId) {
    std::uint8_t bytes[4];
    PutU32(bytes, modelId);
    return Printable(bytes);
}

// ---- inspect ----------------------------------------------------------------------------

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

nlohmann::ordered_json InspectJson(const UpdatePackage& package, const PackageIndex& index) {
    nlohmann::ordered_json out;
    out["index_form"] = IndexFormName(package.indexForm);
    out["format_version"] = package.formatVersion;
    out["identity_hex"] = Hex(package.identity);
    out["vendor_accepted"] = CheckPackageVendor(package, DefaultVendorConfig());
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
                        const PackageIndex& index) {
    std::ostringstream out;
    char line[256];
    out << "File:           " << file << '\n';
    out << "Index:          " << IndexFormName(package.indexForm) << " form, format version "
        << package.formatVersion << '\n';
    out << "Vendor tag:     \"" << Printable({package.identity.data(), 16}) << "\" ("
        << (CheckPackageVendor(package, DefaultVendorConfig()) ? "accepted" : "refused")
        << " by this build)\n";
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
            << package.provinces.size() << " entries\n";
        for (const ProvinceEntry& entry : package.provinces) {
            out << "  " << ProvinceNameForDisplay({entry.name.data(), kProvinceNameBytes}) << ": "
                << entry.recordCount << " records\n";
        }
    }
    return out.str();
}

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
        std::cout << InspectJson(package, index).dump(2) << '\n';
    } else {
        std::cout << InspectText(file, package, index);
    }
    return kExitOk;
}

// ---- pack -------------------------------------------------------------------------------

struct PackOptions {
    std::string out;
    std::string form = "full";
    std::optional<std::uint32_t> formatVersion;
    bool sample = false;
    std::string sampleDate;
    std::uint32_t seed = 1;
    std::optional<std::uint32_t> sampleModels;
    std::vector<std::string> omit;
    std::string vendor;
    std::string identityFile;
    std::string base, resource, database, main, altMain, auxiliary, regionalMain, regionalAltMain;
    std::vector<std::string> models;
    std::vector<std::string> modelLayouts;
    bool compactModels = false;
    std::vector<std::string> provinces;
    std::optional<std::uint32_t> provinceTag;
    std::vector<std::string> order;
    std::optional<std::uint32_t> shuffle;
    std::uint32_t gap = 0;
};

struct PartName {
    const char* name;
    PackagePart part;
};
constexpr PartName kPartNames[] = {
    {"base", PackagePart::kBase},
    {"models", PackagePart::kModelTable},
    {"resource", PackagePart::kResource},
    {"main", PackagePart::kMain},
    {"database", PackagePart::kDatabase},
    {"auxiliary", PackagePart::kAuxiliary},
    {"alt-main", PackagePart::kAltMain},
    {"provinces", PackagePart::kProvinceTable},
    {"regional-main", PackagePart::kRegionalMain},
    {"regional-alt-main", PackagePart::kRegionalAltMain},
};

std::optional<PackagePart> PartByName(const std::string& name) {
    for (const PartName& p : kPartNames) {
        if (name == p.name) return p.part;
    }
    return std::nullopt;
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(ArgumentPath(path), std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool ParseUnsigned(const std::string& text, std::uint32_t& value) {
    try {
        std::size_t used = 0;
        const unsigned long long parsed = std::stoull(text, &used, 0);
        if (used != text.size() || parsed > 0xFFFFFFFFull) return false;
        value = static_cast<std::uint32_t>(parsed);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// "KV01" (4 ASCII characters, as stored) or a number such as 0x3130564b.
bool ParseModelId(const std::string& text, std::uint32_t& id) {
    if (text.size() == 4 && text.rfind("0x", 0) != 0) {
        id = GetU32(reinterpret_cast<const std::uint8_t*>(text.data()));
        return true;
    }
    return ParseUnsigned(text, id);
}

bool ParseDate(const std::string& text, BuildDate& date) {
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char tail = 0;
    const int n = std::sscanf(text.c_str(), "%u-%u-%u %u:%u:%u%c", &y, &mo, &d, &h, &mi, &s, &tail);
    if (n != 3 && n != 6) return false;
    date = BuildDate{.second = static_cast<std::uint8_t>(s),
                     .minute = static_cast<std::uint8_t>(mi),
                     .hour = static_cast<std::uint8_t>(h),
                     .day = static_cast<std::uint8_t>(d),
                     .month = static_cast<std::uint8_t>(mo),
                     .year = static_cast<std::uint16_t>(y)};
    return y < 65536 && DateToSeconds(date) != 0;
}

// Splits "KEY=VALUE" at the first '='.
bool SplitAssignment(const std::string& text, std::string& key, std::string& value) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    key = text.substr(0, eq);
    value = text.substr(eq + 1);
    return true;
}

// A province by its UTF-8 name or its index 0-33; the GBK name goes into the file.
bool ProvinceByName(const std::string& text, std::string& gbk) {
    for (const ProvinceName& name : kProvinceNames) {
        if (text == name.utf8) {
            gbk = std::string(name.gbk);
            return true;
        }
    }
    std::uint32_t index = 0;
    if (ParseUnsigned(text, index) && index < kProvinceCount) {
        gbk = std::string(kProvinceNames[index].gbk);
        return true;
    }
    return false;
}

class PackBuilder {
public:
    explicit PackBuilder(const PackOptions& o) : options(o) {}

    // An empty text on success; otherwise what is wrong.
    std::string Build(PackageContents& contents, PackagePlacement& placement) {
        if (options.sample) {
            SampleOptions sample;
            if (!options.sampleDate.empty() && !ParseDate(options.sampleDate, sample.date)) {
                return "--date: expected YYYY-MM-DD[ hh:mm:ss] between 1970 and 2106";
            }
            sample.seed = options.seed;
            if (options.sampleModels) sample.sizes.modelCount = *options.sampleModels;
            contents = MakeSamplePackage(sample);
        } else {
            contents.identity.fill(0xFF);
            std::fill_n(contents.identity.begin(), 16, std::uint8_t{' '});
        }
        for (const std::string& name : options.omit) {
            const std::optional<PackagePart> part = PartByName(name);
            if (!part) return "--omit: unknown part \"" + name + "\"";
            Omit(contents, *part);
        }
        if (!options.vendor.empty()) {
            std::fill_n(contents.identity.begin(), 16, std::uint8_t{' '});
            std::copy_n(options.vendor.begin(), std::min<std::size_t>(options.vendor.size(), 16),
                        contents.identity.begin());
        }
        if (!options.identityFile.empty()) {
            std::vector<std::uint8_t> identity;
            if (!ReadWholeFile(options.identityFile, identity) ||
                identity.size() != kIdentityBytes) {
                return "--identity: " + options.identityFile + " must be a 256-byte file";
            }
            std::copy(identity.begin(), identity.end(), contents.identity.begin());
        }
        if (options.formatVersion) contents.formatVersion = *options.formatVersion;

        const std::pair<const std::string&, std::vector<std::uint8_t>&> files[] = {
            {options.base, contents.base},
            {options.resource, contents.resource},
            {options.database, contents.database},
            {options.main, contents.main},
            {options.altMain, contents.altMain},
            {options.auxiliary, contents.auxiliary},
            {options.regionalMain, contents.regionalMain},
            {options.regionalAltMain, contents.regionalAltMain},
        };
        for (const auto& [path, bytes] : files) {
            if (!path.empty() && !ReadWholeFile(path, bytes)) return "cannot read " + path;
        }
        if (std::string error = AddModels(contents); !error.empty()) return error;
        if (std::string error = AddProvinces(contents); !error.empty()) return error;
        return Place(placement);
    }

private:
    static void Omit(PackageContents& contents, PackagePart part) {
        switch (part) {
            case PackagePart::kBase:
                contents.base.clear();
                break;
            case PackagePart::kModelTable:
                contents.hasModelTable = false;
                contents.models.clear();
                break;
            case PackagePart::kResource:
                contents.resource.clear();
                break;
            case PackagePart::kMain:
                contents.main.clear();
                break;
            case PackagePart::kDatabase:
                contents.database.clear();
                break;
            case PackagePart::kAuxiliary:
                contents.auxiliary.clear();
                break;
            case PackagePart::kAltMain:
                contents.altMain.clear();
                break;
            case PackagePart::kProvinceTable:
                contents.hasProvinceTable = false;
                contents.provinces.clear();
                break;
            case PackagePart::kRegionalMain:
                contents.regionalMain.clear();
                break;
            case PackagePart::kRegionalAltMain:
                contents.regionalAltMain.clear();
                break;
        }
    }

    std::string AddModels(PackageContents& contents) {
        if (!options.models.empty()) contents.models.clear();
        for (const std::string& spec : options.models) {
            std::string idText, path;
            ModelEntrySource model;
            if (!SplitAssignment(spec, idText, path) || !ParseModelId(idText, model.modelId)) {
                return "--model: expected ID=FILE, not \"" + spec + "\"";
            }
            if (!ReadWholeFile(path, model.data)) return "cannot read " + path;
            contents.models.push_back(std::move(model));
            contents.hasModelTable = true;
        }
        for (const std::string& spec : options.modelLayouts) {
            std::string idText, words;
            std::uint32_t id = 0;
            if (!SplitAssignment(spec, idText, words) || !ParseModelId(idText, id)) {
                return "--model-layout: expected ID=FIRST,SECOND,ALT, not \"" + spec + "\"";
            }
            std::uint32_t values[3] = {};
            std::istringstream parts(words);
            std::string part;
            for (std::uint32_t& value : values) {
                if (!std::getline(parts, part, ',') || !ParseUnsigned(part, value)) {
                    return "--model-layout: expected ID=FIRST,SECOND,ALT, not \"" + spec + "\"";
                }
            }
            bool found = false;
            for (ModelEntrySource& model : contents.models) {
                if (model.modelId != id) continue;
                model.firstLayoutWord = values[0];
                model.secondLayoutWord = values[1];
                model.altMainFlag = values[2];
                found = true;
            }
            if (!found) return "--model-layout: no model " + idText;
        }
        if (options.compactModels) contents.extendedModelTable = false;
        return {};
    }

    std::string AddProvinces(PackageContents& contents) {
        if (!options.provinces.empty()) contents.provinces.clear();
        for (const std::string& spec : options.provinces) {
            std::string name, path;
            ProvinceSource province;
            if (!SplitAssignment(spec, name, path) || !ProvinceByName(name, province.name)) {
                return "--province: expected NAME=FILE with one of the 34 province names or "
                       "0-33, not \"" +
                       spec + "\"";
            }
            if (!ReadWholeFile(path, province.records) ||
                province.records.size() % kPointRecordBytes != 0) {
                return "--province: " + path + " must hold whole 12-byte records";
            }
            contents.provinces.push_back(std::move(province));
            contents.hasProvinceTable = true;
        }
        if (options.provinceTag) PutU32(contents.provinceTag.data(), *options.provinceTag);
        return {};
    }

    std::string Place(PackagePlacement& placement) {
        placement.form = options.form == "medium"  ? IndexForm::kMedium
                         : options.form == "short" ? IndexForm::kShort
                                                   : IndexForm::kFull;
        placement.gap = options.gap;
        for (const std::string& name : options.order) {
            const std::optional<PackagePart> part = PartByName(name);
            if (!part) return "--order: unknown part \"" + name + "\"";
            placement.order.push_back(*part);
        }
        if (options.shuffle) {
            // Our own shuffle, so a seed gives the same file on every platform.
            std::vector<PackagePart> all;
            for (const PartName& p : kPartNames) all.push_back(p.part);
            std::uint32_t state = *options.shuffle * 2654435761u + 1;
            for (std::size_t i = all.size() - 1; i > 0; --i) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                std::swap(all[i], all[state % (i + 1)]);
            }
            placement.order = all;
        }
        return {};
    }

    const PackOptions& options;
};

int RunPack(const PackOptions& options) {
    PackageContents contents;
    PackagePlacement placement;
    if (const std::string error = PackBuilder(options).Build(contents, placement); !error.empty()) {
        std::cerr << "kivrel pack: " << error << '\n';
        return kExitUsage;
    }
    const WrittenPackage file = WritePackage(contents, placement);
    std::ofstream out(ArgumentPath(options.out), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.bytes.data()),
              static_cast<std::streamsize>(file.bytes.size()));
    out.close();
    if (!out) {
        std::cerr << "kivrel pack: cannot write " << options.out << '\n';
        return kExitFailure;
    }
    std::cout << "wrote " << options.out << ": " << file.bytes.size() << " bytes, "
              << IndexFormName(placement.form) << " index\n";
    return kExitOk;
}

}  // namespace

void RegisterPackageCommands(CLI::App& app, GlobalOptions& options, CommandTable& commands) {
    auto inspectFile = std::make_shared<std::string>();
    CLI::App* inspect = app.add_subcommand("inspect", "load an update file and describe it");
    inspect->add_option("FILE", *inspectFile, "the update file (*.qdx)")->required();
    inspect->footer(
        "With --json: one object (index_form, format_version, identity_hex, "
        "sections, dates, models, provinces).");
    commands.emplace_back(inspect,
                          [inspectFile, &options] { return RunInspect(*inspectFile, options); });

    auto pack = std::make_shared<PackOptions>();
    CLI::App* sub = app.add_subcommand(
        "pack", "build an update file from plain (unscrambled) parts; the inverse of inspect");
    sub->add_option("OUT", pack->out, "the update file to write")->required();
    sub->add_option("--form", pack->form, "index form: full (default), medium or short")
        ->check(CLI::IsMember({"full", "medium", "short"}));
    sub->add_option("--format-version", pack->formatVersion,
                    "format version of a full index (default 5; 5 or more carries the "
                    "alternate main images)");
    sub->add_flag("--sample", pack->sample,
                  "start from deterministic sample contents: every section, 2 models, the 34 "
                  "provinces (parts given below replace the sample's)");
    sub->add_option("--date", pack->sampleDate,
                    "date written into the sample sections, \"YYYY-MM-DD hh:mm:ss\" "
                    "(default 2024-05-01 08:00:00)");
    sub->add_option("--seed", pack->seed, "seed of the sample contents (default 1)");
    sub->add_option("--sample-models", pack->sampleModels,
                    "number of sample model entries, KV01, KV02, ... (default 2; a table of "
                    "one entry serves every unit)")
        ->check(CLI::Range(0u, 99u));
    sub->add_option("--omit", pack->omit,
                    "leave parts out: base, models, resource, main, database, auxiliary, "
                    "alt-main, provinces, regional-main, regional-alt-main")
        ->delimiter(',')
        ->allow_extra_args(false);
    sub->add_option("--vendor", pack->vendor,
                    "vendor tag: the first 16 bytes of the identity block, blank padded");
    sub->add_option("--identity", pack->identityFile, "the whole 256-byte identity block");
    sub->add_option("--base", pack->base, "plain base image");
    sub->add_option("--resource", pack->resource, "plain resource image");
    sub->add_option("--database", pack->database, "plain database image");
    sub->add_option("--main", pack->main, "plain main image");
    sub->add_option("--alt-main", pack->altMain, "plain alternate main image");
    sub->add_option("--auxiliary", pack->auxiliary, "plain auxiliary image");
    sub->add_option("--regional-main", pack->regionalMain, "plain regional main image");
    sub->add_option("--regional-alt-main", pack->regionalAltMain,
                    "plain regional alternate main image");
    sub->add_option("--model", pack->models,
                    "a model entry, ID=FILE: ID is 4 characters (KV01) or a number; FILE its "
                    "plain data, at most 32768 bytes (repeatable)")
        ->allow_extra_args(false);
    sub->add_option("--model-layout", pack->modelLayouts,
                    "ID=FIRST,SECOND,ALT: layout words and alternate-main flag of a model "
                    "(extended table only)")
        ->allow_extra_args(false);
    sub->add_flag("--compact-models", pack->compactModels,
                  "write the compact model table (no layout words) instead of the extended one");
    sub->add_option("--province", pack->provinces,
                    "a province entry, NAME=FILE: NAME one of the 34 names (UTF-8) or 0-33, "
                    "FILE its plain 12-byte point records (repeatable)")
        ->allow_extra_args(false);
    sub->add_option("--province-tag", pack->provinceTag, "the province table's tag, a number");
    sub->add_option("--order", pack->order,
                    "file order of the parts, comma separated (names as for --omit)")
        ->delimiter(',')
        ->allow_extra_args(false);
    sub->add_option("--shuffle", pack->shuffle, "lay the parts out in an order drawn from SEED")
        ->type_name("SEED");
    sub->add_option("--gap", pack->gap, "filler bytes before each part (default 0)");
    commands.emplace_back(sub, [pack] { return RunPack(*pack); });
}

}  // namespace kivrel::cli
