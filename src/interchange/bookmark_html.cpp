#include "interchange/bookmark_html.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "common/atomic_file.h"
#include "common/comma_text.h"
#include "common/errors.h"
#include "common/text.h"
#include "interchange/folder_tags.h"
#include "interchange/html_tokenizer.h"
#include "interchange/interchange_dates.h"
#include "interchange/interchange_log.h"

namespace tessellink {
namespace {

// StrToInt rules first; a plain decimal beyond 32 bits is still a moment
// (files written after 2038 carry such values).
int64_t SecondsOf(std::string_view value) {
  if (const auto small = ParseInteger(value)) return *small;
  std::string_view digits = value;
  while (!digits.empty() && digits.front() == ' ') digits.remove_prefix(1);
  const bool negative = !digits.empty() && digits.front() == '-';
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) digits.remove_prefix(1);
  int64_t seconds = 0;
  bool ok = !digits.empty() && digits.size() <= 18;
  for (std::size_t i = 0; ok && i < digits.size(); ++i) {
    ok = digits[i] >= '0' && digits[i] <= '9';
    seconds = seconds * 10 + (digits[i] - '0');
  }
  if (!ok) throw AppError("'" + RepairUtf8(value) + "' is not a valid integer value");
  return negative ? -seconds : seconds;
}

// Element text as the importer takes it: markup and line breaks dropped, blanks
// collapsed, and every character reference decoded in one pass (so "&amp;lt;"
// stays "&lt;" and a "%3D" stays as it is).
std::string PlainText(std::string_view run, const char* what) {
  const std::string repaired = IsValidUtf8(run) ? std::string(run) : RepairUtf8(run);
  return ImportedText(DecodeCharacterReferences(HtmlTextStripped(repaired)), what);
}

// A description keeps its line breaks (as LF, the form a saved document reads
// back); each line is plain text.
std::string DescriptionText(std::string_view run) {
  const std::string repaired = IsValidUtf8(run) ? std::string(run) : RepairUtf8(run);
  std::string desc;
  for (const std::string& line : SplitLines(repaired)) {
    if (!desc.empty()) desc.push_back('\n');
    desc += DecodeCharacterReferences(HtmlTextStripped(line));
  }
  return ImportedText(Trim(desc), "description");
}

bool EndsEntry(std::string_view tagName) {
  for (std::string_view name : {"DD", "DT", "DL", "/DL", "H3", "HR"})
    if (SameText(tagName, name)) return true;
  return false;
}

std::string AttributeText(std::string_view raw, const char* what) {
  return ImportedText(DecodeCharacterReferences(raw), what);
}

// Tags from a TAGS attribute join the tags value in the form it already has
// (one per line after keywords, blank-separated otherwise), skipping any the
// bookmark already carries. Tags are single words in this program, so a tag
// with blanks becomes several.
void MergeTagsAttribute(TXMLBookmarkType bookmark, std::string_view attribute) {
  if (Trim(attribute).empty()) return;
  std::string tags(TXbelBuilder::GetMetadata(bookmark, TagsOwnerUri));
  const bool asLines = tags.ends_with("\r\n");
  std::unordered_set<std::string> known;  // upper-case forms: letter case is ignored
  ForEachCommaItem(tags, [&](std::string_view item) {
    if (!item.empty()) known.insert(UpperCase(item));
  });
  bool changed = false;
  std::size_t pos = 0;
  while (pos < attribute.size()) {
    while (pos < attribute.size() && (attribute[pos] == ',' || static_cast<unsigned char>(attribute[pos]) <= ' '))
      ++pos;
    const std::size_t start = pos;
    while (pos < attribute.size() && attribute[pos] != ',' && static_cast<unsigned char>(attribute[pos]) > ' ')
      ++pos;
    std::string tag(attribute.substr(start, pos - start));
    std::erase(tag, '"');  // a leading quote would swallow the following tags
    if (tag.empty()) continue;
    if (!known.insert(UpperCase(tag)).second) continue;
    if (asLines)
      tags.append(tag).append("\r\n");
    else
      tags.append(" ").append(tag);
    changed = true;
  }
  if (changed) TXbelBuilder::SetMetadata(bookmark, TagsOwnerUri, tags);
}

class THtmlImport {
 public:
  explicit THtmlImport(TXbelBuilder& builder) : builder_(builder) { stack_.push_back(builder.Root()); }

  void Tag(std::string_view tag) {
    try {
      const std::string_view name = TagNameOf(tag);
      // A description is the text right after a DD that follows the anchor
      // within its entry; inline markup in the title may come between.
      descExpected_ = descAllowed_ && SameText(name, "DD");
      if (EndsEntry(name)) descAllowed_ = false;

      if (SameText(name, "H3")) OpenFolder();
      if (SameText(tag, "</DL>")) {
        if (stack_.empty()) throw AppError("no open folder to close");
        stack_.pop_back();
      }
      if (SameText(name, "A")) ReadAnchor(tag);
    } catch (const AppError& e) {
      LogFormatted(builder_.RunLog, "import geth error:%s %s", e.what(), RepairUtf8(tag).c_str());
    }
  }

  void Text(std::string_view run) {
    try {
      if (folderTitleExpected_) {
        folderTitleExpected_ = false;
        Top().SetTitle(PlainText(run, "folder title"));
        folderTagsOf_ = pugi::xml_node();
      }
      if (bookmarkTitleExpected_) {
        bookmarkTitleExpected_ = false;
        if (builder_.Progress) builder_.Progress->Advance(1);
        std::string title = PlainText(run, "title");
        if (title.empty()) title = ImportedText(run, "title");
        current_.SetTitle(title);
      }
      if (descExpected_) {
        descExpected_ = false;
        const std::string desc = DescriptionText(run);
        if (!desc.empty()) current_.SetDesc(desc);
      }
    } catch (const AppError& e) {
      LogFormatted(builder_.RunLog, "import gettext error:%s %s", e.what(), RepairUtf8(run).c_str());
    }
  }

 private:
  TXMLContainerType Top() const {
    if (stack_.empty()) throw AppError("no open folder");
    return stack_.back();
  }

  void OpenFolder() {
    const TXMLContainerType parent = Top();
    if (stack_.size() > kMaxHtmlFolderDepth) {
      // Its "</DL>" still has to find something to close.
      stack_.push_back(parent);
      throw AppError("folders nested too deeply; the contents stay in the folder above");
    }
    stack_.push_back(TXbelBuilder::AppendFolder(parent));
    folderTitleExpected_ = true;
  }

  void ReadAnchor(std::string_view tag) {
    const std::string_view hrefChunk = AttributeChunk(tag, "HREF");
    const std::string_view addedChunk = AttributeChunk(tag, "ADD_DATE");
    const std::string_view modifiedChunk = AttributeChunk(tag, "LAST_MODIFIED");
    const std::string_view shortcut = AttributeValue(AttributeChunk(tag, "SHORTCUTURL"));
    if (Trim(hrefChunk).empty()) return;
    // Everything that can refuse the entry is read before it is added.
    const std::string href = AttributeText(AttributeValue(hrefChunk), "address");
    const std::string keywords = AttributeText(shortcut, "keywords");
    const std::string tagList = AttributeText(AttributeValueByName(tag, "TAGS"), "tags");
    const TXMLContainerType parent = Top();

    TXMLBookmarkType bookmark = TXbelBuilder::AppendBookmark(parent);
    current_ = bookmark;
    // A date that is not a whole number costs the date only, not the entry.
    std::string dateError;
    auto day = [&](std::string_view chunk) -> std::string {
      if (chunk.empty()) return {};
      try {
        return UnixSecondsToDayText(SecondsOf(AttributeValue(chunk)));
      } catch (const AppError& e) {
        if (dateError.empty()) dateError = e.what();
        return {};
      }
    };
    if (std::string added = day(addedChunk); !added.empty()) bookmark.SetAdded(added);
    if (std::string modified = day(modifiedChunk); !modified.empty()) bookmark.SetModified(modified);
    // Every bookmark of a folder gets the same folder-name tags: work them out
    // once per folder.
    if (folderTagsOf_ != parent.Node()) {
      folderTagsOf_ = parent.Node();
      folderTags_ = FolderNameTags(bookmark);
    }
    TXbelBuilder::SetMetadata(bookmark, TagsOwnerUri, folderTags_);
    bookmark.SetHref(href);
    if (!keywords.empty()) TXbelBuilder::SetMetadata(bookmark, TagsOwnerUri, KeywordsToTags(keywords));
    MergeTagsAttribute(bookmark, tagList);
    bookmarkTitleExpected_ = true;
    descAllowed_ = true;
    if (!dateError.empty())
      LogFormatted(builder_.RunLog, "import geth error:%s %s", dateError.c_str(), RepairUtf8(tag).c_str());
  }

  TXbelBuilder& builder_;
  std::vector<TXMLContainerType> stack_;
  TXMLBookmarkType current_;
  pugi::xml_node folderTagsOf_;
  std::string folderTags_;
  bool folderTitleExpected_ = false;
  bool bookmarkTitleExpected_ = false;
  bool descAllowed_ = false;   // still inside the entry of the current bookmark's anchor
  bool descExpected_ = false;  // the last tag was a DD right after it
};

std::string SecondsAttribute(const char* name, std::string_view dateText) {
  if (dateText.empty()) return {};
  const auto seconds = DateTextToSeconds(dateText);
  if (!seconds) return {};  // no day in the text: the attribute is left out
  return std::string(" ") + name + "=\"" + std::to_string(*seconds) + "\"";
}

}  // namespace

void ImportBookmarkHtml(TXbelBuilder& builder, const std::filesystem::path& file) {
  TjsFastHTMLParser parser(ReadHtmlText(file));
  THtmlImport import(builder);
  parser.OnTag = [&](std::string_view tag) { import.Tag(tag); };
  parser.OnText = [&](std::string_view run) { import.Text(run); };
  parser.Parse();
}

void ExportBookmarkHtml(TXbelBuilder& builder, const std::filesystem::path& file,
                        const std::filesystem::path& dataFolder) {
  std::string out = ReadHtmlText(dataFolder / "firefoxheader.txt");

  struct RestoreHandlers {
    TXbelBuilder& b;
    ~RestoreHandlers() {
      b.OnBookmark = nullptr;
      b.OnFolderEntered = nullptr;
      b.OnFolderLeft = nullptr;
    }
  } restore{builder};

  builder.OnFolderEntered = [&](TXMLFolderType folder, void*&) {
    try {
      std::string lines = "<DT><H3" + SecondsAttribute("ADD_DATE", folder.Added()) + ">" +
                          EscapeHtmlText(folder.Title()) + "</H3>\r\n<DL>\r\n<P>\r\n";
      out += lines;
    } catch (const AppError&) {
      LogLine(builder.RunLog, "Error when export to Firefox:ConvertFoldertoHTML");
    }
  };
  builder.OnBookmark = [&](TXMLBookmarkType bookmark, void*&) {
    // Values inside double quotes are escaped: an address with "&" or a quote
    // would otherwise end the attribute or read back as a reference.
    std::string line = "<DT><A HREF=\"" + EscapeHtmlAttribute(bookmark.Href()) + "\"";
    try {
      line += SecondsAttribute("ADD_DATE", bookmark.Added());
      line += SecondsAttribute("LAST_MODIFIED", bookmark.Modified());
      const std::string_view tags = TXbelBuilder::GetMetadata(bookmark, TagsOwnerUri);
      if (!tags.empty()) line += " SHORTCUTURL=\"" + EscapeHtmlAttribute(tags) + "\"";
    } catch (const AppError&) {
      LogFormatted(builder.RunLog, "export to html error:%s", std::string(bookmark.Modified()).c_str());
    }
    line += ">" + EscapeHtmlText(bookmark.Title()) + "</A>\r\n";
    out += line;
    if (builder.Progress) builder.Progress->Advance(1);
  };
  builder.OnFolderLeft = [&](TXMLFolderType, void*&) { out += "</DL>\r\n"; };

  void* context = nullptr;
  builder.Walk(builder.Root(), context);
  out += "</DL></P>\r\n";
  WriteFileAtomically(file, out);
}

int CountAnchors(const std::filesystem::path& file) {
  TjsFastHTMLParser parser(ReadHtmlText(file));
  int count = 0;
  parser.OnTag = [&](std::string_view tag) {
    if (SameText(TagNameOf(tag), "A")) ++count;
  };
  parser.Parse();
  return count;
}

}  // namespace tessellink
