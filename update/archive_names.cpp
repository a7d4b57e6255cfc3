#include "update/archive_names.h"

#include <array>

#include "base/ascii_text.h"

namespace kivrel {
namespace {

// Windows opens the device whatever the extension, and ignores blanks before the dot.
[[nodiscard]] bool IsDeviceName(std::wstring_view name) {
    std::wstring_view stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.remove_suffix(1);
    constexpr std::array<std::wstring_view, 6> kDevices = {L"con", L"prn",    L"aux",
                                                           L"nul", L"conin$", L"conout$"};
    for (std::wstring_view device : kDevices) {
        if (EqualsIgnoringAsciiCase(stem, device)) return true;
    }
    if (stem.size() != 4) return false;
    const std::wstring_view port = stem.substr(0, 3);
    if (!EqualsIgnoringAsciiCase(port, L"com") && !EqualsIgnoringAsciiCase(port, L"lpt")) {
        return false;
    }
    // Digits, and the superscripts 1-3 that Windows also treats as port numbers.
    const wchar_t digit = stem[3];
    return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
           digit == L'\u00B3';
}

[[nodiscard]] bool IsForbiddenNameChar(wchar_t c) {
    if (c < 0x20 || c == 0x7F) return true;
    constexpr std::wstring_view kForbidden = L"<>:\"/\\|?*";
    return kForbidden.find(c) != std::wstring_view::npos;
}

}  // namespace

std::wstring_view ArchiveNameFromUrl(std::wstring_view url) {
    const std::size_t slash = url.rfind(L'/');
    return slash == std::wstring_view::npos ? url : url.substr(slash + 1);
}

std::wstring_view BaseNameOf(std::wstring_view archiveName) {
    const std::size_t dot = archiveName.rfind(L'.');
    return dot == std::wstring_view::npos ? std::wstring_view{} : archiveName.substr(0, dot);
}

bool IsSafeArchiveName(std::wstring_view name) {
    if (name.empty() || name.size() > kMaxArchiveNameChars) return false;
    if (name.find(L"..") != std::wstring_view::npos) return false;
    for (wchar_t c : name) {
        if (IsForbiddenNameChar(c)) return false;
    }
    if (name.back() == L'.' || name.back() == L' ') return false;
    return !IsDeviceName(name);
}

ArchiveType ArchiveTypeOf(std::wstring_view archivePath) {
    if (archivePath.ends_with(L"rar")) return ArchiveType::Rar;
    if (archivePath.ends_with(L"zip")) return ArchiveType::Zip;
    if (archivePath.ends_with(L"7z")) return ArchiveType::SevenZip;
    return ArchiveType::None;
}

}  // namespace kivrel
