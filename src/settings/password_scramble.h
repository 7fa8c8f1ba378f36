#pragma once
// Passwords in the settings file are never stored as plain text. This is a
// scramble against casual reading, not encryption: anyone with the program can
// reverse it.

#include <string>
#include <string_view>

namespace tessellink {

// Each byte of the password, at position n counting from 1, is combined by
// exclusive or with byte (n mod 3) of the fixed key and written as two
// upper-case hexadecimal digits. An empty password gives empty text.
std::string Scramble(std::string_view password);

// Reads pairs of hexadecimal digits in either letter case, skipping every other
// character, and undoes the exclusive or. A lone digit left at the end is dropped.
std::string Unscramble(std::string_view stored);

}  // namespace tessellink
