#pragma once
// PNG export and import of the three formats: the whole work of the converter's
// `export` and `import` verbs. Export recognises its input by content; import writes
// the kind the caller chose (the converter applies its extension rule). Both leave
// their output untouched and give a short message when they refuse.

#include "exchange/Png.h"
#include "formats/ByteStream.h"
#include "formats/DataKinds.h"
#include "formats/RgbPalette.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct ExportOptions
{
    std::uint32_t nClut = 0;        // CLUT row of a 4- or 8-bit TIM
    // --palette: the colours an indexed picture is shown in instead of its own (a TIM without
    // a CLUT has none); the indices stay the file's. It needs at least 2^bits colours and
    // gives its first 2^bits. Truecolour pictures ignore it. Null: the file's own colours.
    std::shared_ptr<const std::vector<PngColor>> pPalette;
    std::uint32_t nColumns = 16;    // cells across a BFNT grid, 1 to 65536
    int nZlibLevel = PNG_LEVEL_DEFAULT;
    int nFilters = PNG_FILTERS_DEFAULT;
    // The colours the window shows a sheet without a palette block in: the surface's
    // 256 colours. Null: SystemPalette(), the colours the window starts with.
    const RgbPalette* pDefaultPalette = nullptr;
    // The size of the whole file when the bytes given are only those its item's readers look
    // at (formats/ItemReach.h); 0: the bytes given are the file. Bounds that follow the file
    // measure this.
    std::uint64_t nFileSize = 0;
    // Set by ExportToPicture: the picture goes there as DecodePng would read it back from
    // the PNG, and no PNG is made.
    PngPicture* pPicture = nullptr;
};

struct ImportOptions
{
    int kind = DATA_BFNT;           // DATA_BMP, DATA_TIM or DATA_BFNT
    int nBpp = 0;                   // TIM: 4, 8, 16 or 24; 0 = from the chunk, else 8 indexed, 16 otherwise
    std::uint32_t nCellWidth = 0;   // BFNT: 0 = from the chunk, else 16
    std::uint32_t nCellHeight = 0;
    bool bCodes = false;            // BFNT: nFirstCode..nLastCode instead of the chunk's or every cell
    std::uint32_t nFirstCode = 0;
    std::uint32_t nLastCode = 0;
};

// pNote, when given, gets a note for the user when the export succeeds but the picture is not
// in its own colours because it has none (a TIM without a CLUT, in greys), else is emptied.
[[nodiscard]] bool ExportToPng(const std::uint8_t* pIn, std::size_t nIn, const ExportOptions& opt,
                               std::vector<std::uint8_t>& png, std::string& strError, std::string* pNote = nullptr);

[[nodiscard]] bool ImportFromPng(const std::uint8_t* pPng, std::size_t nPng, const ImportOptions& opt,
                                 std::vector<std::uint8_t>& out, std::string& strError);
// The same, writing into out once the PNG and the options have been checked. Each kind lays
// the picture out once in its file's pixel layout and the writer streams that into out, so
// the file is never gathered whole in memory; a write failure throws as out's writes do.
// With pNote, a PNG without a chunk of the target's kind gets a note there of the defaults
// its file took ("no vellum metadata; CLUT and image at 0,0, one CLUT row (...)").
[[nodiscard]] bool ImportFromPng(const std::uint8_t* pPng, std::size_t nPng, const ImportOptions& opt,
                                 IByteStream& out, std::string& strError, std::string* pNote = nullptr);

// ExportToPng then ImportFromPng without the PNG between them, for a conversion from one
// format to another: ExportToPicture gives the picture DecodePng would read from the PNG
// ExportToPng makes (pNote as there), ImportFromPicture writes what ImportFromPng writes of
// it. The same files and messages, without encoding and decoding every row.
[[nodiscard]] bool ExportToPicture(const std::uint8_t* pIn, std::size_t nIn, const ExportOptions& opt,
                                   PngPicture& pic, std::string& strError, std::string* pNote = nullptr);
[[nodiscard]] bool ImportFromPicture(const PngPicture& pic, const ImportOptions& opt, IByteStream& out,
                                     std::string& strError);
