#pragma once
// Where the tool keeps what it knows of a unit between runs (the settings it had before an
// update, how its last update ended), in the per-user data folder. Units are told apart by
// their model and their identity block; two units of the same model and brand share a folder,
// and what is kept in it is named by time.

#include <cstdint>
#include <span>
#include <string>

namespace kivrel {

class CGpsUnit;

// "KV01-0123456789abcdef": the model id as its four characters (hexadecimal when they are not
// letters and digits) and a 64-bit FNV-1a hash of the identity block.
[[nodiscard]] std::wstring UnitFolderName(std::uint32_t modelId,
                                          std::span<const std::uint8_t> identity);

// The unit's folder, "<user data folder>/units/<UnitFolderName>/", created when missing.
// Empty with `whyNot` set when there is none.
[[nodiscard]] std::wstring UnitDataFolder(const CGpsUnit& unit, std::wstring& whyNot);

}  // namespace kivrel
