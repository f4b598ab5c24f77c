#pragma once
// The program's resources as the framework reads them: string table, menus, accelerator
// tables, dialog templates, images, the help page and the version block. The program
// describes its tables in an AFX_RESOURCES and registers it at start-up; the framework
// looks everything up by id through the functions below.

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
    std::uint8_t fVirt;  // RES_F*
    std::uint16_t key;   // virtual-key code (VK_*)
    std::uint16_t cmd;   // command id
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

// Version block: fixed numeric part and one string block with its translation.
struct RES_VERSTRING
{
    const char* pszKey;
    const char* pszValue;
};

struct RES_VERSIONINFO
{
    std::uint16_t fileVersion[4];  // most significant first
    std::uint16_t productVersion[4];
    std::uint32_t dwFileFlagsMask;
    std::uint32_t dwFileFlags;
    std::uint32_t dwFileOS;
    std::uint32_t dwFileType;
    std::uint32_t dwFileSubtype;
    const char* pszBlock;  // language and code page in hex, e.g. "041104E4"
    std::uint16_t wLanguage;  // the only translation entry
    std::uint16_t wCodePage;
    const RES_VERSTRING* pStrings;
    std::size_t nStrings;
};

// The bytes of a file compiled into the program.
struct RES_DATA
{
    const std::uint8_t* pData = nullptr;
    std::size_t nSize = 0;
};

// One entry of each table kind, keyed by resource id.
struct RES_STRING_ENTRY
{
    unsigned nID;
    const char* pszText;  // UTF-8
};
struct RES_MENU_ENTRY
{
    unsigned nID;
    const RES_MENUITEM* pItems;
    std::size_t nItems;
};
struct RES_ACCEL_ENTRY
{
    unsigned nID;
    const RES_ACCEL* pAccel;
    std::size_t nAccel;
};
struct RES_DIALOG_ENTRY
{
    unsigned nID;
    const RES_DIALOG* pDialog;
};
struct RES_DATA_ENTRY
{
    unsigned nID;
    RES_DATA data;
};
struct RES_VERSION_ENTRY
{
    unsigned nID;
    const RES_VERSIONINFO* pVersion;
};

// Everything a program registers. The string table must be sorted by id.
struct AFX_RESOURCES
{
    const RES_STRING_ENTRY* pStrings = nullptr;
    std::size_t nStrings = 0;
    const RES_MENU_ENTRY* pMenus = nullptr;
    std::size_t nMenus = 0;
    const RES_ACCEL_ENTRY* pAccels = nullptr;
    std::size_t nAccels = 0;
    const RES_DIALOG_ENTRY* pDialogs = nullptr;
    std::size_t nDialogs = 0;
    const RES_DATA_ENTRY* pBitmaps = nullptr;  // BMP files (toolbar images)
    std::size_t nBitmaps = 0;
    const RES_DATA_ENTRY* pIcons = nullptr;    // ICO files
    std::size_t nIcons = 0;
    const RES_VERSION_ENTRY* pVersions = nullptr;
    std::size_t nVersions = 0;
    RES_DATA helpPage;  // HTML shown by Help/Index
    // The program's own names for what the framework keeps for it. The profile is
    // $XDG_CONFIG_HOME/NAME/NAME.conf; without a name there is none, and the recent-file list
    // lasts only as long as the process. The help window carries its name as its object name.
    const char* pszProfileName = nullptr;
    const char* pszHelpWindowName = nullptr;
};

// The tables stay the program's; the framework keeps only the pointer.
void AfxRegisterResources(const AFX_RESOURCES* pResources);

// Look-ups by id; null (and a count of 0, an empty RES_DATA) when the resource does not exist.
const char* AfxFindString(unsigned nID);
const RES_MENUITEM* AfxFindMenu(unsigned nID, std::size_t* pCount);
const RES_ACCEL* AfxFindAccel(unsigned nID, std::size_t* pCount);
const RES_DIALOG* AfxFindDialog(unsigned nID);
RES_DATA AfxFindBitmap(unsigned nID);
RES_DATA AfxFindIcon(unsigned nID);
RES_DATA AfxGetHelpPage();
// The registered names; null when none is.
const char* AfxGetProfileName();
const char* AfxGetHelpWindowName();
const RES_VERSIONINFO* AfxFindVersion(unsigned nID);
