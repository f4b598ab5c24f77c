#pragma once
// The three routines that write surface pixels, plus the bounded and rectangular
// forms the view uses for records whose headers it cannot fully trust.
// Coordinates are shown pixels from the top-left corner; every routine clips to
// the surface once per call and maps shown rows to memory rows by orientation.

#include <cstddef>
#include <cstdint>

struct SurfaceBits
{
    std::int32_t height = 0;        // rows, never negative
    std::int32_t width = 0;         // columns, and the byte distance between rows
    std::int32_t orientation = 1;   // >= 0: memory row 0 is the bottom line; < 0: the top line
    std::uint8_t* bits = nullptr;   // memory row 0, column 0
};

// Sets every pixel with x0 <= x <= x1 and y0 <= y <= y1 to colour.
void FillRect(const SurfaceBits& target, std::int32_t x0, std::int32_t y0, std::int32_t x1,
              std::int32_t y1, std::uint8_t colour);

// Copies square cell (index mod 65536) of n x n bytes, already in the surface's memory
// row order, with its top-left corner at (x, y). The caller vouches for the cell array.
void DrawCell(const SurfaceBits& target, const std::uint8_t* cells, std::int32_t x, std::int32_t y,
              std::int32_t n, std::int32_t index);

// As above, but draws nothing when the cell does not lie wholly inside the nCellsSize
// bytes at cells.
void DrawCell(const SurfaceBits& target, const std::uint8_t* cells, std::size_t nCellsSize,
              std::int32_t x, std::int32_t y, std::int32_t n, std::int32_t index);

// A cell of cellWidth x cellHeight bytes (cell i at i x cellWidth x cellHeight), clipped
// like DrawCell; draws nothing when the cell does not lie wholly inside the buffer.
void DrawCellRect(const SurfaceBits& target, const std::uint8_t* cells, std::size_t nCellsSize,
                  std::int32_t x, std::int32_t y, std::int32_t cellWidth, std::int32_t cellHeight,
                  std::int32_t index);

// Copies count pixels of shown row y from column x onwards, taking source byte
// floor(k x step / 65536) for pixel k (step in 16.16 fixed point). The caller vouches
// that src holds every byte read.
void DrawRow(const SurfaceBits& target, std::int32_t x, std::int32_t y, std::int32_t count,
             std::uint32_t step, const std::uint8_t* src);

// As above, but stops at the last pixel whose source byte lies inside the nSrcSize bytes
// at src; the pixels it does draw are the ones the unbounded form draws.
void DrawRow(const SurfaceBits& target, std::int32_t x, std::int32_t y, std::int32_t count,
             std::uint32_t step, const std::uint8_t* src, std::size_t nSrcSize);
