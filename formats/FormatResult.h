#pragma once
// Result codes of the readers, writers and conversions. The numbers of the
// first group are the ones the load/save driver has always turned into
// messages; the later ones cover files and records the format code refuses.

enum FormatResult : int
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
};
