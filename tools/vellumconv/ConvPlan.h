#pragma once
// What a batch will do, decided before anything is written: every input with its output.

#include "tools/vellumconv/ConvArgs.h"

#include "formats/Explain.h"

#include <cstdint>

#include <string>
#include <vector>

struct ConvBatchJob
{
    std::string strIn;
    std::string strOut;
};

// The inputs (the command line's, then --files-from's) with their outputs, each name once;
// a name given again adds a line to pNotes. False, with a usage error in strError, for an
// unreadable list, a list with NUL bytes read by lines, two inputs that would give the same
// output, or an input that is also an output, its own or another's: nothing has been
// written then. Names in the messages are escaped. Colliding inputs are named pair by pair,
// one line each (at most CONV_MAX_COLLISIONS, then a count), and pHint gets the way out.
// With --parents, an input outside the base folder is a usage error.
bool PlanConvBatch(const ConvBatchOptions& options, std::vector<ConvBatchJob>& jobs, std::string& strError,
                   std::vector<std::string>* pNotes = nullptr, std::string* pHint = nullptr);

// The most colliding pairs a refusal names one by one.
constexpr std::size_t CONV_MAX_COLLISIONS = 20;

// The first bytes of a file, up to EXPLAIN_HEADER_SIZE; false when it cannot be read.
bool ReadFileHead(const std::string& strPath, std::vector<std::uint8_t>& head);

// "option '--clut' applies to 4- and 8-bit TIMs, not to an 8-bit BMP" when an export
// option given does not apply to the file; empty when every one does. A single export
// refuses such a line; a batch takes each option for the files it applies to, and refuses
// it only when it applies to none.
std::string OptionMisfit(const ConvVerb& verb, const FileExplanation& e);

// Whether two paths name one file: the same path once made absolute, or, for files that
// exist, the same file through a link.
bool SameFile(const std::string& strA, const std::string& strB);

// The output of one input: its name without its last extension, plus strExt, in strOutDir
// or (when empty) beside the input.
std::string ConvBatchOutput(const std::string& strIn, const std::string& strExt, const std::string& strOutDir);

// --parents: the output of strIn with its folders relative to strBase (absolute and
// normal, as AfxFullPath gives it) kept under strOutDir. False when strIn is not under
// strBase; standard input is taken as in strBase.
bool ConvParentsOutput(const std::string& strIn, const std::string& strExt, const std::string& strOutDir,
                       const std::string& strBase, std::string& strOut);

