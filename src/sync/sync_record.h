#pragma once
// The synchronisation record "FileInfo.xml": which version of the online copy
// the default bookmark file last matched, and whether it has changed since.

#include <cstdint>
#include <filesystem>

namespace tessellink {

inline constexpr const char* kFileInfoFileName = "FileInfo.xml";

struct TXMLDownloadType {
  int32_t version = 0;  // online object's version at the last successful transfer
  int32_t size = 0;     // compressed length seen by the last header request
};

struct TXMLLocalType {
  int32_t version = 0;  // Download.version while unchanged, Download.version + 1 once changed
  int32_t size = 0;     // kept as read, not used
};

struct TXMLFileInfoType {
  TXMLDownloadType Download;
  TXMLLocalType Local;
  std::filesystem::path File;  // where Save writes
};

// Reads the record. A missing file is created with zeros; a file that is not a
// FileInfo document with integer values throws FileReadError and stays as it is.
TXMLFileInfoType LoadFileInfo(const std::filesystem::path& file);
// Writes atomically; throws FileWriteError and leaves the old file whole.
void SaveFileInfo(const TXMLFileInfoType& record);

// The default file's change counts only when the open file is exactly that
// path (letter case counts): Local.version becomes Download.version + 1 and the
// record is saved. True when it counted.
bool MarkLocalChange(TXMLFileInfoType& record, const std::filesystem::path& openFile,
                     const std::filesystem::path& defaultFile);

}  // namespace tessellink
