#pragma once
// The one table of the kinds PNG export and import handle, keyed by the program's data
// kinds, and what the kinds' own files (TimPng.cpp, BmpPng.cpp, BfntPng.cpp) share.
// Private to the exchange library.

#include "exchange/Exchange.h"
#include "exchange/ExchangeResult.h"
#include "exchange/ImportLike.h"
#include "exchange/MetaChunk.h"
#include "exchange/Png.h"
#include "formats/BfntImage.h"
#include "formats/BmpImage.h"
#include "formats/ByteStream.h"
#include "formats/FormatResult.h"
#include "formats/RgbPalette.h"
#include "formats/TimImage.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct ExchangeKind
{
    int nDataType;            // DATA_*
    std::uint8_t nChunkKind;  // the kind byte of the vlMD chunk, fixed by the files people have
    // A file of this kind to a PNG of its picture, with the chunk.
    ExchangeResult (*pfnExport)(const std::uint8_t* pIn, std::size_t nIn, const ExportOptions& opt,
                                std::vector<std::uint8_t>& png);
    // A decoded PNG, with the chunk of any kind or none, to a file of this kind; nothing is
    // written into out before every check has passed.
    ExchangeResult (*pfnImport)(const PngPicture& pic, const MetaChunk& meta, const ImportOptions& opt,
                                IByteStream& out);
    // This kind's part of the chunk, after the common part; false when the bytes do not
    // make one.
    void (*pfnStoreMeta)(const MetaChunk& meta, std::vector<std::uint8_t>& v);
    bool (*pfnParseMeta)(const std::uint8_t* p, std::size_t n, MetaChunk& meta);
    // The picture put into a file of this kind it may have come from (exchange/ImportLike.h).
    ExchangeResult (*pfnLike)(const std::uint8_t* pOriginal, std::size_t nOriginal, const PngPicture& pic,
                              const MetaChunk& meta, const LikeOptions& opt, std::vector<std::uint8_t>& out);
};

// Null when no entry has the value.
const ExchangeKind* FindExchangeKind(int nDataType);
const ExchangeKind* FindChunkKind(std::uint8_t nChunkKind);

// ---- Each kind's entries ---------------------------------------------------------------

ExchangeResult ExportTim(const std::uint8_t* pIn, std::size_t nIn, const ExportOptions& opt,
                         std::vector<std::uint8_t>& png);
ExchangeResult ImportTim(const PngPicture& pic, const MetaChunk& meta, const ImportOptions& opt, IByteStream& out);
void StoreTimMeta(const MetaChunk& meta, std::vector<std::uint8_t>& v);
bool ParseTimMeta(const std::uint8_t* p, std::size_t n, MetaChunk& meta);

ExchangeResult ExportBmp(const std::uint8_t* pIn, std::size_t nIn, const ExportOptions& opt,
                         std::vector<std::uint8_t>& png);
ExchangeResult ImportBmp(const PngPicture& pic, const MetaChunk& meta, const ImportOptions& opt, IByteStream& out);
void StoreBmpMeta(const MetaChunk& meta, std::vector<std::uint8_t>& v);
bool ParseBmpMeta(const std::uint8_t* p, std::size_t n, MetaChunk& meta);

ExchangeResult ExportBfnt(const std::uint8_t* pIn, std::size_t nIn, const ExportOptions& opt,
                          std::vector<std::uint8_t>& png);
ExchangeResult ImportBfnt(const PngPicture& pic, const MetaChunk& meta, const ImportOptions& opt, IByteStream& out);
void StoreBfntMeta(const MetaChunk& meta, std::vector<std::uint8_t>& v);
bool ParseBfntMeta(const std::uint8_t* p, std::size_t n, MetaChunk& meta);

// The readers' refusals, with the fields they name.
ExchangeResult TimRefusal(FormatResult nResult, const TimImage& tim);
ExchangeResult BmpRefusal(FormatResult nResult, const BmpImage& bmp, std::uint64_t nFileSize);
ExchangeResult BfntRefusal(FormatResult nResult, const BfntImage& f);

// Reads a BMP under the exchange's limits (nFileSize: the whole file's, when p holds only
// its item): the picture, or the refusal that names what is wrong.
ExchangeResult ReadBmpForExchange(const std::uint8_t* p, std::size_t n, std::uint64_t nFileSize, BmpImage& bmp);

// Each kind put into its original (LikePng.cpp).
ExchangeResult LikeTim(const std::uint8_t* pOriginal, std::size_t nOriginal, const PngPicture& pic,
                       const MetaChunk& meta, const LikeOptions& opt, std::vector<std::uint8_t>& out);
ExchangeResult LikeBmp(const std::uint8_t* pOriginal, std::size_t nOriginal, const PngPicture& pic,
                       const MetaChunk& meta, const LikeOptions& opt, std::vector<std::uint8_t>& out);
ExchangeResult LikeBfnt(const std::uint8_t* pOriginal, std::size_t nOriginal, const PngPicture& pic,
                        const MetaChunk& meta, const LikeOptions& opt, std::vector<std::uint8_t>& out);

// ---- Export ------------------------------------------------------------------------------

// A row source that converts each row into a buffer of its own, one row long.
class CConvertedRows : public IPngRowSource
{
protected:
    explicit CConvertedRows(std::size_t nRowBytes) : m_scratch(nRowBytes) {}
    std::vector<std::uint8_t> m_scratch;
};

// Encodes the picture with the chunk, after the palette and before the pixels.
ExchangeResult EncodeWithChunk(const PngEncodeImage& image, IPngRowSource& rows, const ExportOptions& opt,
                               const MetaChunk& meta, std::vector<std::uint8_t>& png);

// nCount colours of a palette from entry nFirst on, opaque.
std::vector<PngColor> OpaqueColours(const RgbPalette& palette, std::size_t nFirst, std::size_t nCount);
// The first 2^nBits colours of opt.pPalette (which is set), refused when it has fewer.
ExchangeResult BorrowedColours(const ExportOptions& opt, int nBits, std::vector<PngColor>& out);

// ---- Import ------------------------------------------------------------------------------

// The picture as palette indices, one byte each, whatever kind of PNG it came from.
struct Indexed
{
    const std::uint8_t* pIndices = nullptr;
    std::vector<std::uint8_t> own;  // when the indices had to be made
    std::vector<PngColor> palette;
};

// An index past the end of the palette names no colour; libpng lets it through.
ExchangeResult IndicesFit(const PngPicture& pic);
// Indexed PNGs keep their indices and palette when the palette fits nBits. A longer palette
// is cut to 2^nBits entries when every index used is below that, else the colours used are
// packed in order of first appearance; more colours used than nBits holds are refused.
// Other PNGs get a palette of their colours in the order they first appear, if a file of
// nBits bits per pixel holds them all: no quantising. Colours that differ only in alpha are
// one colour unless alpha counts (a TIM keeps it as its STP bit; a BMP or a sheet has none).
enum class EAlpha
{
    Counts,
    Dropped,
};
ExchangeResult ToIndexed(const PngPicture& pic, int nBits, EAlpha alpha, Indexed& out);
// The same for an indexed picture whose indices all name palette entries, within nMax
// entries: 0, or the count of colours used when there are more than nMax of them.
std::size_t FitIndexed(const PngPicture& pic, std::size_t nMax, Indexed& out);
// The palette entries an indexed PNG's pixels use; once more than nEnough are found, the
// count so far (the rest of the picture cannot change the answer the caller needs).
std::size_t UsedIndexCount(const PngPicture& pic, std::size_t nEnough = 256);
// The colours as a file's palette; alpha is dropped and the entries past them are black.
RgbPalette ToRgbPalette(const std::vector<PngColor>& colours);

// ---- The chunk ---------------------------------------------------------------------------

inline void AppendLe16(std::vector<std::uint8_t>& v, std::uint16_t n)
{
    v.push_back(static_cast<std::uint8_t>(n));
    v.push_back(static_cast<std::uint8_t>(n >> 8));
}

inline void AppendLe32(std::vector<std::uint8_t>& v, std::uint32_t n)
{
    AppendLe16(v, static_cast<std::uint16_t>(n));
    AppendLe16(v, static_cast<std::uint16_t>(n >> 16));
}
