#pragma once
// Text helpers shared by every layer. Text is UTF-8 throughout.
//
// "Ignoring letter case" compares the upper-case forms of the characters under
// Unicode's simple case mapping, so it works for all letters, not only ASCII.
// ASCII text takes a fast path that never decodes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessellink {

bool IsAscii(std::string_view text);
bool IsValidUtf8(std::string_view text);
// Byte offset of the first byte that is not part of a valid UTF-8 sequence, or npos.
std::size_t FindInvalidUtf8(std::string_view text);
// The text with every byte that is not part of valid UTF-8 replaced by U+FFFD.
std::string RepairUtf8(std::string_view bytes);

std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
std::string AsciiUpperCase(std::string_view text);
std::string AsciiLowerCase(std::string_view text);

bool SameText(std::string_view a, std::string_view b);  // letter case ignored
bool SameAsciiText(std::string_view a, std::string_view b);
// Negative, zero or positive; compares the upper-case forms by code point.
int CompareText(std::string_view a, std::string_view b);

// Substring search. An empty needle is never found.
bool Contains(std::string_view haystack, std::string_view needle, bool ignoreCase);
// Same as Contains(..., true) with the needle already in UpperCase form; lets a
// caller fold a keyword once and search many texts.
bool ContainsUpper(std::string_view haystack, std::string_view upperNeedle);

enum class SearchDirection { Forward, Backward };
// Byte position of the first occurrence at or after `start` (Forward) or of the
// last one starting at or before `start` (Backward); npos when there is none.
std::size_t FindText(std::string_view haystack, std::string_view needle, std::size_t start,
                     bool ignoreCase, SearchDirection direction = SearchDirection::Forward);

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);
std::string ReplaceFirst(std::string_view text, std::string_view from, std::string_view to);

// Blanks are the space and the control characters, as the trim of the classic
// toolkits has it.
std::string_view Trim(std::string_view text);
std::string_view TrimLeft(std::string_view text);
std::string_view TrimRight(std::string_view text);

// Lines end at CR LF, a lone CR or a lone LF; a final line break does not start
// an empty last line.
std::vector<std::string> SplitLines(std::string_view text);

// Integer text as the classic StrToInt takes it: leading blanks, an optional
// sign, decimal digits or a "$"/"0x" hexadecimal number, nothing after it, and
// within 32 bits.
std::optional<int32_t> ParseInteger(std::string_view text);

// 0 to 15 for a hexadecimal digit (either letter case), -1 for anything else.
int HexDigitValue(char c);

// Number of Unicode characters (invalid bytes count one each).
std::size_t CharacterCount(std::string_view text);

}  // namespace tessellink
