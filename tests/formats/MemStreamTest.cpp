#include "formats/MemStream.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(MemStream, ReadsWritesAndSeeks)
{
    CMemStream s;
    const std::uint8_t a[] = {1, 2, 3, 4, 5};
    s.Write(a, 5);
    EXPECT_EQ(s.GetLength(), 5u);
    EXPECT_EQ(s.Seek(1, STREAM_BEGIN), 1u);
    const std::uint8_t b[] = {9, 9};
    s.Write(b, 2);  // overwrite in the middle
    EXPECT_EQ(s.Data(), (std::vector<std::uint8_t>{1, 9, 9, 4, 5}));
    s.Seek(4, STREAM_BEGIN);
    s.Write(a, 3);  // overwrite one byte and append two
    EXPECT_EQ(s.Data(), (std::vector<std::uint8_t>{1, 9, 9, 4, 1, 2, 3}));

    std::uint8_t buf[10] = {};
    s.Seek(-2, STREAM_CURRENT);
    EXPECT_EQ(s.Read(buf, 10), 2u);  // short at the end
    EXPECT_EQ(buf[0], 2);
    EXPECT_EQ(s.Read(buf, 10), 0u);

    s.Seek(10, STREAM_BEGIN);  // past the end: the gap is zero-filled on write
    s.Write(b, 1);
    EXPECT_EQ(s.GetLength(), 11u);
    EXPECT_EQ(s.Data()[8], 0);
}

TEST(MemStream, SeekBeforeStartThrowsAndKeepsPosition)
{
    CMemStream s(std::vector<std::uint8_t>(4));
    s.Seek(2, STREAM_BEGIN);
    EXPECT_THROW(s.Seek(-3, STREAM_CURRENT), std::out_of_range);
    EXPECT_EQ(s.GetPosition(), 2u);
}
