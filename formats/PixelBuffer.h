#pragma once
// The owner of a record's pixel or glyph buffer. A buffer of several megabytes is placed
// on a 2 MiB boundary and offered to the kernel for transparent huge pages, so filling it
// for the first time costs a handful of page faults instead of one per 4 KiB; smaller ones
// come from new[]. The deleter remembers which, so every owner frees correctly, and a
// buffer made by std::make_unique<std::uint8_t[]> can still be handed to a record.

#include <cstddef>
#include <cstdint>
#include <memory>

struct PixelBufferFree
{
    PixelBufferFree() = default;
    // From new[], as std::make_unique<std::uint8_t[]> allocates.
    PixelBufferFree(std::default_delete<std::uint8_t[]>) noexcept {}
    void operator()(std::uint8_t* p) const noexcept;

    bool bAligned = false;  // from std::aligned_alloc, freed with std::free
};

using PixelBuffer = std::unique_ptr<std::uint8_t[], PixelBufferFree>;

// Buffers from this size on are aligned for huge pages, when the system offers them.
constexpr std::size_t PIXEL_HUGE_PAGE_SIZE = std::size_t{2} << 20;

// Null when the buffer cannot be had; nCount 0 gives a distinct non-null pointer.
PixelBuffer TryAllocPixels(std::uint64_t nCount);

// Whether large buffers go on huge pages here: the kernel's transparent huge pages are
// "always" or "madvise". Read once.
bool PixelHugePagesAvailable();

// Offers the whole huge pages inside [p, p + n) to the kernel, where large buffers go on
// huge pages here, for storage TryAllocPixels did not make (a vector reserved before it
// is filled). Below PIXEL_HUGE_PAGE_SIZE it does nothing; it is only advice.
void AdviseHugePages(void* p, std::size_t n);
