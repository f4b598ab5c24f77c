#pragma once
// Whole-file reads and atomic writes for the converter's verbs: the output appears
// complete or not at all, never half written.

#include <cstdint>
#include <string>
#include <vector>

[[nodiscard]] bool ReadWholeFile(const std::string& strPath, std::vector<std::uint8_t>& data, std::string& strError);

// Writes a temporary file beside strPath, flushes it to disk and renames it over
// strPath; on any failure the temporary is removed and strPath is untouched.
[[nodiscard]] bool WriteFileAtomically(const std::string& strPath, const std::vector<std::uint8_t>& data,
                                       std::string& strError);
