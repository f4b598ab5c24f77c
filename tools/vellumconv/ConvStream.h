#pragma once
// Inputs that are streams: "-" (standard input) and FIFOs (a named pipe, or <(command) as
// /dev/fd/N). A stream has no size and cannot be read twice, and every reader of the converter
// reads at offsets (an item's reach, the scan's windows and mapping). So each stream is copied
// once, in pieces of 1 MiB, into an unlinked temporary file, and read from there as any
// regular file is: the memory a stream costs is the memory its file would, and its copy is
// gone when the run ends, however it ends.

#include <string>

struct ConvCommandLine;


// Whether strName is read as a stream: "-", or an existing FIFO.
bool IsConvStream(const std::string& strName);

// The path to open for the input strName: strName itself unless it is a stream, whose copy
// is made on the first call and read ever after. False, with the cause in strCause
// ("standard input is empty", "a FIFO with nothing written to it", an errno text), when the
// stream cannot be read or copied.
bool ConvReadPath(const std::string& strName, std::string& strPath, std::string& strCause);

// The usage error of a command line that names "-" where it cannot be: as an output other
// than export's PNG or palette export's file, as an input twice, or as an input beside
// --files-from -. Empty when every "-" is where it works.
std::string ConvDashError(const ConvCommandLine& cmd);
