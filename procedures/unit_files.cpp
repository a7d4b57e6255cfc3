#include "procedures/unit_files.h"

#include "base/ascii_text.h"
#include "base/user_data_folder.h"
#include "device/gps_unit.h"

namespace kivrel {

std::wstring UnitFolderName(std::uint32_t modelId, std::span<const std::uint8_t> identity) {
    std::wstring name;
    bool plain = true;
    for (int shift = 0; shift < 32; shift += 8) {
        const auto c = static_cast<char>((modelId >> shift) & 0xFF);
        plain =
            plain && ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
        name += static_cast<wchar_t>(c);
    }
    if (!plain) {
        name.clear();
        for (int shift = 28; shift >= 0; shift -= 4) name += HexDigit(modelId >> shift);
    }
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (std::uint8_t byte : identity) hash = (hash ^ byte) * 0x100000001b3ull;
    name += L'-';
    for (int shift = 60; shift >= 0; shift -= 4) {
        name += static_cast<wchar_t>(HexDigit(static_cast<unsigned>(hash >> shift)));
    }
    return name;
}

std::wstring UnitDataFolder(const CGpsUnit& unit, std::wstring& whyNot) {
    const std::wstring base = UserDataFolder(whyNot);
    if (base.empty()) return {};
    const std::wstring units = UserDataSubfolder(base, L"units", whyNot);
    if (units.empty()) return {};
    return UserDataSubfolder(units, UnitFolderName(unit.modelId, unit.identity), whyNot);
}

}  // namespace kivrel
