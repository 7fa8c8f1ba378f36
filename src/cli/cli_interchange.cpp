#include "cli/cli_interchange.h"

#include <cstdlib>
#include <memory>
#include <ostream>
#include <system_error>

#include "app/run_log.h"
#include "cli/cli_progress.h"
#include "cli/cli_sync.h"
#include "cli/cli_text.h"
#include "common/comma_text.h"
#include "common/errors.h"
#include "common/text.h"
#include "interchange/export_formatter.h"
#include "interchange/import_flows.h"

namespace tessellink {

namespace fs = std::filesystem;

namespace {

struct FormatName {
  const char* name;
  int kind;
};

constexpr FormatName kImportFormats[] = {
    {"ie", static_cast<int>(ImportSource::InternetExplorer)}, {"html", static_cast<int>(ImportSource::BookmarkHtml)},
    {"places", static_cast<int>(ImportSource::Places)},      {"opera", static_cast<int>(ImportSource::Opera)},
    {"powermarks", static_cast<int>(ImportSource::Powermarks)}, {"xbel", static_cast<int>(ImportSource::XbelFile)},
};
constexpr FormatName kExportFormats[] = {
    {"ie", static_cast<int>(ExportTarget::InternetExplorer)},
    {"html", static_cast<int>(ExportTarget::Firefox)},
    {"opera", static_cast<int>(ExportTarget::Opera)},
};

template <std::size_t N>
int FindFormat(const FormatName (&table)[N], std::string_view name, std::string_view what) {
  std::string known;
  for (const FormatName& f : table) {
    if (SameText(name, f.name)) return f.kind;
    known += known.empty() ? "" : ", ";
    known += f.name;
  }
  throw UsageError("unknown " + std::string(what) + " format " + Quoted(name) + " (use " + known + ")");
}

fs::path HomeFolder() {
  const char* home = std::getenv("HOME");
  return home ? fs::path(home) : fs::path();
}

// Entries an importer skipped go to the program's log, as in the main window,
// and to standard error, where a command-line user looks.
class SkippedEntries {
 public:
  explicit SkippedEntries(Session& s) : log_(s.DataFolder()) {
    log_.OnMessage = [this](std::string_view message) { messages_.push_back("warning: " + OneLine(message) + "\n"); };
  }
  TRunLog* Log() { return &log_; }
  std::size_t Count() const { return messages_.size(); }
  // After the progress line is finished, so the two do not mix.
  void Report(Session& s) const {
    for (const std::string& m : messages_) s.Err() << m;
  }

 private:
  TRunLog log_;
  std::vector<std::string> messages_;
};

TInterchangeContext ContextFor(Session& s, IProgress* progress, TRunLog* log) {
  TInterchangeContext context;
  context.dataFolder = s.DataFolder();
  context.home = HomeFolder();
  context.progress = progress;
  context.log = log;
  return context;
}

}  // namespace

void CheckInterchangeOperands(std::string_view command, const Invocation& inv) {
  if (command == "import") FindFormat(kImportFormats, inv.operands[0], "import");
  if (command == "export") FindFormat(kExportFormats, inv.operands[0], "export");
}

void RunImport(Session& s, std::string& text) {
  const auto kind = static_cast<ImportSource>(FindFormat(kImportFormats, s.Args().operands[0], "import"));
  const fs::path source = s.Args().operands[1];
  const fs::path targetFile = s.Args().operands[2];

  TXbelBuilder target;
  std::error_code ec;
  const bool exists = fs::exists(targetFile, ec);
  if (exists) target.LoadDocument(targetFile);

  SkippedEntries skipped(s);
  TImportCounts counts;
  {
    const auto progress = ProgressFor(s, "Importing");
    counts = ImportAndMerge(target.Root(), kind, source, ContextFor(s, progress.get(), skipped.Log()));
  }
  skipped.Report(s);
  target.SaveDocument(targetFile, exists ? XbelSaveMode::Ordinary : XbelSaveMode::SaveAs);
  NoteLocalChange(s, targetFile);

  if (s.Args().json) {
    text += "{\"folders\":" + std::to_string(counts.folders) + ",\"bookmarks\":" + std::to_string(counts.bookmarks) +
            ",\"skipped\":" + std::to_string(skipped.Count()) + "}\n";
  } else {
    text += "Added " + std::to_string(counts.folders) + " folders and " + std::to_string(counts.bookmarks) +
            " bookmarks to " + OneLine(targetFile.string()) + "\n";
  }
}

void RunExport(Session& s, std::string& text) {
  const auto kind = static_cast<ExportTarget>(FindFormat(kExportFormats, s.Args().operands[0], "export"));
  const fs::path source = s.Args().operands[1];
  const fs::path destination = s.Args().operands[2];

  TXbelBuilder builder;
  builder.LoadDocument(source);
  SkippedEntries skipped(s);
  {
    const auto progress = ProgressFor(s, "Exporting");
    ExportDocument(builder, kind, destination, ContextFor(s, progress.get(), skipped.Log()));
  }
  skipped.Report(s);
  TBmkRecList records;
  builder.BuildRecords(records);
  if (s.Args().json)
    text += "{\"bookmarks\":" + std::to_string(records.size()) + ",\"skipped\":" + std::to_string(skipped.Count()) + "}\n";
  else
    text += "Exported " + std::to_string(records.size()) + " bookmarks to " + OneLine(destination.string()) + "\n";
}

void RunExportTemplate(Session& s, std::string& text) {
  const std::string style = s.Args().operands[0];
  const fs::path source = s.Args().operands[1];
  const fs::path output = s.Args().operands[2];

  TExportFormatter formatter(s.DataFolder());
  bool known = false;
  for (const std::string& name : formatter.Styles()) known = known || SameText(name, style);
  if (!known) {
    throw AppError("no style " + Quoted(style) + " in " + OneLine((s.DataFolder() / "export.ini").string()) +
                   " (styles: " + OneLine(JoinCommaText(formatter.Styles())) + ")");
  }
  formatter.LoadStyle(LowerCase(style));
  formatter.SetFields(s.Args().fieldsText ? *s.Args().fieldsText : JoinCommaText(formatter.Checked()));

  TXbelBuilder builder;
  builder.LoadDocument(source);
  TBmkRecList records;
  builder.BuildRecords(records);
  WriteExport(output, formatter.FormatAll(records));
  if (s.Args().json)
    text += "{\"bookmarks\":" + std::to_string(records.size()) + "}\n";
  else
    text += "Exported " + std::to_string(records.size()) + " bookmarks to " + OneLine(output.string()) + "\n";
}

}  // namespace tessellink
