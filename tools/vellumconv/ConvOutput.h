#pragma once
// What the converter writes besides its files: lines on standard output and error, each
// write checked, and the names an output may not take.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// Writes to a stream; false when the write failed. stdio keeps a stream's error until the
// end but not its cause: for standard output and error these keep that too, for the
// message the run ends with.
bool ConvPut(std::FILE* pStream, std::string_view text);
bool ConvPrint(std::FILE* pStream, const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));
bool ConvFlush(std::FILE* pStream);
// Standard output or error (pStream) was closed when the run began and now leads to
// /dev/null: every write to it fails, with EBADF.
void ConvMarkClosed(std::FILE* pStream);

// Writes a whole output (export's PNG, palette export's file, made in memory first) to
// standard output, past stdio, after what stdio holds. A closed reader (EPIPE) or a full
// disk is a failure with its cause in strCause, never a signal that ends the run.
bool ConvWriteStandardOutput(const std::uint8_t* pData, std::size_t nSize, std::string& strCause);

// Closes standard output and flushes standard error, once the run's files are in place.
// When a write to either failed, says so on standard error where it still can, and gives
// 1 for a status of 0; any other status stays.
int ConvEndOutput(int nStatus);

// Why no output may be named strPath: its name is one the save gives its temporaries or
// journals, which a later save into the folder removes or writes back. Empty when it may.
std::string ConvReservedNameReason(const std::string& strPath);
