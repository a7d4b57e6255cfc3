// The progress bar repaints only when its fill moves by a pixel, must survive a range without
// length (a download that gives no size) and must hand its text back terminated.

#include "ui/text_progress_model.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace kivrel {
namespace {

TEST(TextProgressModel, FillWidthIsTheShareOfTheRangeTruncated) {
    struct Case {
        std::int32_t lower, upper, position;
        int width;
        int fill;
    };
    constexpr Case cases[] = {
        {0, 100, 50, 200, 100},
        {0, 1000, 4, 200, 0},
        {0, 1000, 5, 200, 1},
        {0, 1000, 999, 200, 199},  // truncated toward zero, never rounded up
        {0, 1000, 1000, 200, 200},
        {-100, 100, 0, 200, 100},
        {0, 0, 0, 200, 0},  // no length: no division by zero, no fill
        {7, 7, 100, 200, 0},
        {0, 100, -5, 200, 0},                   // before the range
        {0, 100, 150, 200, 200},                // past it: more bytes than announced
        {INT_MIN, INT_MAX, INT_MAX, 300, 300},  // differences beyond 32 bits
        {INT_MIN, INT_MAX, 0, 300, 150},
        {0, 100, 50, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lower << ".." << c.upper << " @" << c.position);
        TextProgressModel bar;
        bar.SetRange(c.lower, c.upper, c.width);
        bar.SetPosition(c.position, c.width);
        EXPECT_EQ(bar.FillWidth(c.width), c.fill);
    }
}

TEST(TextProgressModel, RedrawsOnlyWhenTheFillMovesByAPixel) {
    TextProgressModel bar;
    bar.SetRange(0, 1000, 200);  // first request: the fill is known from now on

    struct Step {
        std::int32_t position;
        bool redraw;
    };
    constexpr Step steps[] = {{0, false}, {1, false},  {4, false},   {5, true},     {9, false},
                              {10, true}, {10, false}, {2000, true}, {3000, false}, {-1, true}};
    std::int32_t previous = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.position);
        const auto change = bar.SetPosition(s.position, 200);
        EXPECT_EQ(change.redraw, s.redraw);
        EXPECT_EQ(change.previous, previous);
        previous = s.position;
    }

    bar.ForgetFill();  // after a resize the next change repaints even at the same width
    EXPECT_TRUE(bar.SetPosition(-1, 200).redraw);
}

TEST(TextProgressModel, FirstPositionRedrawsAndAnEmptyRangeFillsNothing) {
    TextProgressModel bar;
    EXPECT_TRUE(bar.SetPosition(0, 200).redraw);

    // A download of unknown length: the bar is drawn empty, with its text.
    EXPECT_FALSE(bar.SetRange(0, 0, 200));  // the fill stays 0
    EXPECT_FALSE(bar.SetPosition(12345, 200).redraw);
    EXPECT_EQ(bar.FillWidth(200), 0);
    EXPECT_EQ(bar.ShownText(), L"0%");
    EXPECT_TRUE(bar.SetText(L"Speed50.00Kb/s  "));
    EXPECT_EQ(bar.ShownText(), L"Speed50.00Kb/s  ");

    bar.SetRange(10, 5, 200);  // upside down
    EXPECT_EQ(bar.FillWidth(200), 0);
    bar.SetPosition(2, 200);
    EXPECT_EQ(bar.FillWidth(200), 0);

    // A range change that moves the fill repaints as a position change does.
    bar.SetRange(0, 100, 200);
    bar.SetPosition(50, 200);
    EXPECT_TRUE(bar.SetRange(0, 200, 200));
}

TEST(TextProgressModel, ShowsItsTextElseThePercentage) {
    TextProgressModel bar;
    bar.SetPosition(50, 200);
    EXPECT_EQ(bar.ShownText(), L"50%");
    bar.SetPosition(375, 200);
    bar.SetRange(0, 1000, 200);
    EXPECT_EQ(bar.ShownText(), L"37%");

    EXPECT_TRUE(bar.SetText(L"Updated 37.50%   Time 12 Second"));
    EXPECT_EQ(bar.ShownText(), L"Updated 37.50%   Time 12 Second");
    EXPECT_FALSE(bar.SetText(L"Updated 37.50%   Time 12 Second"));  // same text: no redraw
    EXPECT_TRUE(bar.SetText(L"updated 37.50%   Time 12 Second"));   // case counts
    EXPECT_TRUE(bar.SetText(L""));
    EXPECT_EQ(bar.ShownText(), L"37%");
    EXPECT_FALSE(bar.SetText(L""));

    bar.SetPosition(5000, 200);
    EXPECT_EQ(bar.ShownText(), L"100%");  // never more than the whole
    bar.SetShowText(false);
    EXPECT_EQ(bar.ShownText(), L"");
}

TEST(TextProgressModel, CopiesItsTextTerminatedIntoAnyBuffer) {
    TextProgressModel bar;
    bar.SetText(L"updating");

    struct Case {
        std::size_t capacity;
        std::wstring copied;
    };
    const Case cases[] = {
        {1, L""}, {2, L"u"}, {8, L"updatin"}, {9, L"updating"}, {64, L"updating"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.capacity);
        std::wstring buffer(c.capacity + 1, L'#');  // one guard character past the capacity
        EXPECT_EQ(bar.CopyText(buffer.data(), c.capacity), c.copied.size());
        EXPECT_EQ(std::wstring(buffer.c_str()), c.copied);
        EXPECT_EQ(buffer[c.capacity], L'#');
    }
    wchar_t untouched = L'#';
    EXPECT_EQ(bar.CopyText(&untouched, 0), 0u);
    EXPECT_EQ(untouched, L'#');
    EXPECT_EQ(bar.CopyText(nullptr, 10), 0u);
}

}  // namespace
}  // namespace kivrel
