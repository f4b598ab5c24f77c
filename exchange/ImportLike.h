#pragma once
// An exported picture, perhaps edited, put back into the file it came from: the original's
// bytes with only the pixels and one palette's colours changed, everything the PNG does not
// carry (headers, positions, other CLUT rows, a bitmap's layout, a sheet's cells, codes and
// extension block) taken from the original. An untouched export gives the original back byte
// for byte, with or without its vlMD chunk. A picture of another size or depth, or with more
// colours than the palette holds, is refused with a message that names both files.

#include "exchange/ExchangeResult.h"
#include "exchange/MetaChunk.h"
#include "exchange/Png.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct LikeOptions
{
    // The CLUT row of a 4- or 8-bit TIM that takes the PNG's palette; without it the row the
    // chunk says the PNG shows, else row 0.
    bool bClut = false;
    std::uint32_t nClut = 0;
    // The names the messages give the two sides.
    std::string strOriginalName;
    std::string strPngName;
    // The size of the whole original when the bytes given are only its item's reach
    // (formats/ItemReach.h); 0: the bytes given are the file.
    std::uint64_t nFileSize = 0;
};

// The original (a TIM, BMP or BFNT file, told by its content) with the decoded picture put
// into it; meta is the PNG's chunk (DATA_NONE when it has none). out is set only on success
// and is then exactly nOriginal bytes long.
ExchangeResult MergeIntoOriginal(const std::uint8_t* pOriginal, std::size_t nOriginal, const PngPicture& pic,
                                 const MetaChunk& meta, const LikeOptions& opt, std::vector<std::uint8_t>& out);

// The same from the PNG's bytes, reporting in words.
[[nodiscard]] bool ImportLike(const std::uint8_t* pOriginal, std::size_t nOriginal, const std::uint8_t* pPng,
                              std::size_t nPng, const LikeOptions& opt, std::vector<std::uint8_t>& out,
                              std::string& strError);
