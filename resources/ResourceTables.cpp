// The program's resource script, held as tables. Every user-visible text is UTF-8; the
// Japanese texts keep their half-width katakana, which the status bar shows as they are.

#include "resources/ResourceTables.h"

#include "resources/resource.h"

#include <cstdint>
#include <iterator>

// The files compiled in by EmbedFiles.cmake.
extern const std::uint8_t kResToolbarBmp[];
extern const std::size_t kResToolbarBmpSize;
extern const std::uint8_t kResIconIco[];
extern const std::size_t kResIconIcoSize;
extern const std::uint8_t kResHelpHtml[];
extern const std::size_t kResHelpHtmlSize;

namespace
{

// Sorted by id, so look-ups can bisect.
constexpr RES_STRING_ENTRY kStrings[] = {
    {IDR_MAINFRAME,
     "vellum\nUntitled\nGraphicData\n(*.bmp,*.fnt,*.tim)\n\nVellum.Document\nVellum Document"},
    {AFX_IDS_APP_TITLE, "vellum"},
    {AFX_IDS_IDLEMESSAGE, "ﾚﾃﾞｨ"},
    {ID_FILE_NEW, "新規にﾌｧｲﾙを作成\n新規ﾌｧｲﾙ"},
    {ID_FILE_OPEN, "既存のﾌｧｲﾙを開く\nファイルを開く"},
    {ID_FILE_CLOSE, "作業中のﾌｧｲﾙを閉じる\n閉じる"},
    {ID_FILE_SAVE, "作業中のﾌｧｲﾙを保存\n保存"},
    {ID_FILE_SAVE_AS, "作業中のﾌｧｲﾙに名前をつけて保存\n名前をつけて保存"},
    {ID_FILE_MRU_FILE1, "指定のﾌｧｲﾙを開く"},
    {ID_FILE_MRU_FILE2, "指定のﾌｧｲﾙを開く"},
    {ID_FILE_MRU_FILE3, "指定のﾌｧｲﾙを開く"},
    {ID_FILE_MRU_FILE4, "指定のﾌｧｲﾙを開く"},
    {ID_EDIT_CLEAR, "選択範囲を消去\n消去"},
    {ID_EDIT_CLEAR_ALL, "すべて消去\nすべて消去"},
    {ID_EDIT_COPY, "選択範囲をｺﾋﾟｰしてｸﾘｯﾌﾟﾎﾞｰﾄﾞに保存\nｺﾋﾟｰ"},
    {ID_EDIT_CUT, "選択範囲を切り取ってｸﾘｯﾌﾟﾎﾞｰﾄﾞに保存\n切り取り"},
    {ID_EDIT_FIND, "指定した文字列の検索\n検索"},
    {ID_EDIT_PASTE, "ｸﾘｯﾌﾟﾎﾞｰﾄﾞの内容を貼り付け\n貼り付け"},
    {ID_EDIT_REPEAT, "直前に行った動作を繰り返す\n繰り返し"},
    {ID_EDIT_REPLACE, "指定した文字列を他の文字列で置換\n置換"},
    {ID_EDIT_SELECT_ALL, "ﾌｧｲﾙ内のすべてを選択\nすべて選択"},
    {ID_EDIT_UNDO, "直前に行った動作を元に戻す\n元に戻す"},
    {ID_EDIT_REDO, "直前に行った動作をやり直す\nやり直し"},
    {ID_WINDOW_SPLIT, "作業中のｳｨﾝﾄﾞｳを分割\n分割"},
    {ID_APP_ABOUT, "ﾌﾟﾛｸﾞﾗﾑの情報、ﾊﾞｰｼﾞｮﾝそして著作権を表示\nﾊﾞｰｼﾞｮﾝ情報"},
    {ID_APP_EXIT, "ｱﾌﾟﾘｹｰｼｮﾝを終了し、ﾌｧｲﾙの保存を指示\n終了"},
    {ID_HELP_INDEX, "Read me/ How to use/ Document\nHELP"},
    {ID_NEXT_PANE, "次のｳｨﾝﾄﾞｳ ﾍﾟｲﾝに切り替え\n次のﾍﾟｲﾝ"},
    {ID_PREV_PANE, "前のｳｨﾝﾄﾞｳ ﾍﾟｲﾝに切り替え\n前のﾍﾟｲﾝ"},
    {ID_INDICATOR_EXT, "EXT"},
    {ID_INDICATOR_CAPS, "CAP"},
    {ID_INDICATOR_NUM, "NUM"},
    {ID_INDICATOR_SCRL, "SCRL"},
    {ID_INDICATOR_OVR, "上書"},
    {ID_INDICATOR_REC, "記録"},
    {ID_INDICATOR_KANA, "ｶﾅ"},
    {ID_VIEW_TOOLBAR, "ﾂｰﾙﾊﾞｰの表示/非表示\nﾂｰﾙﾊﾞｰの表示/非表示"},
    {ID_VIEW_STATUS_BAR, "ｽﾃｰﾀｽﾊﾞｰの表示/非表示\nｽﾃｰﾀｽﾊﾞｰの表示/非表示"},
    {AFX_IDS_SCSIZE, "ｳｨﾝﾄﾞｳのｻｲｽﾞを変更"},
    {AFX_IDS_SCMOVE, "ｳｨﾝﾄﾞｳの位置を変更"},
    {AFX_IDS_SCMINIMIZE, "ｳｨﾝﾄﾞｳをｱｲｺﾝ化する"},
    {AFX_IDS_SCMAXIMIZE, "ｳｨﾝﾄﾞｳを最大表示にする"},
    {AFX_IDS_SCNEXTWINDOW, "次のｳｨﾝﾄﾞｳに切り替える"},
    {AFX_IDS_SCPREVWINDOW, "前のｳｨﾝﾄﾞｳに切り替える"},
    {AFX_IDS_SCCLOSE, "作業中のｳｨﾝﾄﾞｳを閉じ、変更したﾌｧｲﾙの保存を指示"},
    {AFX_IDS_SCRESTORE, "ｳｨﾝﾄﾞｳを通常のｻｲｽﾞに戻す"},
    {AFX_IDS_SCTASKLIST, "ｱﾌﾟﾘｹｰｼｮﾝの切り替え"},
    {IDS_UNKNOWN_FORMAT, "unknown data format."},
    {IDS_LOAD_ERROR, "load error."},
    {IDS_NOT_256_COLOR, "not 256 color data."},
    {IDS_NO_FILE_LOADED, "\"no file loaded.\""},
    {IDS_NOT_256_OR_16_COLOR, "not 256 or 16 color data."},
};

constexpr bool IsSortedById()
{
    for (std::size_t i = 1; i < std::size(kStrings); ++i)
        if (kStrings[i - 1].nID >= kStrings[i].nID)
            return false;
    return true;
}
static_assert(IsSortedById(), "string table must stay sorted by id");

constexpr RES_MENUITEM kMainMenu[] = {
    {0, "&File", 0, RES_MF_POPUP},
    {1, "開く(&O)...\tCtrl+O", ID_FILE_OPEN, 0},
    {1, "上書き保存(&S)\tCtrl+S", ID_FILE_SAVE, 0},
    {1, "名前を付けて保存(&A)...", ID_FILE_SAVE_AS, 0},
    {1, nullptr, 0, RES_MF_SEPARATOR},
    {1, "最新のファイル", ID_FILE_MRU_FILE1, RES_MF_GRAYED},
    {1, nullptr, 0, RES_MF_SEPARATOR},
    {1, "アプリケーションの終了(&X)", ID_APP_EXIT, 0},
    {0, "&View", 0, RES_MF_POPUP},
    {1, "&ToolBar", ID_VIEW_TOOLBAR, 0},
    {1, "&StatusBar", ID_VIEW_STATUS_BAR, 0},
    {0, "&Help", 0, RES_MF_POPUP},
    {1, "&Index", ID_HELP_INDEX, 0},
    {1, "&About...", ID_APP_ABOUT, 0},
};

constexpr std::uint8_t kVirt = RES_FVIRTKEY | RES_FNOINVERT;

constexpr RES_ACCEL kMainAccel[] = {
    {kVirt | RES_FCONTROL, 'C', ID_EDIT_COPY},
    {kVirt | RES_FCONTROL, 'N', ID_FILE_NEW},
    {kVirt | RES_FCONTROL, 'O', ID_FILE_OPEN},
    {kVirt | RES_FCONTROL, 'S', ID_FILE_SAVE},
    {kVirt | RES_FCONTROL, 'V', ID_EDIT_PASTE},
    {kVirt | RES_FALT, VK_BACK, ID_EDIT_UNDO},
    {kVirt | RES_FSHIFT, VK_DELETE, ID_EDIT_CUT},
    {kVirt, VK_F1, ID_HELP_INDEX},
    {kVirt, VK_F6, ID_NEXT_PANE},
    {kVirt | RES_FSHIFT, VK_F6, ID_PREV_PANE},
    {kVirt | RES_FCONTROL, VK_INSERT, ID_EDIT_COPY},
    {kVirt | RES_FSHIFT, VK_INSERT, ID_EDIT_PASTE},
    {kVirt | RES_FCONTROL, 'X', ID_EDIT_CUT},
    {kVirt | RES_FCONTROL | RES_FLASTENTRY, 'Z', ID_EDIT_UNDO},
};

constexpr RES_DLGITEM kAboutItems[] = {
    {"STATIC", "128", -1, 11, 17, 18, 20, WS_CHILD | WS_VISIBLE | SS_ICON},
    {"STATIC", "vellum Version 0.5", -1, 40, 10, 119, 8, WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT},
    {"BUTTON", "OK", IDOK, 176, 6, 32, 14,
     WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON},
};

constexpr RES_DIALOG kAboutBox = {
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
    34, 22, 217, 55,
    "バージョン情報(vellum)",
    "System", 12,
    kAboutItems, std::size(kAboutItems),
};

constexpr RES_VERSTRING kVersionStrings[] = {
    {"CompanyName", ""},
    {"FileDescription", "vellum 256-colour graphic data viewer"},
    {"FileVersion", "1, 0, 0, 1"},
    {"InternalName", "vellum"},
    {"LegalCopyright", "Copyright (C) the vellum developers"},
    {"LegalTrademarks", ""},
    {"OriginalFilename", "vellum"},
    {"ProductName", "vellum"},
    {"ProductVersion", "1, 0, 0, 1"},
};

constexpr RES_VERSIONINFO kVersion = {
    {1, 0, 0, 1},
    {1, 0, 0, 1},
    0x3F,
    0,
    4,  // VOS__WINDOWS32
    1,  // VFT_APP
    0,
    "041104E4",
    0x0411,
    0x04E4,
    kVersionStrings,
    std::size(kVersionStrings),
};

const RES_MENU_ENTRY kMenus[] = {{IDR_MAINFRAME, kMainMenu, std::size(kMainMenu)}};
const RES_ACCEL_ENTRY kAccels[] = {{IDR_MAINFRAME, kMainAccel, std::size(kMainAccel)}};
const RES_DIALOG_ENTRY kDialogs[] = {{IDD_ABOUTBOX, &kAboutBox}};
const RES_VERSION_ENTRY kVersions[] = {{VS_VERSION_INFO, &kVersion}};

}  // namespace

const AFX_RESOURCES* VellumResources()
{
    // Built on first use: the embedded files' sizes are only known at link time.
    static const RES_DATA_ENTRY s_bitmaps[] = {{IDR_MAINFRAME, {kResToolbarBmp, kResToolbarBmpSize}}};
    static const RES_DATA_ENTRY s_icons[] = {{IDR_MAINFRAME, {kResIconIco, kResIconIcoSize}}};
    static const AFX_RESOURCES s_resources = [] {
        AFX_RESOURCES r;
        r.pStrings = kStrings;
        r.nStrings = std::size(kStrings);
        r.pMenus = kMenus;
        r.nMenus = std::size(kMenus);
        r.pAccels = kAccels;
        r.nAccels = std::size(kAccels);
        r.pDialogs = kDialogs;
        r.nDialogs = std::size(kDialogs);
        r.pBitmaps = s_bitmaps;
        r.nBitmaps = std::size(s_bitmaps);
        r.pIcons = s_icons;
        r.nIcons = std::size(s_icons);
        r.pVersions = kVersions;
        r.nVersions = std::size(kVersions);
        r.helpPage = RES_DATA{kResHelpHtml, kResHelpHtmlSize};
        r.pszProfileName = "vellum";
        r.pszHelpWindowName = "vellumHelp";
        return r;
    }();
    return &s_resources;
}
