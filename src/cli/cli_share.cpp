#include "cli/cli_share.h"

#include <map>
#include <ostream>
#include <vector>

#include "app/run_log.h"
#include "cli/cli_progress.h"
#include "cli/cli_sync.h"
#include "cli/cli_text.h"
#include "common/errors.h"
#include "common/text.h"
#include "share/share_commands.h"

namespace tessellink {

namespace fs = std::filesystem;

namespace {

// Nobody to ask on a command line: messages become the command's error.
class CliShareQuestions : public IShareQuestions {
 public:
  bool AskYesNo(const std::string&) override { return false; }
  void Inform(const std::string& notice) override { message = notice; }
  void ShowError(const std::string& error) override { message = error; }
  void OpenOptionsDialog() override {}
  std::string message;
};

// The bookmarks of the file whose address equals `url`, letter case ignored
// (as the program's address lookups do), in document order.
std::vector<TXMLBookmarkType> BookmarksAt(const std::vector<TXMLBookmarkType>& all, std::string_view url,
                                          const fs::path& file) {
  std::vector<TXMLBookmarkType> found;
  for (TXMLBookmarkType b : all)
    if (SameText(b.Href(), url)) found.push_back(b);
  if (found.empty()) throw AppError("no bookmark with the address " + Quoted(url) + " in " + OneLine(file.string()));
  return found;
}

// One sharing run on a file: the commands object, its worker's reports drained
// here, and the marks that really changed.
class ShareRun {
 public:
  ShareRun(Session& s, const fs::path& file) : s_(s), file_(file), log_(s.DataFolder()) {
    builder_.LoadDocument(file_);
    builder_.CollectBookmarks(builder_.Root(), all_, CollectMode::All);
  }

  TXbelBuilder& Builder() { return builder_; }
  const std::vector<TXMLBookmarkType>& All() const { return all_; }
  CliShareQuestions& Questions() { return questions_; }

  // Runs `start` on a commands object and waits for its worker.
  template <typename Start>
  TShareCommands& Run(const std::vector<TXMLBookmarkType>& list, Start start) {
    for (TXMLBookmarkType b : list) before_[b.Node()] = std::string(TXbelBuilder::ShareMark(b));
    commands_ = std::make_unique<TShareCommands>(s_.Settings(), builder_, s_.DataFolder(), questions_, dispatcher_,
                                                 &log_);
    commands_->CaFile = s_.CaFile();
    commands_->Marked = [this](TXMLBookmarkType b, std::string_view mark) { Note(b, mark); };
    auto progress = ProgressFor(s_, "Sharing");
    if (progress) {
      commands_->ProgressMaximum = [p = progress.get()](int64_t total) { p->SetTotal(total); };
      commands_->ProgressStep = [p = progress.get()] { p->Advance(1); };
    }
    if (!start(*commands_)) throw AppError(questions_.message);
    commands_->RunUntilIdle(dispatcher_);
    commands_->ProgressMaximum = nullptr;
    commands_->ProgressStep = nullptr;
    return *commands_;
  }

  void Note(TXMLBookmarkType b, std::string_view mark) {
    marked_.emplace_back(std::string(b.Href()), std::string(mark));
    const auto it = before_.find(b.Node());
    if (it == before_.end() || it->second != mark) changed_ = true;
  }
  const std::vector<std::pair<std::string, std::string>>& Marked() const { return marked_; }

  // Saves only when something changed.
  void Save(bool changed) {
    if (!changed && !changed_) return;
    builder_.SaveDocument(file_, XbelSaveMode::Ordinary);
    NoteLocalChange(s_, file_);
  }

 private:
  Session& s_;
  fs::path file_;
  TRunLog log_;
  TXbelBuilder builder_;
  std::vector<TXMLBookmarkType> all_;
  CliShareQuestions questions_;
  TQueueDispatcher dispatcher_;
  std::unique_ptr<TShareCommands> commands_;
  std::map<pugi::xml_node, std::string> before_;
  std::vector<std::pair<std::string, std::string>> marked_;
  bool changed_ = false;
};

}  // namespace

void RunShare(Session& s, std::string& text) {
  const std::vector<std::string>& operands = s.Args().operands;
  const fs::path file = operands[0];
  ShareRun run(s, file);
  std::vector<TXMLBookmarkType> list;
  for (std::size_t i = 1; i < operands.size(); ++i) {
    for (TXMLBookmarkType b : BookmarksAt(run.All(), operands[i], file)) {
      bool listed = false;
      for (TXMLBookmarkType l : list) listed = listed || l == b;
      if (!listed) list.push_back(b);
    }
  }
  const TShareMark mark = s.Args().privateShare ? TShareMark::Private : TShareMark::Public;
  TShareCommands& commands =
      run.Run(list, [&](TShareCommands& c) { return c.ShareBookmarks(list, mark); });
  // Marks set before a failure are kept: those posts are on the service.
  run.Save(false);

  std::string lines;
  for (const auto& [href, m] : run.Marked()) lines += "Shared " + OneLine(href) + " (" + m + ")\n";
  if (!commands.LastError().empty()) {
    s.Err() << lines;
    throw AppError("sharing stopped after " + std::to_string(run.Marked().size()) + " of " +
                   std::to_string(list.size()) + " bookmarks: " + commands.LastError());
  }
  text += lines;
  text += "Shared " + std::to_string(run.Marked().size()) + (run.Marked().size() == 1 ? " bookmark" : " bookmarks") +
          " as " + (mark == TShareMark::Private ? "private" : "public") + ".\n";
}

void RunUnshare(Session& s, std::string& text) {
  const std::vector<std::string>& operands = s.Args().operands;
  const fs::path file = operands[0];
  ShareRun run(s, file);
  const std::vector<TXMLBookmarkType> found = BookmarksAt(run.All(), operands[1], file);
  TShareCommands& commands =
      run.Run(found, [&](TShareCommands& c) { return c.UnshareBookmark(found.front()); });
  if (!commands.LastError().empty()) throw AppError(commands.LastError());
  // The service keeps one post per address: copies of the bookmark are no longer shared either.
  for (std::size_t i = 1; i < found.size(); ++i) {
    if (TXbelBuilder::ShareMark(found[i]) == "no") continue;
    TXbelBuilder::SetShareMark(found[i], "no");
    run.Note(found[i], "no");
  }
  run.Save(false);
  text += "Unshared " + OneLine(found.front().Href()) + "\n";
}

void RunPostsDownload(Session& s, std::string& text) {
  const fs::path file = s.Args().operands[0];
  ShareRun run(s, file);
  TShareCommands& commands = run.Run({}, [](TShareCommands& c) { return c.DownloadPosts(); });
  if (!commands.LastError().empty()) throw AppError(run.Questions().message);
  const TPostsImportResult& result = commands.LastImport();
  run.Save(result.changed);
  text += "Downloaded " + std::to_string(result.posts) + (result.posts == 1 ? " post" : " posts") + ", " +
          std::to_string(result.added) + " new in folder " + kShareFolderTitle + (result.changed ? "" : "; no change") +
          (result.skipped ? "; " + std::to_string(result.skipped) + " left out (a text too long)" : "") + ".\n";
}

}  // namespace tessellink
