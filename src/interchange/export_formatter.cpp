#include "interchange/export_formatter.h"

#include <optional>

#include "app/run_log.h"
#include "common/atomic_file.h"
#include "common/comma_text.h"
#include "common/errors.h"
#include "common/text.h"

namespace tessellink {
namespace {

constexpr std::string_view kSection = "export";

std::string ExpandLineBreaks(std::string_view templ) { return ReplaceAll(templ, "\\n", "\r\n"); }

// A fixed part (header, item, enditem, footer) is its own value: a "%s" in it
// repeats the template as written out.
std::string FillFixed(std::string_view templ) { return FillTemplate(templ, ExpandLineBreaks(templ)); }

// Characters 1-4 year, 6-7 month, 9-10 day, as every reader of date texts takes them.
std::optional<DateTimeFields> DayOf(std::string_view text) {
  if (text.size() < 8) return std::nullopt;
  const auto year = ParseInteger(text.substr(0, 4));
  const auto month = ParseInteger(text.substr(5, 2));
  const auto day = ParseInteger(text.substr(8, 2));
  if (!year || !month || !day || !IsValidDate(*year, *month, *day)) return std::nullopt;
  DateTimeFields fields;
  fields.year = *year;
  fields.month = *month;
  fields.day = *day;
  return fields;
}

}  // namespace

std::string FillTemplate(std::string_view templ, std::string_view value) {
  std::string out;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t at = templ.find("%s", pos);
    out += ExpandLineBreaks(templ.substr(pos, at == std::string_view::npos ? std::string_view::npos : at - pos));
    if (at == std::string_view::npos) break;
    out += value;
    pos = at + 2;
  }
  return out;
}

TExportFormatter::TExportFormatter(std::filesystem::path dataFolder, TShortDateFormatter shortDate)
    : dataFolder_(std::move(dataFolder)),
      shortDate_(shortDate ? std::move(shortDate) : UserStampFormat().shortDate),
      ini_(TIniFile::Load(IniPath())) {}

std::vector<std::string> TExportFormatter::Styles() const {
  return SplitCommaText(ini_.ReadString(kSection, "style"));
}

std::vector<std::string> TExportFormatter::Titles() const {
  return SplitCommaText(ini_.ReadString(kSection, "titles"));
}

std::vector<std::string> TExportFormatter::Checked() const {
  return SplitCommaText(ini_.ReadString(kSection, "checked"));
}

std::filesystem::path TExportFormatter::Output() const {
  return ini_.ReadString(kSection, "output", (dataFolder_ / "pf.htm").string());
}

void TExportFormatter::LoadStyle(std::string_view styleName) {
  const std::string section = LowerCase(styleName);
  auto read = [&](std::string_view key) { return ini_.ReadString(section, key); };
  TExportTemplates t;
  t.Utf8 = ini_.ReadBool(section, "utf8", false);
  t.Header = read("header");
  t.Item = read("item");
  t.Title = read("title");
  t.Href = read("href");
  t.Tags = read("tags");
  t.Desc = read("desc");
  t.Added = read("added");
  t.Modified = read("modified");
  t.LastAccess = read("lastaccess");
  t.Visited = read("visited");
  t.EndItem = read("enditem");
  t.Footer = read("footer");
  templates_ = std::move(t);
}

void TExportFormatter::SetFields(std::string_view commaText) {
  fields_.clear();
  ForEachCommaItem(commaText, [&](std::string_view item) { fields_.push_back(LowerCase(item)); });
}

bool TExportFormatter::FieldSelected(std::string_view field) const {
  for (const std::string& f : fields_)
    if (SameText(f, field)) return true;
  return false;
}

std::string TExportFormatter::FormatDate(std::string_view dateText) const {
  const auto day = DayOf(dateText);
  return day ? shortDate_(*day) : std::string();
}

std::string TExportFormatter::FormatRecord(const TBmkRec& record) const {
  const TExportTemplates& t = templates_;
  std::string out = FillFixed(t.Item);
  auto field = [&](std::string_view name, const std::string& templ, auto&& value) {
    if (FieldSelected(name)) out += FillTemplate(templ, value());
  };
  field("title", t.Title, [&] { return std::string(record.Title()); });
  field("link", t.Href, [&] { return std::string(record.Link()); });
  field("tags", t.Tags, [&] { return std::string(record.Tags()); });
  field("desc", t.Desc, [&] { return std::string(record.Desc()); });
  field("created", t.Added, [&] { return FormatDate(record.Added()); });
  field("modified", t.Modified, [&] { return FormatDate(record.Modified()); });
  field("last access", t.LastAccess, [&] { return FormatDate(record.LastVisit()); });
  field("visited", t.Visited, [&] { return std::to_string(record.VisitCount); });
  out += FillFixed(t.EndItem);
  return out;
}

std::string TExportFormatter::FormatAll(std::span<const TBmkRec* const> records) const {
  std::string out = FillFixed(templates_.Header);
  for (const TBmkRec* record : records)
    if (record) out += FormatRecord(*record);
  out += FillFixed(templates_.Footer);
  return templates_.Utf8 ? RepairUtf8(out) : out;
}

void TExportFormatter::RememberChoice(std::string_view checkedCommaText, const std::filesystem::path& output) {
  TIniFile updated = ini_;
  updated.WriteString(kSection, "checked", LowerCase(checkedCommaText));
  updated.WriteString(kSection, "output", output.string());
  updated.Save(IniPath());
  ini_ = std::move(updated);
}

void TExportFormatter::Export(std::span<const TBmkRec* const> records, std::string_view checkedCommaText,
                              const std::filesystem::path& output) {
  if (output.empty()) throw AppError("Export filename is needed.");
  SetFields(checkedCommaText);
  WriteExport(output, FormatAll(records));
  RememberChoice(checkedCommaText, output);
}

void WriteExport(const std::filesystem::path& path, std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16 + 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\r\n";
    } else {
      out.push_back(c);
    }
  }
  // Empty text stays an empty file: no lines, no line break.
  if (!out.empty() && !out.ends_with("\r\n")) out += "\r\n";
  WriteFileAtomically(path, out);
}

std::string ChangeStyleExtension(std::string_view fileName, std::string_view styleName) {
  std::string_view ext;
  if (styleName == "text")
    ext = ".txt";
  else if (styleName == "normal html")
    ext = ".htm";
  else if (styleName == "csv")
    ext = ".csv";
  if (fileName.empty()) return {};
  // Only the last path element has an extension; a full stop that begins the
  // name (a hidden file) does not start one.
  const std::size_t slash = fileName.rfind('/');
  const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  const std::size_t dot = fileName.rfind('.');
  std::string out(fileName);
  if (dot != std::string_view::npos && dot > nameStart) out.resize(dot);
  if (nameStart == fileName.size()) return out;  // a folder, no file name to change
  out += ext;
  return out;
}

}  // namespace tessellink
