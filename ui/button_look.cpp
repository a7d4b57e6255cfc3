#include "ui/button_look.h"

#include <initializer_list>

namespace kivrel {

HoverTracker::Change HoverTracker::OnMouseMove(bool leftButtonDown, bool overButton,
                                               bool mayLight) noexcept {
    // A drag that started elsewhere must not light the button up.
    if (leftButtonDown && !hovered) return Change::None;
    if (overButton) {
        if (!mayLight || hovered) return Change::None;
        hovered = true;
        return Change::Entered;
    }
    return Clear();
}

HoverTracker::Change HoverTracker::Clear() noexcept {
    if (!hovered) return Change::None;
    hovered = false;
    return Change::Left;
}

namespace {

PixelRect Centred(PixelRect area, PixelSize size) noexcept {
    const int left = area.left + (area.Width() - size.width) / 2;
    const int top = area.top + (area.Height() - size.height) / 2;
    return {left, top, left + size.width, top + size.height};
}

// The image's place and what is left for the caption, before the press offset.
void PlaceImage(IconAlign align, PixelRect area, PixelSize size, bool hasCaption, PixelRect& image,
                PixelRect& caption) noexcept {
    constexpr int kMargin = 3;  // from the edge to the image, and from the image to the caption
    image = Centred(area, size);
    caption = area;
    if (!hasCaption) return;
    switch (align) {
        case IconAlign::Left:
            image.left = area.left + kMargin;
            image.right = image.left + size.width;
            caption.left = image.right + kMargin;
            break;
        case IconAlign::Right:
            image.right = area.right - kMargin;
            image.left = image.right - size.width;
            caption.right = image.left - kMargin;
            break;
        case IconAlign::Above:
            image.top = area.top + kMargin;
            image.bottom = image.top + size.height;
            caption.top = image.bottom + kMargin;
            break;
        case IconAlign::Overlap:
            break;
    }
}

}  // namespace

DrawPlan PlanDrawItem(const ButtonLook& look, ItemState state, PixelRect client, ButtonImage image,
                      bool hasCaption) noexcept {
    DrawPlan plan;
    plan.pressed = state.selected || (look.checkBox && look.checked);
    const bool lit = look.hovered || plan.pressed;

    plan.blackFrame = !look.flat && (state.focused || look.isDefault);
    plan.area = plan.blackFrame ? client.Inset(1) : client;

    if (lit) {
        plan.background = look.colours.backHovered;
    } else if (state.focused) {
        plan.background = look.colours.backFocused;
    } else {
        plan.background = look.colours.backRest;
    }

    if (plan.pressed) {
        if (!look.flat) {
            plan.border = DrawPlan::Border::ShadowFrame;
        } else if (look.drawBorder) {
            plan.border = DrawPlan::Border::ThinSunken;
        }
    } else if (!look.flat) {
        plan.border = DrawPlan::Border::RaisedEdge;
    } else if (look.hovered && look.drawBorder) {
        plan.border = DrawPlan::Border::ThinRaised;
    }

    plan.captionArea = plan.area;
    if (image.size.width > 0 && image.size.height > 0) {
        // In check-box mode only the checked state chooses; otherwise hover does as well.
        const bool atRest = look.checkBox ? !plan.pressed : !lit;
        plan.image = (image.hasOut && atRest) ? DrawPlan::Image::Out : DrawPlan::Image::In;
        PlaceImage(look.align, plan.area, image.size, hasCaption, plan.imageRect, plan.captionArea);
        if (plan.pressed && !look.checkBox) plan.imageRect = plan.imageRect.Offset(1, 1);
        plan.imageDisabled = state.disabled;
    }

    plan.captionEmbossed = state.disabled;
    plan.captionColour = lit ? look.colours.textHovered : look.colours.textRest;

    plan.focusRect = state.focused && (!look.flat || look.drawFlatFocus);
    plan.focus = client.Inset(3);
    return plan;
}

PixelRect CentreCaption(const DrawPlan& plan, const ButtonLook& look, PixelSize measured) noexcept {
    const PixelRect rect = Centred(plan.captionArea, measured);
    return (plan.pressed && !look.checkBox) ? rect.Offset(1, 1) : rect;
}

ShadeBackground PickShadeBackground(bool hovered, bool pressed) noexcept {
    if (!hovered) return {};
    if (pressed) return {true, 1, 1};
    return {true, 0, 0};
}

AttachedStyle AttachStyle(std::uint32_t style) noexcept {
    const std::uint32_t type = style & kStyleTypeMask;
    AttachedStyle attached;
    // An owner-draw button carries the 2 bit too; attaching one again keeps it a push button.
    attached.checkBox = (type & 0x2) != 0 && type != kStyleOwnerDraw;
    attached.isDefault = type == kStyleDefPushButton;
    attached.style = (style & ~kStyleTypeMask) | kStyleOwnerDraw;
    return attached;
}

int FittingIconSize(PixelSize client) noexcept {
    for (const int size : {48, 32, 24, 16}) {
        if (size + 8 <= client.height && 3 * size <= client.width) return size;
    }
    return 16;
}

}  // namespace kivrel
