// The records' buffer owner: large buffers on huge-page boundaries where the system offers
// them, small ones from new[], each freed the way it was made (the sanitizer build reports
// a mismatched free), and buffers from std::make_unique still accepted by the records.

#include "formats/PixelBuffer.h"
#include "tests/formats/SampleFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

TEST(PixelBuffer, EverySizeIsUsableAndFreedAsItWasMade)
{
    for (const std::uint64_t n : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{4096},
                                  std::uint64_t{PIXEL_HUGE_PAGE_SIZE} - 1, std::uint64_t{PIXEL_HUGE_PAGE_SIZE},
                                  std::uint64_t{PIXEL_HUGE_PAGE_SIZE} * 3 + 77})
    {
        SCOPED_TRACE(n);
        PixelBuffer p = TryAllocPixels(n);
        ASSERT_NE(p, nullptr);
        const bool bLarge = n >= PIXEL_HUGE_PAGE_SIZE && PixelHugePagesAvailable();
        EXPECT_EQ(p.get_deleter().bAligned, bLarge);
        if (bLarge)
        {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p.get()) % PIXEL_HUGE_PAGE_SIZE, 0u);
        }
        for (std::uint64_t i = 0; i < n; i += 4093)
            p[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
        if (n != 0)
            p[static_cast<std::size_t>(n - 1)] = 1;

        // Handed on as the records hand buffers on: the way of freeing goes with it.
        PixelBuffer q = std::move(p);
        EXPECT_EQ(q.get_deleter().bAligned, bLarge);
    }
    EXPECT_EQ(TryAllocPixels(std::numeric_limits<std::uint64_t>::max()), nullptr);
}

TEST(PixelBuffer, RecordsTakeBuffersFromEitherSource)
{
    RgbPalette pal = SamplePalette();
    CTimData tim;
    tim.m_pPalette = &pal;
    CMemStream big(MakeSampleTim(1024, 1024));  // 2 MiB of pixels
    ASSERT_EQ(tim.ReadTim(big, true), FMT_OK);
    EXPECT_EQ(tim.m_pPixels.get_deleter().bAligned, PixelHugePagesAvailable());
    EXPECT_EQ(tim.m_pPixels[2048 * 5 + 7], SamplePixel(7, 5));

    // A buffer from new[] replaces it and is freed with delete[].
    tim.m_pPixels = std::make_unique<std::uint8_t[]>(16);
    tim.m_nPixelsSize = 16;
    EXPECT_FALSE(tim.m_pPixels.get_deleter().bAligned);
    CBmpData bmp;
    tim.m_imageWidth = 4;
    tim.m_imageHeight = 2;
    ASSERT_EQ(tim.TimToBmp(bmp), FMT_OK);
    ASSERT_EQ(bmp.m_nBitsSize, 16u);
}
