#pragma once
// What the image buttons decide: when the mouse lights a button up, which colours, icon and
// border each state gets, and where the icon and the caption sit. CButtonST draws the plan.

#include <cstdint>

#include "ui/colour.h"

namespace kivrel {

enum class IconAlign { Left, Above, Right, Overlap };  // where the icon sits against the caption

// The six colours: background and text for hovered (also pressed), rest and focused.
struct ButtonColours {
    Colour backHovered;
    Colour textHovered;
    Colour backRest;
    Colour textRest;
    Colour backFocused;
    Colour textFocused;
};

// Hover tracking of a flat button. The view reports what the mouse did and redraws (and asks
// for a leave notice) when told so.
class HoverTracker {
public:
    enum class Change { None, Entered, Left };

    // A mouse move over the button's window. `overButton`: the window under the cursor is the
    // button; `mayLight`: always-track is on or the application's window is active.
    Change OnMouseMove(bool leftButtonDown, bool overButton, bool mayLight) noexcept;
    // Mouse leave, focus loss, capture change, cancelled mode, disabling.
    Change Clear() noexcept;
    [[nodiscard]] bool Hovered() const noexcept { return hovered; }

private:
    bool hovered = false;
};

// The button's own state (not the item state of one draw).
struct ButtonLook {
    bool flat = true;
    bool hovered = false;
    bool isDefault = false;
    bool checkBox = false;
    bool checked = false;
    bool drawBorder = true;
    bool drawFlatFocus = false;
    bool transparent = false;
    IconAlign align = IconAlign::Left;
    ButtonColours colours;
};

// The item state handed to one draw.
struct ItemState {
    bool selected = false;
    bool focused = false;
    bool disabled = false;
};

struct DrawPlan {
    enum class Border {
        None,
        ShadowFrame,  // pressed, not flat: a frame in the button-shadow colour
        RaisedEdge,   // not pressed, not flat: the classic two-line raised edge
        ThinSunken,   // flat border while pressed: shadow top-left, highlight bottom-right
        ThinRaised,   // flat border while hovered: highlight top-left, shadow bottom-right
    };
    enum class Image { None, In, Out };

    bool pressed = false;
    bool blackFrame = false;
    PixelRect area;  // what remains inside the black frame
    Colour background;
    Border border = Border::None;
    Image image = Image::None;
    PixelRect imageRect;
    bool imageDisabled = false;
    PixelRect captionArea;  // the caption is centred in here (see CentreCaption)
    bool captionEmbossed = false;
    Colour captionColour;
    bool focusRect = false;
    PixelRect focus;
};

// What an image (icon or bitmap) the button carries looks like to the plan.
struct ButtonImage {
    PixelSize size;       // 0 x 0 when there is none
    bool hasOut = false;  // a separate rest-state image
};

[[nodiscard]] DrawPlan PlanDrawItem(const ButtonLook& look, ItemState state, PixelRect client,
                                    ButtonImage image, bool hasCaption) noexcept;
// Where a caption of the measured size goes: centred in its area, one pixel right and down
// while pressed (outside check-box mode).
[[nodiscard]] PixelRect CentreCaption(const DrawPlan& plan, const ButtonLook& look,
                                      PixelSize measured) noexcept;

// Background of a shaded button: the face picture, or the hover picture (one pixel in while
// pressed).
struct ShadeBackground {
    bool hoverPicture = false;
    int dx = 0;
    int dy = 0;
};
[[nodiscard]] ShadeBackground PickShadeBackground(bool hovered, bool pressed) noexcept;

// Attaching to a push button: the low four style bits say check box (the 2 bit) or default
// push button (value 1); they are replaced by the owner-draw value.
inline constexpr std::uint32_t kStyleTypeMask = 0xF;
inline constexpr std::uint32_t kStyleDefPushButton = 0x1;
inline constexpr std::uint32_t kStyleOwnerDraw = 0xB;
struct AttachedStyle {
    std::uint32_t style = 0;
    bool checkBox = false;
    bool isDefault = false;
};
[[nodiscard]] AttachedStyle AttachStyle(std::uint32_t style) noexcept;
// The check state a set-check value gives: 1 and 2 check, anything else unchecks.
[[nodiscard]] constexpr bool CheckedByValue(std::uintptr_t value) noexcept {
    return value == 1 || value == 2;
}

// The largest of the drawn icon sizes (48, 32, 24, 16) that leaves four pixels above and below in
// a button of this client size and takes at most a third of its width, so the caption keeps
// room beside it. Buttons grow with the screen's dpi, and so do their icons.
[[nodiscard]] int FittingIconSize(PixelSize client) noexcept;

}  // namespace kivrel
