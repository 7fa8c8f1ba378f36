#pragma once
// The templated export: the selected bookmark records written through the text
// templates of one style from "export.ini" (an HTML page, a text list, CSV...).
// Values go into the templates as they are: no HTML escaping, no CSV quoting.

#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/clock.h"
#include "interchange/ini_file.h"
#include "store/bookmark_record.h"

namespace tessellink {

// Writes a calendar day in the user's short date form.
using TShortDateFormatter = std::function<std::string(const DateTimeFields&)>;

// The templates of one style; a missing key reads as empty text.
struct TExportTemplates {
  bool Utf8 = false;
  std::string Header, Item, Title, Href, Tags, Desc, Added, Modified, LastAccess, Visited, EndItem, Footer;
};

class TExportFormatter {
 public:
  // Reads "export.ini" in the data folder (a missing file gives empty lists and
  // templates; an unreadable one throws FileReadError). The default date form
  // is the user's locale short date, as the run log writes it.
  explicit TExportFormatter(std::filesystem::path dataFolder, TShortDateFormatter shortDate = {});

  // Section "export".
  std::vector<std::string> Styles() const;   // "style"
  std::vector<std::string> Titles() const;   // "titles"
  std::vector<std::string> Checked() const;  // "checked"
  std::filesystem::path Output() const;      // "output", default data folder + "pf.htm"

  // Reads the section named by the style in lower case; no section, no text.
  void LoadStyle(std::string_view styleName);
  const TExportTemplates& Templates() const { return templates_; }
  // The style's "utf8" flag. The system code page is UTF-8 here, so both
  // settings give UTF-8; with the flag, bytes that are not valid UTF-8 (from a
  // hand-edited "export.ini") become U+FFFD, as a code page conversion would.
  bool Utf8() const { return templates_.Utf8; }

  // The field names to write (comma text); kept lower-cased, matched ignoring case.
  void SetFields(std::string_view commaText);
  const std::vector<std::string>& Fields() const { return fields_; }
  bool FieldSelected(std::string_view field) const;

  std::string FormatRecord(const TBmkRec& record) const;
  std::string FormatAll(std::span<const TBmkRec* const> records) const;

  // The calendar day of a date text in the short date form; empty for an empty
  // text and for a text that holds no valid day.
  std::string FormatDate(std::string_view dateText) const;

  // Writes "checked" (lower-cased) and "output" to section "export" and saves
  // "export.ini" atomically. On a failed save the file and this object keep the
  // previous values and FileWriteError reaches the caller.
  void RememberChoice(std::string_view checkedCommaText, const std::filesystem::path& output);

  // The whole export of the loaded style: selects the fields, writes the file,
  // and only then remembers the choice, so a failed write leaves "export.ini" as
  // it was. An empty output name throws AppError("Export filename is needed.").
  void Export(std::span<const TBmkRec* const> records, std::string_view checkedCommaText,
              const std::filesystem::path& output);

  std::filesystem::path IniPath() const { return dataFolder_ / "export.ini"; }

 private:
  std::filesystem::path dataFolder_;
  TShortDateFormatter shortDate_;
  TIniFile ini_;
  TExportTemplates templates_;
  std::vector<std::string> fields_;
};

// Every "%s" of the template replaced by the value, and every two-character
// backslash-n of the template by CR LF. The value goes in unchanged, once per
// "%s": a "%s" or backslash-n inside it stays as it is.
std::string FillTemplate(std::string_view templ, std::string_view value);

// Writes the export text atomically, every line break as CR LF and a final
// CR LF added (an empty text gives an empty file). A failure throws
// FileWriteError and leaves any old file whole.
void WriteExport(const std::filesystem::path& path, std::string_view text);

// The output file name after choosing a style: ".txt" for "text", ".htm" for
// "normal html", ".csv" for "csv" (names as written), no extension for any other
// style. The extension is the file name's part from its last full stop on; a
// name without one gets the new extension appended.
std::string ChangeStyleExtension(std::string_view fileName, std::string_view styleName);

}  // namespace tessellink
