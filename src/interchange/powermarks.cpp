#include "interchange/powermarks.h"

#include <pugixml.hpp>

#include "common/comma_text.h"
#include "common/errors.h"
#include "common/text.h"
#include "interchange/html_tokenizer.h"
#include "interchange/interchange_dates.h"
#include "interchange/interchange_log.h"

namespace tessellink {
namespace {

uint32_t HexNumber(std::string_view hex) {
  const auto value = ParseInteger("$" + std::string(hex));
  if (!value) throw AppError("'" + RepairUtf8(hex) + "' is not a valid integer value");
  // A count, never negative: the top bit is part of the number.
  return static_cast<uint32_t>(*value);
}

std::string PlainText(std::string_view run, const char* what) {
  return ImportedText(HtmlTextToPlain(IsValidUtf8(run) ? std::string(run) : RepairUtf8(run)), what);
}

class TPowermarksImport {
 public:
  explicit TPowermarksImport(TXbelBuilder& builder) : builder_(builder) { stack_.push_back(builder.Root().Node()); }

  void Tag(std::string_view tag) {
    try {
      const std::string_view name = TagNameOf(tag);
      if (SameText(name, "DL")) {
        // The outer list holds the entries; lists inside it hold nothing we take.
        const bool onlyRoot = stack_.size() == 1 && stack_.front() == builder_.Root().Node();
        stack_.push_back(onlyRoot ? builder_.Root().Node() : pugi::xml_node());
      }
      if (SameText(tag, "</DL>")) {
        if (stack_.empty()) throw AppError("no open list to close");
        stack_.pop_back();
      }
      if (SameText(name, "A")) ReadAnchor(tag);
      if (name.find("!-") != std::string_view::npos) ReadComment(tag);
    } catch (const AppError& e) {
      LogFormatted(builder_.RunLog, "import powermarks: geth error:%s %s", e.what(), RepairUtf8(tag).c_str());
    }
  }

  void Text(std::string_view run) {
    try {
      if (titleExpected_) {
        titleExpected_ = false;
        std::string title = PlainText(run, "title");
        if (title.empty()) title = ImportedText(run, "title");
        current_.SetTitle(title);
      }
      if (descExpected_) {
        descExpected_ = false;
        current_.SetDesc(PlainText(run, "description"));
      }
      if (keywordsExpected_ && current_) {
        keywordsExpected_ = false;
        TXbelBuilder::SetMetadata(current_, TagsOwnerUri, PlainText(run, "keywords"));
      }
    } catch (const AppError& e) {
      LogFormatted(builder_.RunLog, "import powermarks: gettext error:%s %s", e.what(), RepairUtf8(run).c_str());
    }
  }

 private:
  void ReadAnchor(std::string_view tag) {
    struct AdvanceProgress {
      IProgress* progress;
      ~AdvanceProgress() {
        if (progress) progress->Advance(1);
      }
    } advance{builder_.Progress};
    const std::string_view href = AttributeValue(AttributeChunk(tag, "HREF"));
    if (href.size() < 4 || !SameAsciiText(href.substr(0, 4), "http")) return;
    const std::string address = ImportedText(href, "address");
    if (stack_.empty() || !stack_.back()) throw AppError("no list for the entry");
    current_ = TXbelBuilder::AppendBookmark(TXMLContainerType(stack_.back()));
    current_.SetHref(address);
    titleExpected_ = true;
    openForMetadata_ = true;
  }

  void ReadComment(std::string_view tag) {
    if (tag == "<!--desc-->" && openForMetadata_) descExpected_ = true;
    if (tag == "<!--keywords-->") keywordsExpected_ = true;
    if (tag.find("mdata") != std::string_view::npos && openForMetadata_) {
      const std::vector<std::string> entries = SplitMetadata(tag);
      auto entry = [&](std::size_t i) {
        return i < entries.size() ? std::string_view(entries[i]) : std::string_view();
      };
      current_.SetAdded(UnixSecondsToDateText(HexSecondsToDate(entry(1))));
      if (!entry(2).empty()) current_.SetVisited(UnixSecondsToDateText(HexSecondsToDate(entry(2))));
      current_.SetModified(UnixSecondsToDateText(HexSecondsToDate(entry(5))));
      if (!entry(10).empty())
        TXbelBuilder::SetMetadata(current_, VisitCountOwner, std::to_string(HexNumber(entry(10))));
      openForMetadata_ = false;
    }
  }

  TXbelBuilder& builder_;
  std::vector<pugi::xml_node> stack_;  // an empty node: a nested list, which holds no entries
  TXMLBookmarkType current_;
  bool titleExpected_ = false;
  bool descExpected_ = false;
  bool keywordsExpected_ = false;
  bool openForMetadata_ = false;
};

}  // namespace

std::vector<std::string> SplitMetadata(std::string_view comment) {
  std::string text = ReplaceAll(comment, "<!--mdata=", "");
  text = ReplaceAll(text, "[", "");
  text = ReplaceAll(text, "]", ",");
  text = ReplaceAll(text, "-->", "");
  return SplitCommaText(text);
}

int64_t HexSecondsToDate(std::string_view hex) { return HexNumber(hex); }

void ImportPowermarks(TXbelBuilder& builder, const std::filesystem::path& file) {
  TjsFastHTMLParser parser(ReadHtmlText(file));
  TPowermarksImport import(builder);
  parser.OnTag = [&](std::string_view tag) { import.Tag(tag); };
  parser.OnText = [&](std::string_view run) { import.Text(run); };
  parser.Parse();
}

}  // namespace tessellink
