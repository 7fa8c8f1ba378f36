#pragma once
// Texts taken from a bookmark file are untrusted: a title may hold line breaks,
// tabs or terminal escape sequences. These helpers make them safe to print.

#include <string>
#include <string_view>

namespace tessellink {

// Appends `text` as a JSON string, quotes included. Quotes, backslashes and
// control characters are escaped; UTF-8 passes through; a byte that is not
// part of valid UTF-8 becomes U+FFFD so that the document stays valid.
void AppendJsonString(std::string& out, std::string_view text);
std::string JsonString(std::string_view text);

// The text on one line: every control character (C0, DEL and C1, tabs and line
// breaks included) becomes a blank and invalid UTF-8 becomes U+FFFD.
std::string OneLine(std::string_view text);

}  // namespace tessellink
