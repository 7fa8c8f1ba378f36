#include "cli/cli_app.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string_view>

#include "cli/cli_account.h"
#include "cli/cli_interchange.h"
#include "cli/cli_linkcheck.h"
#include "cli/cli_session.h"
#include "cli/cli_share.h"
#include "cli/cli_sync.h"
#include "cli/cli_text.h"
#include "common/comma_text.h"
#include "common/errors.h"
#include "common/text.h"
#include "settings/app_settings.h"
#include "store/bundles.h"
#include "store/xbel_builder.h"

namespace tessellink {

namespace {

namespace fs = std::filesystem;

constexpr const char* kProgram = "tessellink-cli";
// ---------------------------------------------------------------- the command line

using CommandRun = void (*)(Session&, std::string& text);

struct Command {
  const char* name;
  const char* synopsis;
  const char* summary;
  std::size_t minOperands, maxOperands;
  CommandRun run;
};

uint8_t ParseFields(std::string_view list) {
  uint8_t fields = 0;
  std::size_t pos = 0;
  while (pos <= list.size()) {
    std::size_t end = list.find(',', pos);
    if (end == std::string_view::npos) end = list.size();
    const std::string_view name = Trim(list.substr(pos, end - pos));
    if (SameText(name, "title")) {
      fields |= sfTitle;
    } else if (SameText(name, "desc")) {
      fields |= sfDesc;
    } else if (SameText(name, "link")) {
      fields |= sfLink;
    } else if (SameText(name, "tags")) {
      fields |= sfTags;
    } else if (SameText(name, "all")) {
      fields |= sfAll;
    } else if (!name.empty()) {
      throw UsageError("unknown search field " + Quoted(name) + " (use title, desc, link, tags)");
    }
    pos = end + 1;
  }
  if (fields == 0) throw UsageError("--fields needs at least one of title, desc, link, tags");
  return fields;
}

// Options may stand anywhere; "--" ends them. Throws UsageError.
Invocation ParseArguments(const std::vector<std::string>& args) {
  Invocation inv;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      if (inv.command.empty())
        inv.command = arg;
      else
        inv.operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> inlineValue;
    if (arg.starts_with("--")) {
      if (const std::size_t eq = arg.find('='); eq != std::string::npos) {
        name = arg.substr(0, eq);
        inlineValue = arg.substr(eq + 1);
      }
    }
    auto value = [&]() -> std::string {
      std::string v;
      if (inlineValue) {
        v = *inlineValue;
      } else if (i + 1 < args.size()) {
        v = args[++i];
      } else {
        throw UsageError("option " + name + " needs a value");
      }
      if (v.empty()) throw UsageError("option " + name + " needs a value that is not empty");
      return v;
    };
    auto flag = [&](bool& target) {
      if (inlineValue) throw UsageError("option " + name + " takes no value");
      target = true;
    };
    auto searchOnly = [&] {
      if (inv.searchOption.empty()) inv.searchOption = name;
    };
    if (name == "--data-folder") {
      inv.dataFolder = fs::path(value());
    } else if (name == "--file") {
      inv.file = fs::path(value());
    } else if (name == "--json") {
      flag(inv.json);
    } else if (name == "--on-conflict") {
      inv.onConflict = value();
    } else if (name == "--fields") {
      inv.fieldsText = value();
    } else if (name == "--delete-dead") {
      flag(inv.deleteDead);
    } else if (name == "--private") {
      flag(inv.privateShare);
    } else if (name == "--all") {
      searchOnly();
      flag(inv.allWords);
    } else if (name == "--case") {
      searchOnly();
      flag(inv.caseSensitive);
    } else {
      throw UsageError("unknown option " + Quoted(name));
    }
  }
  return inv;
}

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--") return false;
    if (arg == "-h" || arg == "--help") return true;
  }
  return false;
}

// A count: decimal digits only, at least 1.
int ParseCount(std::string_view text) {
  if (text.empty() || text.size() > 9 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    throw UsageError("N must be a positive integer, not " + Quoted(text));
  const int n = std::stoi(std::string(text));
  if (n < 1) throw UsageError("N must be a positive integer, not " + Quoted(text));
  return n;
}

// ---------------------------------------------------------------- output

void AppendJsonKey(std::string& text, const char* key) {
  text += '"';
  text += key;
  text += "\":";
}

std::vector<std::string> TagItems(std::string_view tagText) {
  std::vector<std::string> items;
  ForEachCommaItem(tagText, [&](std::string_view item) {
    if (!item.empty()) items.emplace_back(item);
  });
  return items;
}

void AppendJsonStringArray(std::string& text, const std::vector<std::string>& items) {
  text += '[';
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i) text += ',';
    AppendJsonString(text, items[i]);
  }
  text += ']';
}

// One layout for every list of bookmarks: "TITLE <ADDRESS> FOLDER" per line, or
// a JSON array with one object per line.
void AppendBookmarks(Session& s, const TBmkRecRefs& list, std::string& text) {
  if (s.Args().json) {
    text += "[";
    for (std::size_t i = 0; i < list.size(); ++i) {
      const TBmkRec& r = *list[i];
      text += i ? ",\n{" : "\n{";
      AppendJsonKey(text, "title");
      AppendJsonString(text, r.Title());
      text += ',';
      AppendJsonKey(text, "href");
      AppendJsonString(text, r.Link());
      text += ',';
      AppendJsonKey(text, "folder");
      AppendJsonString(text, TXbelBuilder::FolderPathOf(r.Bookmark));
      text += ',';
      AppendJsonKey(text, "tags");
      AppendJsonStringArray(text, TagItems(r.Tags()));
      text += ',';
      AppendJsonKey(text, "added");
      AppendJsonString(text, r.Added());
      text += '}';
    }
    text += list.empty() ? "]\n" : "\n]\n";
    return;
  }
  for (const TBmkRec* r : list) {
    text += OneLine(r->Title());
    text += " <";
    text += OneLine(r->Link());
    text += "> ";
    text += OneLine(TXbelBuilder::FolderPathOf(r->Bookmark));
    text += '\n';
  }
}

// ---------------------------------------------------------------- commands

int DistinctTags(const TTagExList& counts) {
  return static_cast<int>(
      std::count_if(counts.begin(), counts.end(), [](const TTagEx& t) { return t.Tag != kNoneTag; }));
}

void RunStats(Session& s, std::string& text) {
  TBmkRecList& records = s.Records();
  const int bookmarks = static_cast<int>(records.size());
  // The folders are what the item count holds besides the bookmarks.
  const int folders = TXbelBuilder::CountItems(s.Builder().Root()) - bookmarks;
  TTagExList tags;
  TXbelBuilder::TagCounts(records, tags);
  TBmkRecRefs hot;
  TXbelBuilder::HotRecords(records, hot);
  TBundleList bundles;
  LoadBundles(bundles, s.Builder().Root().Node());

  const std::pair<const char*, int> rows[] = {{"bookmarks", bookmarks},
                                              {"folders", folders},
                                              {"tags", DistinctTags(tags)},
                                              {"hot", static_cast<int>(hot.size())},
                                              {"bundles", static_cast<int>(bundles.Count())}};
  if (s.Args().json) {
    text += '{';
    for (std::size_t i = 0; i < std::size(rows); ++i) {
      if (i) text += ',';
      AppendJsonKey(text, rows[i].first);
      text += std::to_string(rows[i].second);
    }
    text += "}\n";
    return;
  }
  for (const auto& [name, value] : rows) text += std::string(name) + ": " + std::to_string(value) + "\n";
}

void RunTags(Session& s, std::string& text) {
  TTagExList tags;
  TXbelBuilder::TagCounts(s.Records(), tags);
  if (s.Args().json) {
    text += '[';
    for (std::size_t i = 0; i < tags.size(); ++i) {
      text += i ? ",\n{" : "\n{";
      AppendJsonKey(text, "tag");
      AppendJsonString(text, tags[i].Tag);
      text += ',';
      AppendJsonKey(text, "count");
      text += std::to_string(tags[i].Count);
      text += '}';
    }
    text += tags.empty() ? "]\n" : "\n]\n";
    return;
  }
  // Counts right-aligned in one column, then the tag.
  int widest = 1;
  for (const TTagEx& t : tags) widest = std::max(widest, t.Count);
  const std::size_t width = std::to_string(widest).size();
  for (const TTagEx& t : tags) {
    const std::string count = std::to_string(t.Count);
    text.append(width - count.size(), ' ');
    text += count;
    text += "  ";
    text += OneLine(t.Tag);
    text += '\n';
  }
}

void RunSearch(Session& s, std::string& text) {
  const Invocation& inv = s.Args();
  TSearchCondition condition;
  // Each argument is one keyword, blanks and commas included.
  condition.Keywords = JoinCommaText(inv.operands);
  condition.Fields = inv.fields;
  condition.CaseSensitive = inv.caseSensitive;
  condition.AllWords = inv.allWords;
  TBmkRecRefs found;
  TXbelBuilder::SearchRecords(s.Records(), found, condition);
  AppendBookmarks(s, found, text);
}

void RunHot(Session& s, std::string& text) {
  TBmkRecRefs hot;
  TXbelBuilder::HotRecords(s.Records(), hot);
  AppendBookmarks(s, hot, text);
}

void RunRecent(Session& s, std::string& text) {
  const Invocation& inv = s.Args();
  const int count = inv.operands.empty() ? s.Settings().Recent() : ParseCount(inv.operands.front());
  TBmkRecRefs recent;
  TXbelBuilder::RecentRecords(s.Records().Order(), recent, count);
  AppendBookmarks(s, recent, text);
}

void RunBundles(Session& s, std::string& text) {
  TBundleList bundles;
  LoadBundles(bundles, s.Builder().Root().Node());
  if (s.Args().json) {
    text += '[';
    for (std::size_t i = 0; i < bundles.Count(); ++i) {
      const TBundle& b = *bundles.Item(i);
      text += i ? ",\n{" : "\n{";
      AppendJsonKey(text, "title");
      AppendJsonString(text, b.Title);
      text += ',';
      AppendJsonKey(text, "tags");
      AppendJsonStringArray(text, b.Tags);
      text += '}';
    }
    text += bundles.Count() == 0 ? "]\n" : "\n]\n";
    return;
  }
  for (std::size_t i = 0; i < bundles.Count(); ++i) {
    const TBundle& b = *bundles.Item(i);
    text += OneLine(b.Title);
    text += ": ";
    text += OneLine(JoinCommaText(b.Tags));
    text += '\n';
  }
}

constexpr std::size_t kAny = std::numeric_limits<std::size_t>::max();

constexpr Command kCommands[] = {
    {"stats", "stats", "counts of bookmarks, folders, tags, hot bookmarks and bundles", 0, 0, RunStats},
    {"tags", "tags", "every tag with the number of bookmarks that carry it", 0, 0, RunTags},
    {"search", "search KEYWORD...", "bookmarks whose title, description, address or tags hold a keyword", 1, kAny,
     RunSearch},
    {"hot", "hot", "the hot bookmarks (tagged \"[Hot]\")", 0, 0, RunHot},
    {"recent", "recent [N]", "the N most recently added bookmarks (default: the Recent setting)", 0, 1, RunRecent},
    {"bundles", "bundles", "each bundle with its tags", 0, 0, RunBundles},
    {"import", "import FORMAT SOURCE TARGET", "merge SOURCE into the bookmark file TARGET (created when missing)", 3, 3,
     RunImport},
    {"export", "export FORMAT SOURCE DEST", "write the bookmark file SOURCE in another format", 3, 3, RunExport},
    {"export-template", "export-template STYLE SOURCE OUTPUT", "write SOURCE's bookmarks in a style of export.ini",
     3, 3, RunExportTemplate},
    {"account", "account register|login|passwd", "create, log in to or change the password of the sync account", 1, 3,
     RunAccount},
    {"sync", "sync [--on-conflict download|upload|merge]", "synchronise the default file with its online copy", 0, 0,
     RunSync},
    {"upload", "upload", "upload the default file, replacing the online copy", 0, 0, RunUpload},
    {"download", "download", "download the online copy into the default file", 0, 0, RunDownload},
    {"check-links", "check-links FILE [--delete-dead]", "check every bookmark's address; optionally delete dead ones",
     1, 1, RunCheckLinks},
    {"share", "share FILE URL... [--private]", "publish the bookmarks of these addresses to the sharing service", 2,
     kAny, RunShare},
    {"unshare", "unshare FILE URL", "remove the bookmark of this address from the sharing service", 2, 2, RunUnshare},
    {"posts-download", "posts-download FILE", "merge the sharing service's collection into FILE", 1, 1,
     RunPostsDownload},
};

// Everything about the command line is checked before any file is read.
void CheckOperands(const Command& c, Invocation& inv) {
  const std::size_t n = inv.operands.size();
  if (n < c.minOperands) throw UsageError(std::string("missing argument: ") + c.synopsis);
  if (n > c.maxOperands) {
    throw UsageError(std::string("too many arguments for ") + c.name + " (" + Quoted(inv.operands[c.maxOperands]) +
                     "): " + c.synopsis);
  }
  if (!inv.searchOption.empty() && c.run != RunSearch)
    throw UsageError("option " + inv.searchOption + " applies to search only");
  if (c.run == RunRecent && n == 1) ParseCount(inv.operands.front());
  if (c.run == RunImport || c.run == RunExport) CheckInterchangeOperands(c.name, inv);
  if (c.run == RunAccount) CheckAccountOperands(inv);
  CheckSyncOperands(inv);
  if (inv.deleteDead && c.run != RunCheckLinks) throw UsageError("option --delete-dead applies to check-links only");
  if (inv.privateShare && c.run != RunShare) throw UsageError("option --private applies to share only");
  if (inv.fieldsText) {
    if (c.run == RunSearch)
      inv.fields = ParseFields(*inv.fieldsText);
    else if (c.run != RunExportTemplate)
      throw UsageError("option --fields applies to search and export-template only");
  }

}

const Command* FindCommand(std::string_view name) {
  for (const Command& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

void ReportUsage(std::ostream& err, std::string_view message) {
  err << kProgram << ": " << message << "\n"
      << "Try '" << kProgram << " --help' for more information.\n";
}

}  // namespace

std::string CliUsage() {
  auto row = [](std::string_view left, std::string_view right) {
    std::string line = "  ";
    line += left;
    line.append(left.size() < 38 ? 38 - left.size() : 1, ' ');
    line += right;
    line += '\n';
    return line;
  };
  std::string text = std::string("Usage: ") + kProgram +
                     " [OPTIONS] COMMAND [ARGUMENTS]\n"
                     "Reads Tessellink bookmark files (XBEL), imports into them and exports them.\n\nCommands:\n";
  for (const Command& c : kCommands) text += row(c.synopsis, c.summary);
  text += "\nOptions:\n";
  text += row("-h, --help", "show this text");
  text += row("--data-folder DIR", "the folder of AppSetting.xml and default.xbel");
  text += row("", "(default: the program's folder, else the user's data folder)");
  text += row("--file FILE", "the bookmark file (default: DefaultFile of AppSetting.xml,");
  text += row("", "else default.xbel in the data folder)");
  text += row("--json", "print one JSON document instead of text");
  text += row("--on-conflict CHOICE", "sync: when both sides changed, download, upload or merge");
  text += row("--delete-dead", "check-links: delete the bookmarks found dead and save");
  text += row("--private", "share: share as private bookmarks");
  text += "\nImport formats: ie (a favorites folder of .url files), html (a browser's bookmark\n"
          "HTML export), places (Firefox's places.sqlite), opera (an Opera hotlist .adr),\n"
          "powermarks (a Powermarks HTML export), xbel (another bookmark file).\n"
          "Export formats: ie (DEST is a folder), html, opera.\n";
  text += row("--fields LIST", "export-template: the fields to write, a comma list of title,");
  text += row("", "link, tags, desc, created, modified, \"last access\", visited");
  text += row("", "(default: the fields checked last time)");
  text += "\nSearch options:\n";
  text += row("--fields LIST", "where to look: a comma list of title, desc, link, tags");
  text += row("", "(default: all four)");
  text += row("--all", "every keyword must match (default: any one)");
  text += row("--case", "letter case counts (default: ignored)");
  text +=
      "\nBookmarks print one a line as: TITLE <ADDRESS> FOLDER, where FOLDER is the\n"
      "folder path (\"\\\" for the top level). Each search argument is one keyword.\n"
      "Exit status: 0 done, 1 failed (a file is missing or unreadable), 2 wrong usage.\n";
  return text;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const CliContext& context) {
  if (WantsHelp(args)) {
    out << CliUsage();
    out.flush();
    return out ? kCliOk : kCliFailed;
  }
  Invocation inv;
  const Command* command = nullptr;
  try {
    inv = ParseArguments(args);
    if (inv.command.empty()) throw UsageError("no command given");
    command = FindCommand(inv.command);
    if (!command) throw UsageError("unknown command " + Quoted(inv.command));
    CheckOperands(*command, inv);
  } catch (const UsageError& e) {
    ReportUsage(err, e.what());
    return kCliUsage;
  }

  std::string text;
  try {
    Session session(inv, context, err);
    command->run(session, text);
  } catch (const std::bad_alloc&) {
    err << kProgram << ": out of memory\n";
    return kCliFailed;
  } catch (const std::exception& e) {
    err << kProgram << ": " << e.what() << "\n";
    return kCliFailed;
  }
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.flush();
  if (!out) {
    err << kProgram << ": cannot write the output\n";
    return kCliFailed;
  }
  return kCliOk;
}

}  // namespace tessellink
