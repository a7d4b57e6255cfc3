#pragma once
// What the text progress bar decides: how far the fill reaches in pixels, when a change must
// repaint, and which text it shows. CTextProgressCtrl draws what this says.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kivrel {

class TextProgressModel {
public:
    struct PositionChange {
        std::int32_t previous = 0;
        bool redraw = false;  // the fill moved by at least one pixel since the last redraw
    };

    // Fill width of a client area `clientWidth` pixels wide: the share of the range reached,
    // truncated toward zero. A range without length (a download whose size is not known)
    // fills nothing but is still drawn, so its text shows; positions outside the range fill
    // nothing or all of it.
    [[nodiscard]] int FillWidth(int clientWidth) const noexcept;
    // The percentage the bar shows when it has no text of its own, 0 to 100.
    [[nodiscard]] int Percent() const noexcept;

    // Stores the position. Only a change of the fill in whole pixels asks for a redraw, so a
    // transfer that moves the position on every report repaints at most once per pixel.
    PositionChange SetPosition(std::int32_t position, int clientWidth) noexcept;
    // Stores the range; asks for a redraw when that moves the fill, as a position change does.
    bool SetRange(std::int32_t lowerBound, std::int32_t upperBound, int clientWidth) noexcept;
    // After a resize the next position change always redraws.
    void ForgetFill() noexcept { lastFillWidth = -1; }

    // True when the text changed, so the bar must be redrawn; setting the same text again
    // does nothing.
    bool SetText(std::wstring_view newText);
    [[nodiscard]] const std::wstring& Text() const noexcept { return text; }
    // Copies the text into a buffer of `capacity` characters, always terminated; returns the
    // characters copied without the terminator (0 when capacity is 0, nothing written then).
    std::size_t CopyText(wchar_t* buffer, std::size_t capacity) const noexcept;

    // The text drawn over the bar: its own text, else the percentage ("37%"); empty when
    // text display is off.
    [[nodiscard]] std::wstring ShownText() const;

    [[nodiscard]] std::int32_t Position() const noexcept { return position; }
    [[nodiscard]] std::int32_t Lower() const noexcept { return lower; }
    [[nodiscard]] std::int32_t Upper() const noexcept { return upper; }
    [[nodiscard]] std::int32_t Step() const noexcept { return step; }
    void SetStep(std::int32_t newStep) noexcept { step = newStep; }
    [[nodiscard]] bool ShowsText() const noexcept { return showText; }
    void SetShowText(bool show) noexcept { showText = show; }

private:
    [[nodiscard]] double Fraction() const noexcept;
    bool NoteFill(int clientWidth) noexcept;

    std::int32_t position = 0;
    std::int32_t step = 1;
    std::int32_t upper = 100;
    std::int32_t lower = 0;
    std::wstring text;
    bool showText = true;
    int lastFillWidth = -1;  // at the last redraw request; -1 = none yet
};

}  // namespace kivrel
