#include "device/unit_ids.h"

#include <algorithm>

namespace kivrel {

bool IsUnitPath(std::wstring_view path) noexcept {
    // Only ASCII letters need folding: the searched text is ASCII.
    auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; };
    const auto match =
        std::search(path.begin(), path.end(), kUnitPathText.begin(), kUnitPathText.end(),
                    [&](wchar_t a, wchar_t b) { return lower(a) == b; });
    return match != path.end();
}

int ClassIndex(const InterfaceClass& interfaceClass) noexcept {
    for (std::size_t i = 0; i < kNotificationClasses.size(); ++i) {
        if (kNotificationClasses[i] == interfaceClass) return static_cast<int>(i + 1);
    }
    return 0;
}

}  // namespace kivrel
