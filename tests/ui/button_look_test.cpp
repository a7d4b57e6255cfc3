// The image buttons must light up only for a real hover, draw each state with its own colours,
// border and icon, and place icon and caption where they fit.

#include "ui/button_look.h"

#include <gtest/gtest.h>

namespace kivrel {
namespace {

using Change = HoverTracker::Change;

TEST(HoverTracker, LightsUpOnceOnEntryAndGoesOutOnLeaving) {
    HoverTracker tracker;
    EXPECT_EQ(tracker.OnMouseMove(false, true, true), Change::Entered);
    EXPECT_EQ(tracker.OnMouseMove(false, true, true), Change::None);  // one redraw only
    EXPECT_TRUE(tracker.Hovered());
    EXPECT_EQ(tracker.OnMouseMove(true, true, true), Change::None);  // pressing while lit
    EXPECT_EQ(tracker.OnMouseMove(false, false, true), Change::Left);
    EXPECT_EQ(tracker.OnMouseMove(false, false, true), Change::None);
    EXPECT_FALSE(tracker.Hovered());
}

TEST(HoverTracker, ADragFromElsewhereOrAnInactiveWindowDoesNotLightIt) {
    HoverTracker tracker;
    EXPECT_EQ(tracker.OnMouseMove(true, true, true), Change::None);
    EXPECT_EQ(tracker.OnMouseMove(false, true, false), Change::None);  // tracking only when active
    EXPECT_FALSE(tracker.Hovered());
}

TEST(HoverTracker, LeaveFocusLossAndCaptureChangeClearTheHover) {
    HoverTracker tracker;
    EXPECT_EQ(tracker.Clear(), Change::None);
    tracker.OnMouseMove(false, true, true);
    EXPECT_EQ(tracker.Clear(), Change::Left);
    EXPECT_EQ(tracker.Clear(), Change::None);
}

constexpr Colour kBackHovered{1, 0, 0}, kTextHovered{2, 0, 0}, kBackRest{3, 0, 0},
    kTextRest{4, 0, 0}, kBackFocused{5, 0, 0}, kTextFocused{6, 0, 0};

ButtonLook Look() {
    ButtonLook look;
    look.colours = {kBackHovered, kTextHovered, kBackRest, kTextRest, kBackFocused, kTextFocused};
    return look;
}

constexpr PixelRect kClient{0, 0, 126, 45};

TEST(ButtonDrawPlan, EachStateHasItsColoursAndBorder) {
    using Border = DrawPlan::Border;
    struct Case {
        const char* name;
        bool flat, hovered, selected, focused, checkBox, checked;
        Colour background, caption;
        Border border;
        bool blackFrame, focusRect;
    };
    const Case cases[] = {
        {"flat at rest", true, false, false, false, false, false, kBackRest, kTextRest,
         Border::None, false, false},
        {"flat hovered", true, true, false, false, false, false, kBackHovered, kTextHovered,
         Border::ThinRaised, false, false},
        {"flat pressed", true, true, true, false, false, false, kBackHovered, kTextHovered,
         Border::ThinSunken, false, false},
        {"flat focused", true, false, false, true, false, false, kBackFocused, kTextRest,
         Border::None, false, false},
        {"raised at rest", false, false, false, false, false, false, kBackRest, kTextRest,
         Border::RaisedEdge, false, false},
        {"raised focused", false, false, false, true, false, false, kBackFocused, kTextRest,
         Border::RaisedEdge, true, true},
        {"raised pressed", false, false, true, true, false, false, kBackHovered, kTextHovered,
         Border::ShadowFrame, true, true},
        {"check box checked", true, false, false, false, true, true, kBackHovered, kTextHovered,
         Border::ThinSunken, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ButtonLook look = Look();
        look.flat = c.flat;
        look.hovered = c.hovered;
        look.checkBox = c.checkBox;
        look.checked = c.checked;
        const DrawPlan plan = PlanDrawItem(look, {c.selected, c.focused, false}, kClient, {}, true);
        EXPECT_EQ(plan.background, c.background);
        EXPECT_EQ(plan.captionColour, c.caption);
        EXPECT_EQ(plan.border, c.border);
        EXPECT_EQ(plan.blackFrame, c.blackFrame);
        EXPECT_EQ(plan.area, c.blackFrame ? kClient.Inset(1) : kClient);
        EXPECT_EQ(plan.focusRect, c.focusRect);
        EXPECT_FALSE(plan.captionEmbossed);
    }

    ButtonLook look = Look();
    look.drawBorder = false;
    look.hovered = true;
    EXPECT_EQ(PlanDrawItem(look, {true, false, false}, kClient, {}, true).border, Border::None);
    look.drawFlatFocus = true;
    const DrawPlan focused = PlanDrawItem(look, {false, true, false}, kClient, {}, true);
    EXPECT_TRUE(focused.focusRect);
    EXPECT_EQ(focused.focus, (PixelRect{3, 3, 123, 42}));
}

TEST(ButtonDrawPlan, TheRestIconOnlyAtRestAndDisabledDrawsEverythingGreyed) {
    struct Case {
        const char* name;
        bool hovered, selected, checkBox, checked, hasOut;
        DrawPlan::Image image;
    };
    using Image = DrawPlan::Image;
    const Case cases[] = {
        {"rest", false, false, false, false, true, Image::Out},
        {"hovered", true, false, false, false, true, Image::In},
        {"pressed", false, true, false, false, true, Image::In},
        {"no rest icon", false, false, false, false, false, Image::In},
        {"check box unchecked and hovered", true, false, true, false, true, Image::Out},
        {"check box checked", false, false, true, true, true, Image::In},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ButtonLook look = Look();
        look.hovered = c.hovered;
        look.checkBox = c.checkBox;
        look.checked = c.checked;
        const DrawPlan plan =
            PlanDrawItem(look, {c.selected, false, false}, kClient, {{32, 32}, c.hasOut}, true);
        EXPECT_EQ(plan.image, c.image);
        EXPECT_FALSE(plan.imageDisabled);
    }

    ButtonLook look = Look();
    look.hovered = true;  // whatever the mouse does
    const DrawPlan disabled =
        PlanDrawItem(look, {false, false, true}, kClient, {{32, 32}, true}, true);
    EXPECT_TRUE(disabled.imageDisabled);
    EXPECT_TRUE(disabled.captionEmbossed);
    EXPECT_EQ(PlanDrawItem(look, {}, kClient, {}, true).image, DrawPlan::Image::None);
}

TEST(ButtonDrawPlan, PlacesTheIconAndTheCaptionByAlignment) {
    struct Case {
        const char* name;
        IconAlign align;
        bool hasCaption, selected;
        PixelRect image, captionArea;
    };
    const Case cases[] = {
        {"left", IconAlign::Left, true, false, {3, 6, 35, 38}, {38, 0, 126, 45}},
        {"left pressed", IconAlign::Left, true, true, {4, 7, 36, 39}, {38, 0, 126, 45}},
        {"right", IconAlign::Right, true, false, {91, 6, 123, 38}, {0, 0, 88, 45}},
        {"above", IconAlign::Above, true, false, {47, 3, 79, 35}, {0, 38, 126, 45}},
        {"overlap", IconAlign::Overlap, true, false, {47, 6, 79, 38}, {0, 0, 126, 45}},
        {"no caption: centred", IconAlign::Left, false, false, {47, 6, 79, 38}, {0, 0, 126, 45}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ButtonLook look = Look();
        look.align = c.align;
        const DrawPlan plan = PlanDrawItem(look, {c.selected, false, false}, kClient,
                                           {{32, 32}, false}, c.hasCaption);
        EXPECT_EQ(plan.imageRect, c.image);
        EXPECT_EQ(plan.captionArea, c.captionArea);
    }
}

TEST(ButtonDrawPlan, CentresTheCaptionInItsAreaAndPressesItDown) {
    ButtonLook look = Look();
    DrawPlan plan = PlanDrawItem(look, {}, kClient, {{32, 32}, false}, true);
    EXPECT_EQ(CentreCaption(plan, look, {40, 13}), (PixelRect{62, 16, 102, 29}));
    plan = PlanDrawItem(look, {true, false, false}, kClient, {{32, 32}, false}, true);
    EXPECT_EQ(CentreCaption(plan, look, {40, 13}), (PixelRect{63, 17, 103, 30}));
    look.checkBox = true;  // a check box stays in place
    plan = PlanDrawItem(look, {true, false, false}, kClient, {}, true);
    EXPECT_EQ(CentreCaption(plan, look, {40, 13}), (PixelRect{43, 16, 83, 29}));
}

TEST(ButtonAttach, ReadsAndReplacesTheButtonType) {
    struct Case {
        std::uint32_t style;
        bool checkBox, isDefault;
    };
    constexpr std::uint32_t kTabStop = 0x00010000;
    constexpr Case cases[] = {
        {0x0, false, false},  // push button
        {0x1, false, true},   // default push button
        {0x2, true, false},   // check box
        {0x3, true, false},   // auto check box
        {0x6, true, false},   // auto three-state
        {0x4, false, false},  // radio button
        {0xB, false, false},  // already owner-drawn
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        const AttachedStyle attached = AttachStyle(c.style | kTabStop);
        EXPECT_EQ(attached.checkBox, c.checkBox);
        EXPECT_EQ(attached.isDefault, c.isDefault);
        EXPECT_EQ(attached.style, kTabStop | kStyleOwnerDraw);
    }
    EXPECT_TRUE(CheckedByValue(1));
    EXPECT_TRUE(CheckedByValue(2));
    EXPECT_FALSE(CheckedByValue(0));
    EXPECT_FALSE(CheckedByValue(3));
}

TEST(ButtonLookChoices, ShadePictureAndIconSize) {
    EXPECT_FALSE(PickShadeBackground(false, false).hoverPicture);
    EXPECT_FALSE(PickShadeBackground(false, true).hoverPicture);  // pressed by the keyboard
    const ShadeBackground hovered = PickShadeBackground(true, false);
    EXPECT_TRUE(hovered.hoverPicture);
    EXPECT_EQ(hovered.dx, 0);
    const ShadeBackground pressed = PickShadeBackground(true, true);
    EXPECT_TRUE(pressed.hoverPicture);
    EXPECT_EQ(pressed.dx, 1);
    EXPECT_EQ(pressed.dy, 1);

    struct Case {
        PixelSize client;
        int icon;
    };
    constexpr Case cases[] = {
        {{126, 45}, 32}, {{126, 40}, 32}, {{126, 39}, 24}, {{126, 32}, 24},
        {{126, 20}, 16}, {{126, 5}, 16},  {{95, 45}, 24},  // a third of the width at most
        {{63, 33}, 16},                                    // the small Open button
        {{190, 64}, 48}, {{190, 55}, 32},  // a Setting button at 144 dpi; a lower one
        {{143, 64}, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.client.width << "x" << c.client.height);
        EXPECT_EQ(FittingIconSize(c.client), c.icon);
    }
}

}  // namespace
}  // namespace kivrel
