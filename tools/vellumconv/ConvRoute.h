#pragma once
// Which way a file goes, and what the converter adds when it is refused. Outside the step
// form every file is in the format its name says: a .png output is a PNG export, a PNG
// input (by its first bytes) a PNG import, anything else the program's own open and save.

#include "tools/vellumconv/ConvPlan.h"

#include "formats/Explain.h"

#include <string>
#include <vector>

class CConvApp;
class CSaveBatch;

// The verb a file of a conversion goes through: Export, Import, or Convert for the
// program's open and save.
EConvVerb RouteOf(const ConvVerb& verb, const std::string& strIn, const std::string& strOut);

// The line after a refusal that says what the file is and what reads it; empty when there
// is nothing to add.
std::string RefusalHint(const FileExplanation& e);
std::string RefusalHint(const std::string& strPath);

// "reduce it to 256 colours first" after an import refused for its colours; else empty.
std::string ImportHint(const std::string& strMessage);

// One file of a batch, or of the shorthand, by its route; the messages land in rMessages,
// a refusal's hint as a line of its own after them. The outputs wait in the batch.
bool ConvertFile(CConvApp& app, const ConvVerb& verb, const std::string& strIn, const std::string& strOut,
                 std::string& strStatus, std::vector<std::string>& rMessages, CSaveBatch& batch);
