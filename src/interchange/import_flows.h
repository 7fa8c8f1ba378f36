#pragma once
// The import and export runs behind the wizards and the command-line tool:
// each source is read into a fresh builder and merged into the target; each
// export writes the given builder's document. No window takes part: callers
// pick the files and show the errors (AppError and its kinds).

#include <filesystem>
#include <string_view>

#include "store/progress.h"
#include "store/xbel_builder.h"

namespace tessellink {

class TRunLog;

// Firefox picks by the file's extension as the wizard does (".sqlite", letter
// case counting, is a places database, anything else bookmark HTML);
// BookmarkHtml and Places name the format outright.
enum class ImportSource { InternetExplorer, Firefox, XbelFile, Opera, Powermarks, BookmarkHtml, Places };
enum class ExportTarget { InternetExplorer, Firefox, Opera };

// What the runs need besides the files themselves.
struct TInterchangeContext {
  std::filesystem::path dataFolder;  // "ff3.sqlite", "temp.xbel", "firefoxheader.txt"
  std::filesystem::path home;        // the user's special folders lie under it
  IProgress* progress = nullptr;
  TRunLog* log = nullptr;
};

struct TImportCounts {
  int folders = 0;
  int bookmarks = 0;
};

// Reads `source` into a fresh builder, drops broken bookmarks and merges the
// result into `target`. Returns how many folders and bookmarks the target
// gained. The target is untouched when the source cannot be read.
TImportCounts ImportAndMerge(TXMLXbelType target, ImportSource kind, const std::filesystem::path& source,
                             const TInterchangeContext& context);

// Writes the builder's document to `destination` (a folder for Internet
// Explorer, a file otherwise).
void ExportDocument(TXbelBuilder& builder, ExportTarget kind, const std::filesystem::path& destination,
                    const TInterchangeContext& context);

// First start: imports the bookmarks of the default browser ("IE", "FF" or
// "OP", as DefaultBrowserKind tells) into the builder's working document.
void ImportFromDefaultBrowser(TXbelBuilder& builder, std::string_view browserKind, const TInterchangeContext& context);

// The text the wizard shows for a favorites folder that is not there. (A
// places database that is missing or cannot be copied gives the texts of
// PlacesCopyError.)
inline constexpr std::string_view kInvalidDirectoryText =
    "That directory is invalid. Please make sure the directory exists and is writable.";

}  // namespace tessellink
