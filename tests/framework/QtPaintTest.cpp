// The paint path on Qt's offscreen platform: a view's pixels reach the screen in their colours,
// in either row order, converted once, erased only when asked, as Qt itself converts them.
#include "framework/qt/AfxQt.h"
#include "tests/framework/AppFixture.h"

#include <QImage>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace
{

struct PaintFixture : AppTest
{
    void SetUpImage(int nOrientation)
    {
        for (int i = 0; i < 256; ++i)
            m_colors[i] = RGBQUAD{0, 0, 0, 0};
        m_colors[1] = RGBQUAD{0, 0, 255, 0};    // red
        m_colors[2] = RGBQUAD{0, 255, 0, 0};    // green
        m_colors[3] = RGBQUAD{255, 0, 0, 0};    // blue
        m_colors[4] = RGBQUAD{10, 20, 30, 0};   // r=30 g=20 b=10
        // Memory rows: {1,2,3} then {4,4,4}.
        const std::uint8_t bits[6] = {1, 2, 3, 4, 4, 4};
        std::copy(bits, bits + 6, m_bits);
        View()->m_dib = DibView{m_bits, 3, 2, nOrientation, m_colors, 1};
    }
    QImage Paint() { return AfxGetWidget(View())->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    std::uint8_t m_bits[6];
    RGBQUAD m_colors[256];
};

TEST_F(PaintFixture, PixelsAppearInTheirColoursForBothOrientations)
{
    Start();
    struct Case
    {
        int nOrientation;
        int nTopRowFirstPixel;  // index shown at the top-left
    };
    for (const Case& c : {Case{1, 4}, Case{0, 4}, Case{-1, 1}})
    {
        SetUpImage(c.nOrientation);
        const QImage img = Paint();
        const QRgb top = img.pixel(0, 0);
        const QRgb bottom = img.pixel(2, 1);
        if (c.nTopRowFirstPixel == 4)
        {
            EXPECT_EQ(top, qRgb(30, 20, 10));
            EXPECT_EQ(bottom, qRgb(0, 0, 255));
            EXPECT_EQ(img.pixel(0, 1), qRgb(255, 0, 0));
        }
        else
        {
            EXPECT_EQ(top, qRgb(255, 0, 0));
            EXPECT_EQ(img.pixel(1, 0), qRgb(0, 255, 0));
            EXPECT_EQ(bottom, qRgb(30, 20, 10));
        }
    }
}

TEST_F(PaintFixture, UnchangedSourceIsNotConvertedAgain)
{
    Start();
    SetUpImage(-1);
    const std::uint64_t n0 = AfxPaintCacheConversions(View());
    Paint();
    EXPECT_EQ(AfxPaintCacheConversions(View()), n0 + 1);
    Paint();
    Paint();
    EXPECT_EQ(AfxPaintCacheConversions(View()), n0 + 1);

    m_colors[1] = RGBQUAD{0, 0, 128, 0};
    View()->m_dib.nGeneration = 2;  // the surface says it changed
    const QImage img = Paint();
    EXPECT_EQ(AfxPaintCacheConversions(View()), n0 + 2);
    EXPECT_EQ(img.pixel(0, 0), qRgb(128, 0, 0));
    Paint();
    EXPECT_EQ(AfxPaintCacheConversions(View()), n0 + 2);
}

TEST_F(PaintFixture, EraseRunsOnlyWhenAsked)
{
    Start();
    SetUpImage(-1);
    Paint();
    const int nErase = View()->m_nErase;
    const int nDraw = View()->m_nDraw;
    View()->Invalidate(FALSE);
    Paint();
    EXPECT_EQ(View()->m_nErase, nErase);
    View()->Invalidate(TRUE);
    Paint();
    EXPECT_EQ(View()->m_nErase, nErase + 1);
    EXPECT_EQ(View()->m_nDraw, nDraw + 2);
}

TEST(PaintExpansion, MatchesQtsOwnConversion)
{
    const int w = 37, h = 5;
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(w * h));
    for (std::size_t i = 0; i < bits.size(); ++i)
        bits[i] = static_cast<std::uint8_t>(i * 7);
    RGBQUAD colors[256];
    QList<QRgb> table;
    for (int i = 0; i < 256; ++i)
    {
        colors[i] = RGBQUAD{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                            static_cast<std::uint8_t>(i * 3), 0};
        table << qRgb(i * 3 & 0xFF, 255 - i, i);
    }
    QImage indexed(bits.data(), w, h, w, QImage::Format_Indexed8);
    indexed.setColorTable(table);
    QImage mine;
    AfxExpandDibToImage(DibView{bits.data(), w, h, -1, colors, 0}, mine);
    EXPECT_EQ(mine, indexed.convertToFormat(QImage::Format_RGB32));
}

}  // namespace
