#pragma once
// Result codes of the readers, writers and conversions. The numbers of the
// first group are the ones the load/save driver has always turned into
// messages; the later ones cover files and records the format code refuses.
// The readers of every depth (TimImage.h, BmpImage.h, BfntImage.h) share the
// codes that mean the same and add their own from 19 on, one per refusal the
// caller words differently.

enum [[nodiscard]] FormatResult : int
{
    FMT_OK = 0,
    FMT_BMP_OFFSET = 1,       // pixel data does not follow a full colour table (bfOffBits != 1078)
    FMT_BFNT_MAGIC = 4,       // the first four bytes are not "BFNT"
    FMT_BFNT_NOT_256 = 5,     // ReadBfnt256: colour type is not 256 colours
    FMT_BFNT_TYPE = 6,        // ReadBfnt: colour type is neither 256 nor 16 colours
    FMT_BMP_TYPE = 7,         // bfType is not 'B' 'M'
    FMT_BMP_NOT_8BIT = 8,     // biBitCount is not 8
    FMT_TIM_ID = 9,           // first byte is not 0x10
    FMT_TIM_NOT_8BIT = 10,    // pixel mode is not 8 bits with a CLUT
    FMT_TIM_VERSION = 11,     // version byte is not 0
    FMT_BMP_TRUNCATED = 12,   // BMP shorter than its data, or a header that describes no buffer
    FMT_TIM_TRUNCATED = 13,   // TIM shorter than its data, or a CLUT block length below 12
    FMT_BFNT_TRUNCATED = 14,  // BFNT shorter than its data, or lastCode below firstCode
    FMT_NO_MEMORY = 15,       // a buffer could not be allocated; nothing was changed
    FMT_BAD_RECORD = 16,      // writer: no palette, or the header does not describe the buffer
    FMT_BAD_SOURCE = 17,      // conversion: source outside the bounds the target can hold
    FMT_BMP_COMPRESSED = 18,  // BMP pixel data is compressed; read raw it would be a wrong picture

    // The readers of every depth.
    FMT_TIM_MODE = 19,            // pixel mode 4 (mixed) or one the format does not define
    FMT_TIM_NO_CLUT = 20,         // no longer given (indexed TIMs without a CLUT are read); the numbers stay
    FMT_TIM_CLUT_LENGTH = 21,     // CLUT block length below the block header's 12 bytes
    FMT_TIM_CLUT_CUT = 22,        // the CLUT block, or its header, runs past the end of the file
    FMT_TIM_CLUT_EMPTY = 23,      // indexed pixels and a CLUT without a colour
    FMT_TIM_IMAGE_CUT = 24,       // the image block's header or pixels run past the end of the file
    FMT_TIM_EMPTY = 25,           // a width or height of no pixels
    FMT_TIM_TOO_LARGE = 26,       // writer: a block length does not fit its 32 bits
    FMT_BMP_HEADER_SIZE = 27,     // an info header size the reader does not know
    FMT_BMP_COMPRESSION = 28,     // compression other than none, RLE8 and RLE4
    FMT_BMP_DEPTH = 29,           // bits per pixel the header's kind does not have
    FMT_BMP_RLE_DEPTH = 30,       // RLE8 without 8 bits per pixel, or RLE4 without 4
    FMT_BMP_NEGATIVE_WIDTH = 31,
    FMT_BMP_EMPTY = 32,           // a width or height of 0
    FMT_BMP_TOO_LARGE = 33,       // a side above the caller's limit
    FMT_BMP_TABLE_CUT = 34,       // the colour table runs past the end of the file
    FMT_BMP_PIXELS_CUT = 35,      // uncompressed rows run past the end of the file
    FMT_BMP_RLE_TOO_SHORT = 36,   // more pixels than the RLE data could reach, or above the caller's limit
    FMT_BMP_RLE_CUT = 37,         // RLE codes cut by the end of the file before the picture's end
    FMT_BFNT_CODES = 38,          // lastCode below firstCode
    FMT_BFNT_EMPTY_CELLS = 39,    // a glyph width or height of 0
    FMT_BFNT_EXTENSION_CUT = 40,
    FMT_BFNT_PALETTE_CUT = 41,
    FMT_BFNT_GLYPHS_CUT = 42,
    FMT_BMP_RLE_TOO_LARGE = 43,   // RLE decoding to more pixels per byte of the file than the caller allows
    FMT_BMP_COLOURS = 44,         // biClrUsed above what the depth can index
    FMT_BMP_RLE_PAST_ROW = 45,    // an RLE run or delta that reaches past the end of its row
    FMT_BMP_BITFIELDS_DEPTH = 46, // bit fields at a depth other than 16 and 32
};
