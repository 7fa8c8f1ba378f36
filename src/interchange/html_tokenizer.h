#pragma once
// The small HTML tokenizer and tag helpers the bookmark HTML and Powermarks
// importers share. Bookmark files are loose HTML written by many programs, so
// nothing here validates: a tag is whatever lies between "<" and the next ">"
// outside quotes, and attributes are found by name.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace tessellink {

class TjsFastHTMLParser {
 public:
  using TagHandler = std::function<void(std::string_view tag)>;
  using TextHandler = std::function<void(std::string_view text)>;

  explicit TjsFastHTMLParser(std::string text) : text_(std::move(text)) {}

  // Both optional. They receive views into the parser's text.
  TagHandler OnTag;
  TextHandler OnText;

  // One pass in document order: a tag is "<" up to the next ">" outside double
  // or single quotes; a text run is the non-empty stretch before a tag. Text
  // after the last tag and an unfinished tag at the end are never reported.
  void Parse() const;

 private:
  std::string text_;
};

// The name after leading blanks and "<", up to NUL, space or ">" ("/DL" for "</DL>").
std::string_view TagNameOf(std::string_view tag);

// The attribute as written, from the first place its name occurs (ASCII letter
// case ignored, anywhere in the tag) to the end of its value; empty when the
// name does not occur. A quoted value runs to its closing quote, past any ">".
std::string_view AttributeChunk(std::string_view tag, std::string_view name);
// The value of a chunk: after the first "=", inside quotes or up to a space.
std::string_view AttributeValue(std::string_view chunk);

// An attribute found only where an attribute name can stand (after a blank,
// outside quoted values), for names short enough to turn up inside other
// values. The value is raw, as AttributeValue gives it; empty when absent.
std::string_view AttributeValueByName(std::string_view tag, std::string_view name);

// Line breaks dropped, markup between "<" and ">" dropped, runs of blanks
// collapsed onto their last one, and the six references &#39; &quot; &apos;
// &gt; &lt; &amp; decoded (nothing else).
std::string HtmlTextToPlain(std::string_view text);
// HtmlTextToPlain's blank and markup handling without any reference decoding.
std::string HtmlTextStripped(std::string_view text);

// & < > " ' as references and "=" as "%3D".
std::string EscapeHtmlText(std::string_view text);
// & " < > and line breaks as references, for a value inside double quotes.
std::string EscapeHtmlAttribute(std::string_view text);

// Keyword list to tags text: one entry per line (CR LF), entries of one
// character and the words "and" and "or" left as empty lines.
std::string KeywordsToTags(std::string_view text);

// Named references (the HTML 4 Latin-1 set and the common punctuation ones)
// and decimal or hexadecimal numeric references, each ended by ";". A
// reference that names no character, names NUL, a surrogate, a control
// character other than tab, CR and LF, or lies past U+10FFFF stays as written.
std::string DecodeCharacterReferences(std::string_view text);

// The file's bytes with every line (CR, LF or CR LF) ended by CR LF. Throws
// FileReadError when the file cannot be read.
std::string ReadHtmlText(const std::filesystem::path& file);

// Longest text an import puts into one field. Far above any real title or
// address, and low enough that the saved bookmark file stays loadable even
// when every character needs an entity.
inline constexpr std::size_t kMaxImportedTextBytes = 128 * 1024;

// Text as it may enter a bookmark document: invalid UTF-8 repaired, NUL bytes
// removed. Throws AppError naming `what` when it is longer than
// kMaxImportedTextBytes.
std::string ImportedText(std::string_view text, const char* what);

}  // namespace tessellink
