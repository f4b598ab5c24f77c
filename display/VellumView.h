#pragma once
// The application's one view: it owns the offscreen 8-bit surface and the three format
// records, lays the current record out on the surface, and paints by copying the surface
// to the window.

#include "Afx.h"
#include "WinGSurface.h"

#include "Bfnt.h"
#include "Bmp.h"
#include "Tim.h"

#include <cstdint>

class CVellumDoc;

class CVellumView : public CView
{
    DECLARE_DYNCREATE(CVellumView)
public:
    CVellumView();
    ~CVellumView() override;

    enum : std::int32_t
    {
        BACKGROUND_INDEX = 247,  // in the upper static block, so no image colour can change it
        LAYOUT_WIDTH = 256,      // glyph cells are laid out on a strip this wide
    };

    CVellumDoc* GetDocument() const;

    // Redraws the whole surface from the record of the current kind.
    void RenderData();

    void OnDraw(CDC* pDC) override;
    void OnSize(UINT nType, int cx, int cy) override;
    int OnCreate(LPCREATESTRUCT lpCreateStruct) override;
    BOOL OnEraseBkgnd(CDC* pDC) override;

    CWinGSurface m_surface;
    CBmpData m_bmpData;
    CBfntData m_bfntData;
    CTimData m_timData;

protected:
    void RenderBfnt();
    void RenderBmp();
    void RenderTim();

    DECLARE_MESSAGE_MAP()
};
