#pragma once
// Which way a file goes, and what the converter adds when it is refused. Outside the step
// form every file is in the format its name says: a .png output is a PNG export, a PNG
// input (by its first bytes) a PNG import, anything else an export then an import in
// memory, so the file keeps its own colours.

#include "tools/vellumconv/ConvPlan.h"

#include "formats/Explain.h"

#include <string>
#include <vector>

class CSaveBatch;

// The verb a file of a conversion goes through: Export, Import, or Convert for export then
// import.
EConvVerb RouteOf(const ConvVerb& verb, const std::string& strIn, const std::string& strOut);

// The line after a refusal that says what the file is and what reads it; empty when there
// is nothing to add.
std::string RefusalHint(const FileExplanation& e);

// The line after export's refusal of pIn, for what export cannot name itself: a PNG (pointed
// to import only when import's decoder takes it), or bytes of no format we read; empty for
// the formats export reads, whose refusal says itself what is wrong.
std::string ExportRefusalHint(const std::uint8_t* pIn, std::size_t nIn);

// Export's refusal of in, then that hint when there is one.
void TellExportRefusal(const std::vector<std::uint8_t>& in, std::string strError, std::vector<std::string>& rMessages);

// "reduce it to 256 colours first" after an import refused for its colours; else empty.
std::string ImportHint(const std::string& strMessage);

// One file of a batch by its route; the messages land in rMessages, a refusal's hint as a
// line of its own after them. The outputs wait in the batch.
bool ConvertFile(const ConvVerb& verb, const std::string& strIn, const std::string& strOut, std::string& strStatus,
                 std::vector<std::string>& rMessages, CSaveBatch& batch);

// The picture format a name's extension calls for that no form of vellumconv writes ("JPEG"
// for ".jpg", any case), else empty. Saved under such a name, a file would be a sheet.
std::string UnwrittenPictureFormat(const std::string& strName);
// What follows a refusal of such a name.
constexpr const char* UNWRITTEN_PICTURE_HINT = "write .png, then convert it";

// True when a save writes a BFNT sheet under strName although its extension is not .fnt
// or .bfnt, which the converter then tells in UNNAMED_SHEET_NOTE.
bool IsUnnamedSheet(const std::string& strName);
constexpr const char* UNNAMED_SHEET_NOTE = "written as a BFNT sheet (its extension is not .fnt or .bfnt)";
