#pragma once
// Windows only. CShadeButtonST: a CButtonST whose face is a shaded picture made from the
// system's button colours (dark at the bottom, light at the top, with grain), and a lighter
// variant while the mouse is over it.

#include <windows.h>

#include "ui/button_st_win32.h"
#include "ui/ce_xdib.h"
#include "ui/ce_xdib_win32.h"

namespace kivrel {

class CShadeButtonST : public CButtonST {
public:
    // Makes both pictures for the button's present window size. Call once after attaching;
    // until then the face is filled as a plain CButtonST's.
    void SetShade();

protected:
    void DrawBackground(HDC dc, const DrawPlan& plan) override;

private:
    CCeXDib face;
    CCeXDib hoverFace;
    DibSurface faceSurface;
    DibSurface hoverSurface;
};

}  // namespace kivrel
