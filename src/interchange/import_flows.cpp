#include "interchange/import_flows.h"

#include <string>
#include <system_error>
#include <vector>

#include "common/errors.h"
#include "interchange/bookmark_html.h"
#include "interchange/favorites.h"
#include "interchange/merge.h"
#include "interchange/opera_hotlist.h"
#include "interchange/places_database.h"
#include "interchange/powermarks.h"

namespace tessellink {

namespace fs = std::filesystem;

namespace {

TImportCounts CountContents(TXMLContainerType root) {
  TImportCounts counts;
  std::vector<pugi::xml_node> pending{root.Node()};
  while (!pending.empty()) {
    const pugi::xml_node node = pending.back();
    pending.pop_back();
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
      if (IsBookmarkNode(child)) {
        ++counts.bookmarks;
      } else if (IsFolderNode(child)) {
        ++counts.folders;
        pending.push_back(child);
      }
    }
  }
  return counts;
}

void SetTotal(const TInterchangeContext& context, int64_t total) {
  if (context.progress) context.progress->SetTotal(total);
}

// The progress maximum may have been a guess (anchors without an address);
// a finished run shows as finished.
class ProgressCounter : public IProgress {
 public:
  explicit ProgressCounter(IProgress* target) : target_(target) {}
  void SetTotal(int64_t total) override {
    total_ = total;
    if (target_) target_->SetTotal(total);
  }
  void Advance(int64_t steps) override {
    done_ += steps;
    if (target_) target_->Advance(steps);
  }
  void Finish() {
    if (target_ && done_ < total_) target_->Advance(total_ - done_);
    done_ = total_;
  }

 private:
  IProgress* target_;
  int64_t total_ = 0, done_ = 0;
};

// Lends the caller's progress and log to a builder for one run.
class LentHooks {
 public:
  LentHooks(TXbelBuilder& builder, const TInterchangeContext& context)
      : builder_(builder), progress_(builder.Progress), log_(builder.RunLog) {
    builder.Progress = context.progress;
    builder.RunLog = context.log;
  }
  ~LentHooks() {
    builder_.Progress = progress_;
    builder_.RunLog = log_;
  }
  LentHooks(const LentHooks&) = delete;
  LentHooks& operator=(const LentHooks&) = delete;

 private:
  TXbelBuilder& builder_;
  IProgress* progress_;
  TRunLog* log_;
};

bool IsDirectory(const fs::path& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

// Reads a places database the way a running Firefox leaves it: through a copy
// in the data folder, so that Firefox's lock and later writes do not matter.
void ReadPlacesInto(TXbelBuilder& builder, const fs::path& places, const TInterchangeContext& context,
                    IProgress* progress) {
  fs::path copy;
  try {
    copy = CopyPlacesDatabase(places, context.dataFolder);
  } catch (const PlacesCopyError& e) {
    // The wizard's text first, then what went wrong where.
    throw AppError(std::string(e.what()) + " (" + e.Reason() + ")");
  }
  TFF3Converter converter;
  converter.SetProgress(progress);
  TXMLXbelType converted;
  try {
    converted = converter.Convert(copy);
  } catch (const AppError& e) {
    // The copy's name alone would not tell the user which file was wrong.
    throw AppError("\"" + places.string() + "\": " + e.what());
  }
  MergeDocument(builder.Root(), converted);
}

void ReadSource(TXbelBuilder& builder, ImportSource kind, const fs::path& source, const TInterchangeContext& context,
                ProgressCounter& progress) {
  switch (kind) {
    case ImportSource::InternetExplorer:
      if (!IsDirectory(source)) throw AppError(std::string(kInvalidDirectoryText) + " (" + source.string() + ")");
      builder.FavoritesPath = source;
      progress.SetTotal(CountShortcutFiles(source));
      ImportFavorites(builder);
      return;
    case ImportSource::Firefox:
      // Letter case counts: "places.SQLITE" is read as bookmark HTML.
      ReadSource(builder, source.extension() == ".sqlite" ? ImportSource::Places : ImportSource::BookmarkHtml, source,
                 context, progress);
      return;
    case ImportSource::BookmarkHtml:
      progress.SetTotal(CountAnchors(source));
      ImportBookmarkHtml(builder, source);
      return;
    case ImportSource::Places:
      ReadPlacesInto(builder, source, context, &progress);
      return;
    case ImportSource::XbelFile:
      builder.LoadDocument(source);
      progress.SetTotal(TXbelBuilder::CountItems(builder.Root()));
      return;
    case ImportSource::Opera:
      ImportOperaViaTempFile(builder, source.string(), context.dataFolder, &progress, context.log);
      return;
    case ImportSource::Powermarks:
      progress.SetTotal(CountAnchors(source));
      ImportPowermarks(builder, source);
      return;
  }
}

}  // namespace

TImportCounts ImportAndMerge(TXMLXbelType target, ImportSource kind, const fs::path& source,
                             const TInterchangeContext& context) {
  ProgressCounter progress(context.progress);
  TXbelBuilder builder;
  builder.Progress = &progress;
  builder.RunLog = context.log;
  ReadSource(builder, kind, source, context, progress);
  std::vector<TXMLBookmarkType> broken;
  builder.RemoveBrokenBookmarks(broken);

  const TImportCounts before = CountContents(target);
  MergeDocument(target, builder.Root());
  const TImportCounts after = CountContents(target);
  progress.Finish();
  return {after.folders - before.folders, after.bookmarks - before.bookmarks};
}

void ExportDocument(TXbelBuilder& builder, ExportTarget kind, const fs::path& destination,
                    const TInterchangeContext& context) {
  if (destination.empty()) return;
  LentHooks hooks(builder, context);
  SetTotal(context, CountContents(builder.Root()).bookmarks);
  switch (kind) {
    case ExportTarget::InternetExplorer:
      ExportFavorites(builder, destination);
      return;
    case ExportTarget::Firefox:
      ExportBookmarkHtml(builder, destination, context.dataFolder);
      return;
    case ExportTarget::Opera:
      ExportOperaHotlist(builder, destination);
      return;
  }
}

void ImportFromDefaultBrowser(TXbelBuilder& builder, std::string_view browserKind, const TInterchangeContext& context) {
  LentHooks hooks(builder, context);
  if (browserKind == "IE") {
    builder.FavoritesPath = FavoritesFolder(context.home);
    if (IsDirectory(builder.FavoritesPath)) ImportFavorites(builder);
  } else if (browserKind == "FF") {
    const fs::path places = FindPlacesFile(context.home);
    if (!places.empty()) ReadPlacesInto(builder, places, context, context.progress);
  } else if (browserKind == "OP") {
    const fs::path hotlist = FindOperaHotlistFile(context.home);
    if (!hotlist.empty()) ImportOperaViaTempFile(builder, hotlist.string(), context.dataFolder, context.progress, context.log);
  }
}

}  // namespace tessellink
