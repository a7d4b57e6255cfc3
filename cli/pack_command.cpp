// `kivrel pack` builds an update file from plain parts, or from deterministic sample
// contents: the inverse of `kivrel inspect`, and the maker of test files.

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/le_bytes.h"
#include "cli/cli_text.h"
#include "cli/commands.h"
#include "package/build_date.h"
#include "package/package_writer.h"
#include "package/province_names.h"
#include "package/sample_package.h"
#include "package/update_package.h"

namespace kivrel::cli {
namespace {

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

// Decimal, or hexadecimal after "0x"; a leading zero does not make it octal.
bool ParseUnsigned(std::string_view text, std::uint32_t& value) {
    int base = 10;
    if (text.size() > 2 && (text.starts_with("0x") || text.starts_with("0X"))) {
        text.remove_prefix(2);
        base = 16;
    }
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    return !text.empty() && error == std::errc() && stop == end;
}

// "KV01" (4 ASCII characters, as stored) or a number such as 0x3130564b.
bool ParseModelId(const std::string& text, std::uint32_t& id) {
    if (text.size() == 4 && text.rfind("0x", 0) != 0) {
        id = GetU32(reinterpret_cast<const std::uint8_t*>(text.data()));
        return true;
    }
    return ParseUnsigned(text, id);
}

// Exactly "YYYY-MM-DD" or "YYYY-MM-DD hh:mm:ss", naming a real moment that the 32-bit
// seconds of a file can hold.
bool ParseDate(std::string_view text, BuildDate& date) {
    constexpr std::string_view kForm = "0000-00-00 00:00:00";
    if (text.size() != 10 && text.size() != kForm.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kForm[i] == '0' ? !digit : text[i] != kForm[i]) return false;
    }
    const auto number = [text](std::size_t at, std::size_t length) {
        unsigned value = 0;
        for (const char digit : text.substr(at, length)) value = value * 10 + unsigned(digit - '0');
        return value;
    };
    const bool withTime = text.size() == kForm.size();
    date = BuildDate{.second = static_cast<std::uint8_t>(withTime ? number(17, 2) : 0),
                     .minute = static_cast<std::uint8_t>(withTime ? number(14, 2) : 0),
                     .hour = static_cast<std::uint8_t>(withTime ? number(11, 2) : 0),
                     .day = static_cast<std::uint8_t>(number(8, 2)),
                     .month = static_cast<std::uint8_t>(number(5, 2)),
                     .year = static_cast<std::uint16_t>(number(0, 4))};
    // DateToSeconds refuses what no calendar has; the way back refuses its 0 for them.
    return SecondsToDate(DateToSeconds(date)) == date;
}

class PackBuilder {
public:
    explicit PackBuilder(const PackOptions& o) : options(o) {}

    // An empty text on success; otherwise what is wrong.
    std::string Build(PackageContents& contents, PackagePlacement& placement) {
        if (options.sample) {
            SampleOptions sample;
            if (options.sampleDate && !ParseDate(*options.sampleDate, sample.date)) {
                return "--date: expected a real date, YYYY-MM-DD or \"YYYY-MM-DD hh:mm:ss\", "
                       "from 1970-01-01 to 2106-02-07 06:28:15, not \"" +
                       *options.sampleDate + "\"";
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
            std::optional<std::size_t> index;
            if (SplitAssignment(spec, name, path)) index = ParseProvince(name);
            if (!index) {
                return "--province: expected NAME=FILE with one of the 34 province names or "
                       "0-33, not \"" +
                       spec + "\"";
            }
            ProvinceSource province;
            province.name = std::string(kProvinceNames[*index].gbk);
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

}  // namespace

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

}  // namespace kivrel::cli
