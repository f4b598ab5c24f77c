#pragma once
// The converter's PNG verbs on one file, and its conversions between the three formats,
// which hand export's picture to import in memory: the whole input read, exported or imported by the
// exchange library, and the output saved through the framework's safe save (in a batch,
// left for the batch to put in place).

#include "tools/vellumconv/ConvArgs.h"

#include <cstdio>
#include <string>
#include <vector>

class CSaveBatch;

// Convert writes a file of the three formats as export then import with their defaults
// would, without making the PNG. False when the file failed; its messages land in
// rMessages, its status ("size:WxH", the picture's size, or for Convert the window's status
// text) in strStatus. With pBatch the output waits in that batch. With pNote, an import that
// took defaults for want of the PNG's chunk says which there.
bool RunExchangeFile(const ConvVerb& verb, const std::string& strIn, const std::string& strOut,
                     std::string& strStatus, std::vector<std::string>& rMessages, CSaveBatch* pBatch,
                     std::string* pNote = nullptr);

// vellumconv export|import IN OUT, or IN OUT of the three formats: the exit status, messages on pErr as "vellumconv: IN: MESSAGE";
// import --like ORIGINAL IN OUT puts IN into a copy of ORIGINAL.
int RunExchangeVerb(const ConvCommandLine& cmd, std::FILE* pOut, std::FILE* pErr);
