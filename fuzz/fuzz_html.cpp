// Bookmark HTML comes from any browser or tool, and from any web page saved
// under a bookmark file's name: tokenizing and importing it must never crash,
// the document it gives must save and load again, and what the export writes
// of it must import to the same number of folders and bookmarks.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include <unistd.h>

#include "common/atomic_file.h"
#include "common/text.h"
#include "fuzz_check.h"
#include "fuzz_reload.h"
#include "fuzz_temp_folder.h"
#include "interchange/bookmark_html.h"
#include "interchange/html_tokenizer.h"
#include "store/xbel_builder.h"
#include "store/xbel_document.h"

namespace {

using namespace tessellink;

void CheckTokens(std::string_view data) {
  // Tags and text runs are contiguous from the start: together they are a prefix of the input.
  std::string joined;
  TjsFastHTMLParser parser{std::string(data)};
  parser.OnText = [&](std::string_view run) {
    FUZZ_CHECK(!run.empty() && run.find('<') == std::string_view::npos, "a text run holds no tag");
    joined += run;
  };
  parser.OnTag = [&](std::string_view tag) {
    FUZZ_CHECK(tag.size() >= 2 && tag.front() == '<' && tag.back() == '>', "a tag runs from < to >");
    joined += tag;
    const std::string_view name = TagNameOf(tag);
    FUZZ_CHECK(name.size() <= tag.size(), "the name lies inside the tag");
    for (std::string_view attribute : {"HREF", "ADD_DATE", "SHORTCUTURL"}) {
      const std::string_view chunk = AttributeChunk(tag, attribute);
      FUZZ_CHECK(chunk.empty() || (chunk.data() >= tag.data() && chunk.data() + chunk.size() <= tag.data() + tag.size()),
                 "a chunk lies inside the tag");
      (void)AttributeValue(chunk);
    }
    (void)AttributeValueByName(tag, "TAGS");
  };
  parser.Parse();
  FUZZ_CHECK(data.substr(0, joined.size()) == joined, "the tokens are the input in order");
}

void CheckTextHelpers(std::string_view data) {
  const std::string decoded = DecodeCharacterReferences(data);
  if (IsValidUtf8(data)) FUZZ_CHECK(IsValidUtf8(decoded), "decoding keeps text valid UTF-8");
  FUZZ_CHECK(decoded.find('\0') == std::string::npos || data.find('\0') != std::string_view::npos,
             "decoding never makes a NUL");
  FUZZ_CHECK(DecodeCharacterReferences(EscapeHtmlAttribute(data)) == data, "escaped values decode back");
  const std::string plain = HtmlTextToPlain(data);
  FUZZ_CHECK(plain.find_first_of("\r\n") == std::string::npos, "plain text has no line breaks");
  (void)KeywordsToTags(data);
  const std::string escaped = EscapeHtmlText(data);
  FUZZ_CHECK(escaped.find_first_of("<>\"'=") == std::string::npos, "escaped text has no markup characters");
}

int CountBookmarks(TXbelBuilder& builder) {
  std::vector<TXMLBookmarkType> all;
  builder.CollectBookmarks(builder.Root(), all, CollectMode::All);
  return static_cast<int>(all.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, std::size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);
  CheckTokens(data);
  CheckTextHelpers(data);

  const std::filesystem::path in = fuzz::Folder() / "in.html";
  WriteFileAtomically(in, data);
  TXbelBuilder builder;
  ImportBookmarkHtml(builder, in);
  FUZZ_CHECK(CountBookmarks(builder) <= CountAnchors(in), "every bookmark comes from an anchor");

  fuzz::CheckSavesAndLoads(builder);

  // The export starts from the data folder's header file.
  static const bool headerWritten = [] {
    WriteFileAtomically(fuzz::Folder() / "firefoxheader.txt", "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n");
    return true;
  }();
  (void)headerWritten;
  const std::filesystem::path out = fuzz::Folder() / "out.html";
  ExportBookmarkHtml(builder, out, fuzz::Folder());
  TXbelBuilder again;
  ImportBookmarkHtml(again, out);
  FUZZ_CHECK(CountBookmarks(again) == CountBookmarks(builder), "the export keeps every bookmark");
  FUZZ_CHECK(TXbelBuilder::CountItems(again.Root()) == TXbelBuilder::CountItems(builder.Root()),
             "the export keeps every folder");
  FUZZ_CHECK(CountAnchors(out) == CountBookmarks(builder), "one anchor per bookmark");
  return 0;
}
