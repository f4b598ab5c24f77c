#pragma once
// The program's resources as data: what the framework loads by id (menus,
// accelerators, strings, dialog templates, bitmaps and icons). The ids are in resource.h.

#include <cstddef>
#include <cstdint>

// Menu item flags, as the old resource compiler stored them.
enum : unsigned
{
    RES_MF_GRAYED = 0x0001,
    RES_MF_POPUP = 0x0010,
    RES_MF_SEPARATOR = 0x0800,
};

// A menu is a flat list: pop-ups at level 0, their items at level 1.
// Item text may hold "\t" followed by the shortcut label.
struct RES_MENUITEM
{
    int nLevel;
    const char* pszText;  // UTF-8; null for separators
    unsigned nID;         // command id; 0 for pop-ups and separators
    unsigned nFlags;      // RES_MF_*
};

// Accelerator flags.
enum : std::uint8_t
{
    RES_FVIRTKEY = 0x01,
    RES_FNOINVERT = 0x02,
    RES_FSHIFT = 0x04,
    RES_FCONTROL = 0x08,
    RES_FALT = 0x10,
    RES_FLASTENTRY = 0x80,
};

struct RES_ACCEL
{
    std::uint8_t fVirt;   // RES_F*
    std::uint16_t key;    // virtual-key code (VK_*)
    std::uint16_t cmd;    // command id
};

// A dialog template; positions and sizes in dialog units.
struct RES_DLGITEM
{
    const char* pszClass;  // "STATIC", "BUTTON"
    const char* pszText;   // UTF-8; for SS_ICON statics, the icon's id in decimal
    int nID;               // -1 for no id
    int x, y, cx, cy;
    std::uint32_t dwStyle;
};

struct RES_DIALOG
{
    std::uint32_t dwStyle;
    int x, y, cx, cy;
    const char* pszCaption;  // UTF-8
    const char* pszFont;
    int nPointSize;
    const RES_DLGITEM* pItems;
    std::size_t nItems;
};

// Look-ups by id; null (and a count of 0) when the resource does not exist.
const char* ResFindString(unsigned nID);
const RES_MENUITEM* ResFindMenu(unsigned nID, std::size_t* pCount);
const RES_ACCEL* ResFindAccel(unsigned nID, std::size_t* pCount);
const RES_DIALOG* ResFindDialog(unsigned nID);
// Qt resource paths of the image files compiled into the program ("" when absent).
const char* ResBitmapPath(unsigned nID);  // toolbar bitmap (4-bit BMP)
const char* ResIconPath(unsigned nID);    // icon (.ico with 32x32 and 16x16 images)
const char* ResIconPngPath(unsigned nID); // the 32x32 icon as PNG, for places without ICO support
const char* ResHelpPath();                // the program's help page (HTML)

// Version block: fixed numeric part and one string block with its translation.
struct RES_VERSTRING
{
    const char* pszKey;
    const char* pszValue;
};

struct RES_VERSIONINFO
{
    std::uint16_t fileVersion[4];     // most significant first: 1, 0, 0, 1
    std::uint16_t productVersion[4];
    std::uint32_t dwFileFlagsMask;
    std::uint32_t dwFileFlags;
    std::uint32_t dwFileOS;
    std::uint32_t dwFileType;
    std::uint32_t dwFileSubtype;
    const char* pszBlock;             // "041104E4": language and code page in hex
    std::uint16_t wLanguage;          // the only translation entry
    std::uint16_t wCodePage;
    const RES_VERSTRING* pStrings;
    std::size_t nStrings;
};

const RES_VERSIONINFO* ResFindVersion(unsigned nID);
