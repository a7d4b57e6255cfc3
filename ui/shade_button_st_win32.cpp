#include "ui/shade_button_st_win32.h"

#include "ui/gdi_colour_win32.h"
#include "ui/shade.h"

namespace kivrel {

void CShadeButtonST::SetShade() {
    if (Window() == nullptr) return;
    RECT bounds{};
    ::GetWindowRect(Window(), &bounds);
    const ShadeColours colours{ToColour(::GetSysColor(COLOR_BTNSHADOW)),
                               ToColour(::GetSysColor(COLOR_BTNFACE)),
                               ToColour(::GetSysColor(COLOR_BTNHIGHLIGHT))};
    // Each button and each run gets its own grain.
    const auto seed =
        static_cast<std::uint32_t>(::GetTickCount() ^ reinterpret_cast<std::uintptr_t>(Window()));
    ShadeFaces faces =
        MakeShadeFaces(bounds.right - bounds.left, bounds.bottom - bounds.top, colours, seed);
    face = std::move(faces.face);
    hoverFace = std::move(faces.hover);
    Repaint();
}

void CShadeButtonST::DrawBackground(HDC dc, const DrawPlan& plan) {
    if (!face.IsValid()) {
        CButtonST::DrawBackground(dc, plan);
        return;
    }
    const ShadeBackground pick = PickShadeBackground(IsHovered(), plan.pressed);
    if (pick.dx != 0 || pick.dy != 0) {
        // The shifted picture leaves a row and a column; the border normally covers them.
        FillSolid(dc, ToRect(plan.area), ::GetSysColor(COLOR_BTNFACE));
    }
    if (pick.hoverPicture) {
        hoverSurface.Draw(dc, plan.area.left + pick.dx, plan.area.top + pick.dy, hoverFace);
    } else {
        faceSurface.Draw(dc, plan.area.left, plan.area.top, face);
    }
}

}  // namespace kivrel
