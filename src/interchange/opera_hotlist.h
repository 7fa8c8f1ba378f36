#pragma once
// Opera hotlist files (".adr", usually "opera6.adr"): a line-oriented text of
// "#FOLDER" and "#URL" blocks with KEY=value lines, each folder closed by "-".
// TOperaToXbel reads one into a document of its own; ExportOperaHotlist writes
// a builder's working document as one.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "store/progress.h"
#include "store/xbel_builder.h"
#include "store/xbel_document.h"

namespace tessellink {

class TRunLog;

class TOperaToXbel {
 public:
  TOperaToXbel();
  ~TOperaToXbel();
  TOperaToXbel(const TOperaToXbel&) = delete;
  TOperaToXbel& operator=(const TOperaToXbel&) = delete;

  // Its total becomes the number of lines; it advances once per line.
  void SetProgress(IProgress* progress) { progress_ = progress; }
  // Lines that cannot be applied are noted there as "opera import error, <line>".
  void SetLog(TRunLog* log) { log_ = log; }

  // Replaces the document with a new one holding the hotlist's folders and
  // bookmarks. Throws FileReadError when the file cannot be read; the document
  // is unchanged then. A file that is not valid UTF-8 gives an empty document.
  void LoadHotlist(const std::filesystem::path& path);
  // Writes the document as a bookmark file; throws FileWriteError.
  void SaveResult(const std::filesystem::path& path) const;

  TXbelDocument& Document() const { return *document_; }
  TXMLXbelType Root() const { return document_->Root(); }

 private:
  void ApplyLines(std::string_view text);

  std::unique_ptr<TXbelDocument> document_;
  IProgress* progress_ = nullptr;
  TRunLog* log_ = nullptr;
};

// The hotlist text of the builder's working document (UTF-8, CR LF line ends).
// Advances builder.Progress once per bookmark.
std::string OperaHotlistText(TXbelBuilder& builder);
// Writes OperaHotlistText to `path`, replacing any file there; throws FileWriteError.
void ExportOperaHotlist(TXbelBuilder& builder, const std::filesystem::path& path);

// The first "opera6.adr" under <home>/.opera/, or an empty path.
std::filesystem::path FindOperaHotlistFile(const std::filesystem::path& home);

// The wizard's Opera import up to the merge: the file name loses its double
// quotes, the hotlist is converted, written to <dataFolder>/temp.xbel and read
// back as the builder's working document. The caller merges it. Throws
// FileReadError (hotlist unreadable, temp file unreadable) or FileWriteError.
void ImportOperaViaTempFile(TXbelBuilder& builder, std::string_view hotlistPath,
                            const std::filesystem::path& dataFolder, IProgress* progress, TRunLog* log);

}  // namespace tessellink
