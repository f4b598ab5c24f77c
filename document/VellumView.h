#pragma once
// The application's one view: it owns the offscreen 8-bit surface and the three format
// records, lays the current record out on the surface, and paints by copying the surface
// to the window.

#include "display/WinGSurface.h"
#include "framework/Afx.h"

#include "formats/Bfnt.h"
#include "formats/Bmp.h"
#include "formats/DataKinds.h"
#include "formats/Tim.h"

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
        BACKGROUND_INDEX = PAL_BACKGROUND_INDEX,
        LAYOUT_WIDTH = 256,      // glyph cells are laid out on a strip this wide
    };

    CVellumDoc* GetDocument() const;

    // Redraws the whole surface from the record of the current kind.
    void RenderData();
    // The three records, as the table of data kinds works on them.
    DataRecords Records() { return {m_bmpData, m_timData, m_bfntData}; }

    void OnDraw(CDC* pDC) override;
    void OnSize(UINT nType, int cx, int cy) override;
    int OnCreate(LPCREATESTRUCT lpCreateStruct) override;
    BOOL OnEraseBkgnd(CDC* pDC) override;

    CWinGSurface m_surface;
    CBmpData m_bmpData;
    CBfntData m_bfntData;
    CTimData m_timData;

protected:
    void RenderCells(CBfntData& sheet);
    void RenderRows(const ImageRows& image);

    DECLARE_MESSAGE_MAP()
};
