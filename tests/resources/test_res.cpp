// The resource tables and images: the texts people read, the shortcuts, the menu and the about
// box template must be exactly what the program promises; the images must load at their sizes.

#include "resources/ResourceTables.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <QtCore/QBuffer>
#include <QtCore/QFile>
#include <QtGui/QGuiApplication>
#include <QtGui/QImage>
#include <QtGui/QImageReader>

#include <string>
#include <vector>

namespace
{

struct StringCase
{
    unsigned nID;
    const char* pszText;
};

const StringCase kShownStrings[] = {
    {0xE000, "vellum"},
    {0xE001, "ﾚﾃﾞｨ"},
    {0xE101, "既存のﾌｧｲﾙを開く\nファイルを開く"},
    {0xE103, "作業中のﾌｧｲﾙを保存\n保存"},
    {0xE104, "作業中のﾌｧｲﾙに名前をつけて保存\n名前をつけて保存"},
    {0xE110, "指定のﾌｧｲﾙを開く"},
    {0xE111, "指定のﾌｧｲﾙを開く"},
    {0xE112, "指定のﾌｧｲﾙを開く"},
    {0xE113, "指定のﾌｧｲﾙを開く"},
    {0xE140, "ﾌﾟﾛｸﾞﾗﾑの情報、ﾊﾞｰｼﾞｮﾝそして著作権を表示\nﾊﾞｰｼﾞｮﾝ情報"},
    {0xE141, "ｱﾌﾟﾘｹｰｼｮﾝを終了し、ﾌｧｲﾙの保存を指示\n終了"},
    {0xE142, "Read me/ How to use/ Document\nHELP"},
    {0xE800, "ﾂｰﾙﾊﾞｰの表示/非表示\nﾂｰﾙﾊﾞｰの表示/非表示"},
    {0xE801, "ｽﾃｰﾀｽﾊﾞｰの表示/非表示\nｽﾃｰﾀｽﾊﾞｰの表示/非表示"},
    {0xE700, "EXT"},
    {0xE701, "CAP"},
    {0xE702, "NUM"},
    {0xE703, "SCRL"},
    {0xE704, "上書"},
    {0xE705, "記録"},
    {0xE706, "ｶﾅ"},
    {0xEF00, "ｳｨﾝﾄﾞｳのｻｲｽﾞを変更"},
    {0xEF01, "ｳｨﾝﾄﾞｳの位置を変更"},
    {0xEF02, "ｳｨﾝﾄﾞｳをｱｲｺﾝ化する"},
    {0xEF03, "ｳｨﾝﾄﾞｳを最大表示にする"},
    {0xEF04, "次のｳｨﾝﾄﾞｳに切り替える"},
    {0xEF05, "前のｳｨﾝﾄﾞｳに切り替える"},
    {0xEF06, "作業中のｳｨﾝﾄﾞｳを閉じ、変更したﾌｧｲﾙの保存を指示"},
    {0xEF12, "ｳｨﾝﾄﾞｳを通常のｻｲｽﾞに戻す"},
    {0xEF13, "ｱﾌﾟﾘｹｰｼｮﾝの切り替え"},
    {61205, "unknown data format."},
    {61206, "load error."},
    {61207, "not 256 color data."},
    {61208, "\"no file loaded.\""},
    {61209, "not 256 or 16 color data."},
    {128, "vellum\nUntitled\nGraphicData\n(*.bmp,*.fnt,*.tim)\n\nVellum.Document\nVellum Document"},
};

TEST(ResStrings, ShownTextsAreExact)
{
    for (const auto& c : kShownStrings)
    {
        const char* psz = AfxFindString(c.nID);
        ASSERT_NE(psz, nullptr) << std::hex << c.nID;
        EXPECT_STREQ(psz, c.pszText) << std::hex << c.nID;
    }
}

TEST(ResStrings, UnshownEntriesExistAndUnknownIdsDoNot)
{
    const unsigned kUnshown[] = {0xE100, 0xE102, 0xE120, 0xE121, 0xE122, 0xE123, 0xE124, 0xE125,
                                 0xE128, 0xE129, 0xE12A, 0xE12B, 0xE12C, 0xE135, 0xE150, 0xE151};
    for (unsigned nID : kUnshown)
    {
        const char* psz = AfxFindString(nID);
        ASSERT_NE(psz, nullptr) << std::hex << nID;
        EXPECT_GT(std::string(psz).size(), 0u);
    }
    for (unsigned nID : {0u, 1u, 100u, 127u, 129u, 0xE002u, 0xE114u, 0xEF14u, 0xEF1Au, 0xFFFFu})
        EXPECT_EQ(AfxFindString(nID), nullptr) << std::hex << nID;
}

TEST(ResStrings, MessageIdsHaveTheirNames)
{
    EXPECT_EQ(IDS_UNKNOWN_FORMAT, 61205);
    EXPECT_EQ(IDS_LOAD_ERROR, 61206);
    EXPECT_EQ(IDS_NOT_256_COLOR, 61207);
    EXPECT_EQ(IDS_NO_FILE_LOADED, 61208);
    EXPECT_EQ(IDS_NOT_256_OR_16_COLOR, 61209);
}

TEST(ResAccel, FourteenEntriesInOrder)
{
    struct Row
    {
        std::uint8_t fVirt;
        std::uint16_t key;
        std::uint16_t cmd;
    };
    const Row kExpected[] = {
        {0x0B, 0x43, 0xE122}, {0x0B, 0x4E, 0xE100}, {0x0B, 0x4F, 0xE101}, {0x0B, 0x53, 0xE103},
        {0x0B, 0x56, 0xE125}, {0x13, 0x08, 0xE12B}, {0x07, 0x2E, 0xE123}, {0x03, 0x70, 0xE142},
        {0x03, 0x75, 0xE150}, {0x07, 0x75, 0xE151}, {0x0B, 0x2D, 0xE122}, {0x07, 0x2D, 0xE125},
        {0x0B, 0x58, 0xE123}, {0x8B, 0x5A, 0xE12B},
    };
    std::size_t nCount = 99;
    const RES_ACCEL* p = AfxFindAccel(IDR_MAINFRAME, &nCount);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(nCount, std::size(kExpected));
    for (std::size_t i = 0; i < nCount; ++i)
    {
        EXPECT_EQ(p[i].fVirt, kExpected[i].fVirt) << "entry " << i + 1;
        EXPECT_EQ(p[i].key, kExpected[i].key) << "entry " << i + 1;
        EXPECT_EQ(p[i].cmd, kExpected[i].cmd) << "entry " << i + 1;
        EXPECT_EQ((p[i].fVirt & RES_FLASTENTRY) != 0, i + 1 == nCount) << "entry " << i + 1;
    }
    EXPECT_EQ(AfxFindAccel(100, &nCount), nullptr);
    EXPECT_EQ(nCount, 0u);
}

TEST(ResMenu, MainMenuStructure)
{
    const RES_MENUITEM kExpected[] = {
        {0, "&File", 0, RES_MF_POPUP},
        {1, "開く(&O)...\tCtrl+O", 0xE101, 0},
        {1, "上書き保存(&S)\tCtrl+S", 0xE103, 0},
        {1, "名前を付けて保存(&A)...", 0xE104, 0},
        {1, nullptr, 0, RES_MF_SEPARATOR},
        {1, "最新のファイル", 0xE110, RES_MF_GRAYED},
        {1, nullptr, 0, RES_MF_SEPARATOR},
        {1, "アプリケーションの終了(&X)", 0xE141, 0},
        {0, "&View", 0, RES_MF_POPUP},
        {1, "&ToolBar", 0xE800, 0},
        {1, "&StatusBar", 0xE801, 0},
        {0, "&Help", 0, RES_MF_POPUP},
        {1, "&Index", 0xE142, 0},
        {1, "&About...", 0xE140, 0},
    };
    std::size_t nCount = 0;
    const RES_MENUITEM* p = AfxFindMenu(IDR_MAINFRAME, &nCount);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(nCount, std::size(kExpected));
    for (std::size_t i = 0; i < nCount; ++i)
    {
        const auto& e = kExpected[i];
        EXPECT_EQ(p[i].nLevel, e.nLevel) << i;
        EXPECT_EQ(p[i].nID, e.nID) << i;
        EXPECT_EQ(p[i].nFlags, e.nFlags) << i;
        if (e.pszText)
            EXPECT_STREQ(p[i].pszText, e.pszText) << i;
        else
            EXPECT_EQ(p[i].pszText, nullptr) << i;
    }
    EXPECT_EQ(AfxFindMenu(129, &nCount), nullptr);
    EXPECT_EQ(nCount, 0u);
}

TEST(ResDialog, AboutBoxTemplate)
{
    const RES_DIALOG* p = AfxFindDialog(IDD_ABOUTBOX);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->dwStyle, 0x80C800C0u);
    EXPECT_EQ(p->x, 34);
    EXPECT_EQ(p->y, 22);
    EXPECT_EQ(p->cx, 217);
    EXPECT_EQ(p->cy, 55);
    EXPECT_STREQ(p->pszCaption, "バージョン情報(vellum)");
    EXPECT_STREQ(p->pszFont, "System");
    EXPECT_EQ(p->nPointSize, 12);
    ASSERT_EQ(p->nItems, 3u);

    const RES_DLGITEM kExpected[] = {
        {"STATIC", "128", -1, 11, 17, 18, 20, 0x50000003u},
        {"STATIC", "vellum Version 0.5", -1, 40, 10, 119, 8, 0x50020000u},
        {"BUTTON", "OK", 1, 176, 6, 32, 14, 0x50030001u},
    };
    for (std::size_t i = 0; i < p->nItems; ++i)
    {
        const auto& a = p->pItems[i];
        const auto& e = kExpected[i];
        EXPECT_STREQ(a.pszClass, e.pszClass) << i;
        EXPECT_STREQ(a.pszText, e.pszText) << i;
        EXPECT_EQ(a.nID, e.nID) << i;
        EXPECT_EQ(a.x, e.x) << i;
        EXPECT_EQ(a.y, e.y) << i;
        EXPECT_EQ(a.cx, e.cx) << i;
        EXPECT_EQ(a.cy, e.cy) << i;
        EXPECT_EQ(a.dwStyle, e.dwStyle) << i;
    }
    EXPECT_EQ(AfxFindDialog(128), nullptr);
}

TEST(ResVersion, Block1)
{
    const RES_VERSIONINFO* p = AfxFindVersion(VS_VERSION_INFO);
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_EQ(p->fileVersion[i], i == 0 || i == 3 ? 1 : 0);
        EXPECT_EQ(p->productVersion[i], i == 0 || i == 3 ? 1 : 0);
    }
    EXPECT_EQ(p->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(p->dwFileFlags, 0u);
    EXPECT_EQ(p->dwFileOS, 4u);
    EXPECT_EQ(p->dwFileType, 1u);
    EXPECT_EQ(p->dwFileSubtype, 0u);
    EXPECT_STREQ(p->pszBlock, "041104E4");
    EXPECT_EQ(p->wLanguage, 0x0411);
    EXPECT_EQ(p->wCodePage, 0x04E4);
    int nFound = 0;
    for (std::size_t i = 0; i < p->nStrings; ++i)
    {
        const std::string key = p->pStrings[i].pszKey;
        const std::string value = p->pStrings[i].pszValue;
        if (key == "FileVersion" || key == "ProductVersion")
        {
            EXPECT_EQ(value, "1, 0, 0, 1");
            ++nFound;
        }
        if (key == "CompanyName" || key == "LegalTrademarks")
        {
            EXPECT_EQ(value, "");
            ++nFound;
        }
    }
    EXPECT_EQ(nFound, 4);
    EXPECT_EQ(AfxFindVersion(2), nullptr);
}

QRgb Rgb(int r, int g, int b) { return qRgb(r, g, b); }

QByteArray Bytes(const RES_DATA& data)
{
    return QByteArray(reinterpret_cast<const char*>(data.pData), static_cast<qsizetype>(data.nSize));
}

TEST(ResImages, ToolbarBitmapIsFourBitSixtyFourByFifteen)
{
    const QByteArray raw = Bytes(AfxFindBitmap(IDR_MAINFRAME));
    EXPECT_EQ(AfxFindBitmap(129).pData, nullptr);
    ASSERT_GE(raw.size(), 54 + 64);
    auto u16 = [&](int at) { return int(quint8(raw[at])) | int(quint8(raw[at + 1])) << 8; };
    EXPECT_EQ(raw.left(2), QByteArray("BM"));
    EXPECT_EQ(u16(28), 4);  // bits per pixel
    EXPECT_EQ(u16(30), 0);  // no compression

    const QImage img = QImage::fromData(raw, "BMP");
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.width(), 64);
    EXPECT_EQ(img.height(), 15);
    ASSERT_EQ(img.colorCount(), 16);
    const QRgb kPalette[16] = {
        Rgb(0, 0, 0),       Rgb(128, 0, 0),     Rgb(0, 128, 0),     Rgb(128, 128, 0),
        Rgb(0, 0, 128),     Rgb(128, 0, 128),   Rgb(0, 128, 128),   Rgb(128, 128, 128),
        Rgb(192, 192, 192), Rgb(255, 0, 0),     Rgb(0, 255, 0),     Rgb(255, 255, 0),
        Rgb(0, 0, 255),     Rgb(255, 0, 255),   Rgb(0, 255, 255),   Rgb(255, 255, 255),
    };
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(img.color(i), kPalette[i]) << i;

    // Each image sits on light grey and carries its main colour.
    const QRgb kMain[4] = {Rgb(255, 255, 0), Rgb(0, 0, 0), Rgb(255, 255, 0), Rgb(0, 0, 255)};
    for (int n = 0; n < 4; ++n)
    {
        EXPECT_EQ(img.pixel(n * 16, 0), Rgb(192, 192, 192)) << n;
        bool bHasMain = false;
        for (int y = 0; y < 15; ++y)
            for (int x = n * 16; x < n * 16 + 16; ++x)
                bHasMain = bHasMain || img.pixel(x, y) == kMain[n];
        EXPECT_TRUE(bHasMain) << n;
    }
}

TEST(ResImages, IconHasTwoMaskedSixteenColourImages)
{
    QByteArray raw = Bytes(AfxFindIcon(IDR_MAINFRAME));
    EXPECT_EQ(AfxFindIcon(1).pData, nullptr);

    QBuffer buffer(&raw);
    ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
    QImageReader reader(&buffer, "ico");
    ASSERT_TRUE(reader.canRead());
    std::vector<int> sizes;
    do
    {
        const QImage img = reader.read();
        ASSERT_FALSE(img.isNull()) << reader.errorString().toStdString();
        ASSERT_EQ(img.width(), img.height());
        sizes.push_back(img.width());
        const int n = img.width();
        EXPECT_TRUE(img.hasAlphaChannel());
        EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0) << "corner is transparent at " << n;
        EXPECT_EQ(qAlpha(img.pixel(n / 2, n / 2)), 0) << "centre is transparent at " << n;
        EXPECT_EQ(img.pixel(n / 2, n / 8) & 0xFFFFFFu, 0xFF0000u) << "red at the top, " << n;
        EXPECT_EQ(img.pixel(n / 4, n * 3 / 4) & 0xFFFFFFu, 0x00FF00u) << "green lower left, " << n;
        EXPECT_EQ(img.pixel(n * 3 / 4, n * 3 / 4) & 0xFFFFFFu, 0xFFFF00u) << "yellow lower right, " << n;
    } while (reader.jumpToNextImage());
    EXPECT_EQ(sizes, (std::vector<int>{32, 16}));

    // Both directory entries declare 16 colours at 4 bits per pixel.
    ASSERT_GE(raw.size(), 6 + 32);
    for (int i = 0; i < 2; ++i)
    {
        const int at = 6 + 16 * i;
        EXPECT_EQ(quint8(raw[at + 2]), 16) << i;
        EXPECT_EQ(quint8(raw[at + 6]), 4) << i;
    }

    // The same icon as PNG, for the desktop entry.
    const QImage png(QStringLiteral(VELLUM_RES_DIR "/vellum.png"));
    EXPECT_EQ(png.size(), QSize(32, 32));
}

TEST(ResHelp, PageExplainsEveryMessage)
{
    const QString page = QString::fromUtf8(Bytes(AfxGetHelpPage()));
    for (unsigned nID = IDS_UNKNOWN_FORMAT; nID <= IDS_NOT_256_OR_16_COLOR; ++nID)
        EXPECT_TRUE(page.contains(QString::fromUtf8(AfxFindString(nID)))) << nID;
    for (const char* psz : {".bmp", ".tim", "BFNT", "vellumconv"})
        EXPECT_TRUE(page.contains(QString::fromUtf8(psz))) << psz;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    AfxRegisterResources(VellumResources());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
