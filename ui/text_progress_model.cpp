#include "ui/text_progress_model.h"

#include <algorithm>
#include <cwchar>
#include <utility>

namespace kivrel {

double TextProgressModel::Fraction() const noexcept {
    // A download without a length sets an empty range; it must not divide by zero. An upside
    // down range fills nothing either.
    if (upper <= lower) return 0.0;
    // In double: the differences of two 32-bit values may not fit 32 bits.
    const double f = (static_cast<double>(position) - lower) / (static_cast<double>(upper) - lower);
    return std::clamp(f, 0.0, 1.0);
}

int TextProgressModel::FillWidth(int clientWidth) const noexcept {
    if (clientWidth <= 0) return 0;
    return static_cast<int>(clientWidth * Fraction());
}

int TextProgressModel::Percent() const noexcept {
    return static_cast<int>(Fraction() * 100.0);
}

bool TextProgressModel::NoteFill(int clientWidth) noexcept {
    const int width = FillWidth(clientWidth);
    if (width == lastFillWidth) return false;
    lastFillWidth = width;
    return true;
}

TextProgressModel::PositionChange TextProgressModel::SetPosition(std::int32_t newPosition,
                                                                 int clientWidth) noexcept {
    const std::int32_t previous = std::exchange(position, newPosition);
    return {previous, NoteFill(clientWidth)};
}

bool TextProgressModel::SetRange(std::int32_t lowerBound, std::int32_t upperBound,
                                 int clientWidth) noexcept {
    lower = lowerBound;
    upper = upperBound;
    return NoteFill(clientWidth);
}

bool TextProgressModel::SetText(std::wstring_view newText) {
    if (newText == text) return false;
    text.assign(newText);
    return true;
}

std::size_t TextProgressModel::CopyText(wchar_t* buffer, std::size_t capacity) const noexcept {
    if (buffer == nullptr || capacity == 0) return 0;
    // One place stays for the terminator: callers size their buffers for text plus NUL.
    const std::size_t count = std::min(capacity - 1, text.size());
    std::wmemcpy(buffer, text.data(), count);
    buffer[count] = L'\0';
    return count;
}

std::wstring TextProgressModel::ShownText() const {
    if (!showText) return {};
    if (!text.empty()) return text;
    return std::to_wstring(Percent()) + L"%";
}

}  // namespace kivrel
