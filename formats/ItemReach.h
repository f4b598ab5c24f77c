#pragma once
// How many bytes of a file the readers of the item it starts with may look at: the sum of
// the sizes and counts its headers give, added up as the readers add them. A file may hold
// far more (padding, a sparse tail, whatever follows); a caller that reads only this much
// gives every reader of the item the same answer as the whole file would. Pure: it reads
// through the caller's function and allocates nothing in proportion to the file.

#include <cstddef>
#include <cstdint>
#include <functional>

// Reads up to n bytes at nOffset into p; the count read (fewer at the end of the file).
using ReachReader = std::function<std::size_t(std::uint8_t* p, std::size_t n, std::uint64_t nOffset)>;

enum class EItemKind
{
    Other,  // none of the kinds below: nothing is known of its length
    Tim,
    Bmp,
    Bfnt,
    Png,
};

struct ItemReach
{
    EItemKind kind = EItemKind::Other;
    std::uint64_t nReach = 0;  // at most the file's size; the file's size for Other
};

// The first bytes read to tell the kind; the reach of any item is at least these.
constexpr std::size_t ITEM_HEAD_SIZE = 4096;

ItemReach FindItemReach(const ReachReader& read, std::uint64_t nFileSize);
