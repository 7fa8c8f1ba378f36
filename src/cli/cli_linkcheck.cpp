#include "cli/cli_linkcheck.h"

#include <array>
#include <filesystem>
#include <ostream>

#include "app/worker_dispatcher.h"
#include "cli/cli_progress.h"
#include "cli/cli_sync.h"
#include "cli/cli_text.h"
#include "linkcheck/dead_link_scan.h"
#include "store/xbel_builder.h"

namespace tessellink {

namespace fs = std::filesystem;

namespace {

constexpr std::array<LinkStatus, 5> kVerdicts = {LinkStatus::Ok, LinkStatus::Redirected, LinkStatus::Error,
                                                 LinkStatus::PossibleError, LinkStatus::UnknownError};

const char* SummaryName(LinkStatus status) {
  switch (status) {
    case LinkStatus::Ok: return "ok";
    case LinkStatus::Redirected: return "redirected";
    case LinkStatus::Error: return "error";
    case LinkStatus::PossibleError: return "possible error";
    case LinkStatus::UnknownError: return "unknown error";
    default: return "not checked";
  }
}

void JsonField(std::string& text, const char* key, std::string_view value) {
  AppendJsonString(text, key);
  text += ':';
  AppendJsonString(text, value);
}

}  // namespace

// Prints one line per bookmark in document order: the status as the checker's
// list shows it, the folder path, the title and the address, separated by tabs.
// A scan that ran exits with 0 whatever it found.
void RunCheckLinks(Session& s, std::string& text) {
  const fs::path file = s.Args().operands.at(0);
  TXbelBuilder builder;
  builder.LoadDocument(file);
  TBmkRecList records;
  builder.BuildRecords(records);

  TQueueDispatcher dispatcher;
  TDeadLinkScan scan(records, dispatcher);
  scan.Options.caFile = s.CaFile();
  {
    const auto progress = ProgressFor(s, "Checking");
    if (progress) scan.OnChanged = [&] { progress->Show(scan.ProgressPosition(), scan.ProgressMaximum()); };
    scan.Start();
    dispatcher.RunUntil([&] { return !scan.Scanning(); });
    scan.OnChanged = nullptr;
  }

  std::array<int, kVerdicts.size()> counts{};
  for (std::size_t i = 0; i < scan.RowCount(); ++i)
    for (std::size_t v = 0; v < kVerdicts.size(); ++v)
      if (scan.Row(i).status == kVerdicts[v]) ++counts[v];

  const bool json = s.Args().json;
  if (json) {
    text += "{\"links\":[";
    for (std::size_t i = 0; i < scan.RowCount(); ++i) {
      const TScanRow& row = scan.Row(i);
      text += i ? ",\n{" : "\n{";
      JsonField(text, "verdict", LinkStatusName(row.status));
      text += ',';
      JsonField(text, "status", row.StatusText());
      text += ',';
      JsonField(text, "folder", row.path);
      text += ',';
      JsonField(text, "title", row.record.Title());
      text += ',';
      JsonField(text, "href", row.record.Link());
      text += '}';
    }
    text += scan.RowCount() ? "\n]," : "],";
    text += "\"summary\":{";
    for (std::size_t v = 0; v < kVerdicts.size(); ++v) {
      if (v) text += ',';
      AppendJsonString(text, LinkStatusName(kVerdicts[v]));
      text += ':' + std::to_string(counts[v]);
    }
    text += '}';
  } else {
    for (std::size_t i = 0; i < scan.RowCount(); ++i) {
      const TScanRow& row = scan.Row(i);
      text += OneLine(row.StatusText()) + '\t' + OneLine(row.path) + '\t' + OneLine(row.record.Title()) + '\t' +
              OneLine(row.record.Link()) + '\n';
    }
    text += "Checked " + std::to_string(scan.RowCount()) + " bookmarks:";
    for (std::size_t v = 0; v < kVerdicts.size(); ++v)
      text += std::string(v ? ", " : " ") + std::to_string(counts[v]) + " " + SummaryName(kVerdicts[v]);
    text += '\n';
  }

  if (s.Args().deleteDead) {
    scan.AutoSelect();
    std::size_t ticked = 0;
    for (std::size_t i = 0; i < scan.RowCount(); ++i) ticked += scan.Row(i).ticked ? 1 : 0;
    std::size_t deleted = 0;
    if (ticked > 0) {
      scan.OnModified = [&] {
        builder.SaveDocument(file, XbelSaveMode::Ordinary);
        NoteLocalChange(s, file);
      };
      deleted = scan.Delete();
    }
    if (json)
      text += ",\"deleted\":" + std::to_string(deleted);
    else
      text += "Deleted " + std::to_string(deleted) + " bookmarks from " + OneLine(file.string()) + "\n";
  }
  if (json) text += "}\n";
}

}  // namespace tessellink
