// DICOM text in the character sets of Specific Character Set (0008,0005),
// ISO 2022 code extensions included, turned into UTF-8 with the C library's
// iconv: for the sets the DICOM toolkit cannot convert on this system.
#pragma once

#include <optional>
#include <string>

// `value` in UTF-8, read as `characterSet` (the attribute's value, its terms
// separated by backslashes; a leading empty term is the default repertoire).
// Escape sequences switch sets as ISO 2022 says, and every delimiter in
// `delimiters` (a person name's "^" and "=", the value separator "\") and
// every control character returns to the first term's sets, as the standard
// has encoders do. Bytes that the sets do not explain are left for the caller
// to repair. Nothing when a term is not one the standard defines.
std::optional<std::string> decodeDicomText(const std::string &characterSet, const std::string &value,
                                           const char *delimiters);
