#include "package/package_writer.h"

#include <algorithm>

#include "base/byte_sum.h"
#include "base/le_bytes.h"
#include "package/scrambler.h"

namespace kivrel {
namespace {

void AppendU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    const std::size_t at = out.size();
    out.resize(at + 4);
    PutU32(out.data() + at, value);
}

std::vector<std::uint8_t> ModelTableBytes(const PackageContents& contents) {
    const bool extended = contents.extendedModelTable;
    const std::uint32_t count = static_cast<std::uint32_t>(contents.models.size());
    const std::size_t entryBytes = extended ? kExtendedModelEntryBytes : kCompactModelEntryBytes;
    std::vector<std::uint8_t> table;
    if (extended) {
        table.assign(kExtendedModelHeaderBytes, 0);
        PutU32(table.data() + 4, kModelBlockMagic);
        PutU32(table.data() + 12, count);
        PutU32(table.data() + 56, ByteSum({table.data(), 56}));
    } else {
        AppendU32(table, count);
    }
    const std::size_t entriesAt = table.size();
    table.resize(entriesAt + count * entryBytes, 0);
    for (std::uint32_t i = 0; i < count; ++i) {
        const ModelEntrySource& model = contents.models[i];
        const std::uint32_t dataOffset = static_cast<std::uint32_t>(table.size());
        const std::vector<std::uint8_t> stored = ScrambledCopy(model.data);
        table.insert(table.end(), stored.begin(), stored.end());
        std::uint8_t* entry = table.data() + entriesAt + i * entryBytes;
        PutU32(entry, model.modelId);
        PutU32(entry + 4, dataOffset);
        PutU32(entry + 8, static_cast<std::uint32_t>(model.data.size()));
        if (extended) {
            PutU32(entry + 16, model.firstLayoutWord);
            PutU32(entry + 20, model.altMainFlag);
            PutU32(entry + 24, model.secondLayoutWord);
        }
    }
    return table;
}

std::vector<std::uint8_t> ProvinceTableBytes(const PackageContents& contents) {
    std::vector<std::uint8_t> table(contents.provinceTag.begin(), contents.provinceTag.end());
    AppendU32(table, static_cast<std::uint32_t>(contents.provinces.size()));
    for (const ProvinceSource& province : contents.provinces) {
        const std::size_t at = table.size();
        table.resize(at + kProvinceEntryHeaderBytes, 0);
        std::copy_n(province.name.begin(), std::min(province.name.size(), kProvinceNameBytes),
                    table.begin() + static_cast<std::ptrdiff_t>(at));
        PutU32(table.data() + at + kProvinceNameBytes,
               static_cast<std::uint32_t>(province.records.size() / kPointRecordBytes));
    }
    for (const ProvinceSource& province : contents.provinces) {
        const std::vector<std::uint8_t> stored = ScrambledCopy(province.records);
        table.insert(table.end(), stored.begin(), stored.end());
    }
    return table;
}

bool FormLocates(IndexForm form, PackagePart part) {
    if (form == IndexForm::kFull) return true;
    switch (part) {
        case PackagePart::kBase:
        case PackagePart::kModelTable:
        case PackagePart::kResource:
        case PackagePart::kMain:
        case PackagePart::kDatabase:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::vector<std::uint8_t> ScrambledCopy(const std::vector<std::uint8_t>& plain) {
    std::vector<std::uint8_t> stored = plain;
    ScrambleBuffer(stored);
    return stored;
}

WrittenPackage WritePackage(const PackageContents& contents, const PackagePlacement& placement) {
    struct Part {
        SectionPlace PackageIndex::*place;
        std::vector<std::uint8_t> stored;
        bool present;
    };
    std::array<Part, kPackagePartCount> parts = {{
        {&PackageIndex::base, ScrambledCopy(contents.base), !contents.base.empty()},
        {&PackageIndex::modelTable, {}, contents.hasModelTable},
        {&PackageIndex::resource, ScrambledCopy(contents.resource), !contents.resource.empty()},
        {&PackageIndex::main, ScrambledCopy(contents.main), !contents.main.empty()},
        {&PackageIndex::database, ScrambledCopy(contents.database), !contents.database.empty()},
        {&PackageIndex::auxiliary, ScrambledCopy(contents.auxiliary), !contents.auxiliary.empty()},
        {&PackageIndex::altMain, ScrambledCopy(contents.altMain), !contents.altMain.empty()},
        {&PackageIndex::provinceTable, {}, contents.hasProvinceTable},
        {&PackageIndex::regionalMain, ScrambledCopy(contents.regionalMain),
         !contents.regionalMain.empty()},
        {&PackageIndex::regionalAltMain, ScrambledCopy(contents.regionalAltMain),
         !contents.regionalAltMain.empty()},
    }};
    if (contents.hasModelTable) parts[1].stored = ModelTableBytes(contents);
    if (contents.hasProvinceTable) parts[7].stored = ProvinceTableBytes(contents);

    std::vector<PackagePart> order = placement.order;
    for (std::size_t i = 0; i < kPackagePartCount; ++i) {
        const auto part = static_cast<PackagePart>(i);
        if (std::find(order.begin(), order.end(), part) == order.end()) order.push_back(part);
    }

    WrittenPackage file;
    file.index.formatVersion = contents.formatVersion;
    file.index.identity = contents.identity;
    for (PackagePart id : order) {
        const Part& part = parts[static_cast<std::size_t>(id)];
        if (!part.present || !FormLocates(placement.form, id)) continue;
        SectionPlace& place = file.index.*part.place;
        if (place.size != 0) continue;  // named twice in the order
        file.bytes.insert(file.bytes.end(), placement.gap, placement.gapFill);
        place.offset = static_cast<std::uint32_t>(file.bytes.size());
        // The tables' size field is a presence word.
        const bool table = id == PackagePart::kModelTable || id == PackagePart::kProvinceTable;
        place.size = table ? 1 : static_cast<std::uint32_t>(part.stored.size());
        file.bytes.insert(file.bytes.end(), part.stored.begin(), part.stored.end());
    }

    const std::vector<std::uint8_t> index = WritePackageIndex(file.index, placement.form);
    file.bytes.insert(file.bytes.end(), index.begin(), index.end());
    switch (placement.form) {
        case IndexForm::kFull:
            break;
        case IndexForm::kMedium:
            file.index.lengthWord = 520;
            file.index.formatVersion = 3;
            break;
        case IndexForm::kShort:
            file.index.lengthWord = 304;
            file.index.formatVersion = 1;
            break;
    }
    return file;
}

}  // namespace kivrel
