#include "formats/PixelBuffer.h"

#include <cstdlib>
#include <fstream>
#include <limits>
#include <new>
#include <string>

#if defined(__linux__)
#include <sys/mman.h>
#endif

void PixelBufferFree::operator()(std::uint8_t* p) const noexcept
{
    if (bAligned)
        std::free(p);
    else
        delete[] p;
}

bool PixelHugePagesAvailable()
{
    static const bool s_bAvailable = [] {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        std::ifstream in("/sys/kernel/mm/transparent_hugepage/enabled");
        std::string strMode;
        std::getline(in, strMode);
        // "always [madvise] never": the bracketed word is the mode in force.
        return strMode.find("[always]") != std::string::npos || strMode.find("[madvise]") != std::string::npos;
#else
        return false;
#endif
    }();
    return s_bAvailable;
}

PixelBuffer TryAllocPixels(std::uint64_t nCount)
{
    if (nCount > std::numeric_limits<std::size_t>::max() / 2)
        return nullptr;
    const auto n = static_cast<std::size_t>(nCount);
    if (n < PIXEL_HUGE_PAGE_SIZE || !PixelHugePagesAvailable())
        return PixelBuffer(new (std::nothrow) std::uint8_t[n]);

    // aligned_alloc wants a multiple of the alignment; the pages past n are never
    // touched, so they cost address space but no memory.
    const std::size_t nRounded = (n + PIXEL_HUGE_PAGE_SIZE - 1) & ~(PIXEL_HUGE_PAGE_SIZE - 1);
    auto* p = static_cast<std::uint8_t*>(std::aligned_alloc(PIXEL_HUGE_PAGE_SIZE, nRounded));
    if (p == nullptr)
        return nullptr;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Whole huge pages inside the buffer only, so nothing past n is ever made resident; the
    // tail lives on small pages. Only advice: where the kernel cannot oblige, small pages do.
    (void)::madvise(p, n & ~(PIXEL_HUGE_PAGE_SIZE - 1), MADV_HUGEPAGE);
#endif
    PixelBufferFree free;
    free.bAligned = true;
    return PixelBuffer(p, free);
}

void AdviseHugePages(void* p, std::size_t n)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (p == nullptr || n < PIXEL_HUGE_PAGE_SIZE || !PixelHugePagesAvailable())
        return;
    const auto nStart = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t nFirst = (nStart + PIXEL_HUGE_PAGE_SIZE - 1) & ~std::uintptr_t{PIXEL_HUGE_PAGE_SIZE - 1};
    const std::uintptr_t nEnd = (nStart + n) & ~std::uintptr_t{PIXEL_HUGE_PAGE_SIZE - 1};
    if (nEnd > nFirst)
        (void)::madvise(reinterpret_cast<void*>(nFirst), nEnd - nFirst, MADV_HUGEPAGE);
#else
    (void)p;
    (void)n;
#endif
}
