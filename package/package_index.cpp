#include "package/package_index.h"

#include <algorithm>

#include "base/byte_sum.h"
#include "base/le_bytes.h"
#include "package/scrambler.h"

namespace kivrel {
namespace {

constexpr std::uint32_t kFullLengthWord = 516;
constexpr std::uint32_t kMediumLengthWord = 316;
constexpr std::uint32_t kShortLengthWord = 300;

// Where the fields sit in each form.
struct FormLayout {
    std::uint32_t lengthWord;
    std::size_t identityAt;
    std::size_t pairsAt;  // base image offset; the other places follow, 8 bytes each
    std::size_t sumAt;
};

constexpr FormLayout Layout(IndexForm form) noexcept {
    switch (form) {
        case IndexForm::kMedium:
            return {kMediumLengthWord, 8, 264, 316};
        case IndexForm::kShort:
            return {kShortLengthWord, 4, 260, 300};
        case IndexForm::kFull:
            break;
    }
    return {kFullLengthWord, 8, 264, 516};
}

constexpr std::size_t kFullVersionAt = 4;
constexpr std::size_t kFullMagicAt = 512;

// The places in the order they are stored; the first five are common to every form.
constexpr std::size_t kCommonPlaces = 5;
constexpr std::size_t kAllPlaces = 10;

std::array<SectionPlace*, kAllPlaces> Places(PackageIndex& index) noexcept {
    return {&index.base,         &index.modelTable,     &index.resource, &index.main,
            &index.database,     &index.auxiliary,      &index.altMain,  &index.provinceTable,
            &index.regionalMain, &index.regionalAltMain};
}

}  // namespace

std::size_t IndexFormBytes(IndexForm form) noexcept {
    switch (form) {
        case IndexForm::kMedium:
            return kMediumIndexBytes;
        case IndexForm::kShort:
            return kShortIndexBytes;
        case IndexForm::kFull:
            break;
    }
    return kFullIndexBytes;
}

const char* IndexFormName(IndexForm form) noexcept {
    switch (form) {
        case IndexForm::kMedium:
            return "medium";
        case IndexForm::kShort:
            return "short";
        case IndexForm::kFull:
            break;
    }
    return "full";
}

bool ParsePackageIndex(std::span<const std::uint8_t> stored, IndexForm form, PackageIndex& out) {
    if (stored.size() != IndexFormBytes(form)) return false;
    std::array<std::uint8_t, kFullIndexBytes> block{};
    std::copy(stored.begin(), stored.end(), block.begin());
    XorIndexKey({block.data(), stored.size()});

    const FormLayout layout = Layout(form);
    const std::uint8_t* p = block.data();
    if (GetU32(p) != layout.lengthWord) return false;
    if (GetU32(p + layout.sumAt) != ByteSum({p, layout.sumAt})) return false;
    if (form == IndexForm::kFull && GetU32(p + kFullMagicAt) != kFormatMagic) return false;

    PackageIndex index;
    std::copy_n(p + layout.identityAt, kIdentityBytes, index.identity.begin());
    const std::size_t placeCount = form == IndexForm::kFull ? kAllPlaces : kCommonPlaces;
    const auto places = Places(index);
    for (std::size_t i = 0; i < placeCount; ++i) {
        places[i]->offset = GetU32(p + layout.pairsAt + 8 * i);
        places[i]->size = GetU32(p + layout.pairsAt + 8 * i + 4);
    }
    if (index.base.size > kBaseImageLimit) return false;
    switch (form) {
        case IndexForm::kFull:
            index.lengthWord = kFullLengthWord;
            index.formatVersion = GetU32(p + kFullVersionAt);
            break;
        case IndexForm::kMedium:
        case IndexForm::kShort:
            // The older forms also bound the large images, which the full form leaves open.
            if (index.resource.size > kResourceImageLimit || index.main.size > kMainImageLimit ||
                index.database.size > kDatabaseImageLimit) {
                return false;
            }
            index.lengthWord = form == IndexForm::kMedium ? 520 : kShortLengthWord + 4;
            index.formatVersion = form == IndexForm::kMedium ? 3 : 1;
            break;
    }
    out = index;
    return true;
}

std::vector<std::uint8_t> WritePackageIndex(const PackageIndex& index, IndexForm form) {
    const FormLayout layout = Layout(form);
    std::vector<std::uint8_t> block(IndexFormBytes(form), 0);
    std::uint8_t* p = block.data();
    PutU32(p, layout.lengthWord);
    std::copy(index.identity.begin(), index.identity.end(), p + layout.identityAt);
    PackageIndex copy = index;
    const auto places = Places(copy);
    const std::size_t placeCount = form == IndexForm::kFull ? kAllPlaces : kCommonPlaces;
    for (std::size_t i = 0; i < placeCount; ++i) {
        PutU32(p + layout.pairsAt + 8 * i, places[i]->offset);
        PutU32(p + layout.pairsAt + 8 * i + 4, places[i]->size);
    }
    if (form == IndexForm::kFull) {
        PutU32(p + kFullVersionAt, index.formatVersion);
        PutU32(p + kFullMagicAt, kFormatMagic);
    }
    PutU32(p + layout.sumAt, ByteSum({p, layout.sumAt}));
    XorIndexKey(block);
    return block;
}

bool ReadPackageIndex(ByteSource& source, PackageIndex& index, IndexForm& form) {
    const std::uint64_t fileSize = source.Size();
    std::array<std::uint8_t, kFullIndexBytes> stored{};
    for (IndexForm candidate : {IndexForm::kFull, IndexForm::kMedium, IndexForm::kShort}) {
        const std::size_t length = IndexFormBytes(candidate);
        if (fileSize < length) continue;  // a short read fails the form
        const std::span<std::uint8_t> block(stored.data(), length);
        if (!source.ReadAt(fileSize - length, block)) continue;
        if (ParsePackageIndex(block, candidate, index)) {
            form = candidate;
            return true;
        }
    }
    return false;
}

}  // namespace kivrel
