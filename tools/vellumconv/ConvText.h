#pragma once
// How the converter shows a name or a message: one line, whatever the name holds.

#include <string>
#include <string_view>

// Control characters as C escapes ("\t", "\n", "\r", else "\xHH") and a backslash doubled, so
// a name with a tab or a line feed cannot pass for two fields or two lines, and a CR at the
// end of a name from a CRLF list shows.
std::string EscapeControls(std::string_view text);

// printf into a string, for lines whose length a name decides.
std::string ConvFormat(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));

// The last part of a path, trailing slashes aside: the NAME of the files an extraction makes
// (NAME@OFFSET.EXT) and of the container a replace takes them back to, so the two agree.
// Standard input, "-", is "stdin".
std::string ConvBaseName(const std::string& strPath);
// strName in the folder strDir, with one slash between.
std::string ConvJoinPath(const std::string& strDir, const std::string& strName);
