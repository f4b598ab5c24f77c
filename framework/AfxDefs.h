#pragma once
// Message ids, constants and geometry of the framework layer, with the values the old
// platform gave them.

#include "framework/AfxIds.h"
#include "framework/AfxTypes.h"

constexpr WORD LOWORD(DWORD_PTR l) { return static_cast<WORD>(l & 0xFFFFu); }
constexpr WORD HIWORD(DWORD_PTR l) { return static_cast<WORD>((l >> 16) & 0xFFFFu); }
constexpr LPARAM MAKELPARAM(unsigned lo, unsigned hi)
{
    return static_cast<LPARAM>((lo & 0xFFFFu) | ((hi & 0xFFFFu) << 16));
}

// Window messages
enum : UINT
{
    WM_CREATE = 0x0001,
    WM_DESTROY = 0x0002,
    WM_SIZE = 0x0005,
    WM_SETTEXT = 0x000C,
    WM_PAINT = 0x000F,
    WM_CLOSE = 0x0010,
    WM_ERASEBKGND = 0x0014,
    WM_COMMAND = 0x0111,
};

// WM_SIZE types
enum : UINT
{
    SIZE_RESTORED = 0,
    SIZE_MINIMIZED = 1,
    SIZE_MAXIMIZED = 2,
};

// Command notification codes (OnCmdMsg's nCode)
enum : int
{
    CN_COMMAND = 0,
    CN_UPDATE_COMMAND_UI = -1,
};

// Message boxes
enum : UINT
{
    MB_OK = 0x0000,
    MB_OKCANCEL = 0x0001,
    MB_YESNO = 0x0004,
    MB_ICONSTOP = 0x0010,
    MB_ICONQUESTION = 0x0020,
    MB_ICONEXCLAMATION = 0x0030,
    MB_ICONINFORMATION = 0x0040,
};

// ShowWindow
enum : int
{
    SW_HIDE = 0,
    SW_SHOWNORMAL = 1,
    SW_SHOWMINIMIZED = 2,
    SW_SHOWMAXIMIZED = 3,
    SW_SHOW = 5,
};

// GetSystemMetrics
enum : int
{
    SM_CXSCREEN = 0,
    SM_CYSCREEN = 1,
    SM_CYCAPTION = 4,
    SM_CYMENU = 15,
    SM_CXFRAME = 32,
    SM_CYFRAME = 33,
};

// WinHelp commands
enum : UINT
{
    HELP_CONTEXT = 0x0001,
    HELP_QUIT = 0x0002,
    HELP_INDEX = 0x0003,
    HELP_FINDER = 0x000B,
};

struct POINT
{
    LONG x;
    LONG y;
};

struct SIZE
{
    LONG cx;
    LONG cy;
};

struct RECT
{
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using LPRECT = RECT*;
using LPCRECT = const RECT*;

class CPoint : public POINT
{
public:
    CPoint() : POINT{0, 0} {}
    CPoint(int x0, int y0) : POINT{x0, y0} {}
};

class CSize : public SIZE
{
public:
    CSize() : SIZE{0, 0} {}
    CSize(int cx0, int cy0) : SIZE{cx0, cy0} {}
};

class CRect : public RECT
{
public:
    CRect() : RECT{0, 0, 0, 0} {}
    CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
    CRect(const RECT& rc) : RECT(rc) {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    friend bool operator==(const CRect& a, const CRect& b)
    {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }
};

struct CREATESTRUCT
{
    void* lpCreateParams = nullptr;  // the CCreateContext of a frame or a view
    int cy = 0;
    int cx = 0;
    int y = 0;
    int x = 0;
    DWORD style = 0;
    LPCTSTR lpszName = nullptr;
};
using LPCREATESTRUCT = CREATESTRUCT*;
