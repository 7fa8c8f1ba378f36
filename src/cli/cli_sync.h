#pragma once
// The synchronisation commands of tessellink-cli: sync, upload, download, on
// the data folder's settings and default file.

#include <filesystem>
#include <string>

#include "cli/cli_session.h"

namespace tessellink {

// Throws UsageError for an --on-conflict value other than download, upload, merge,
// or the option on another command than sync.
void CheckSyncOperands(const Invocation& inv);
void RunSync(Session& session, std::string& text);
void RunUpload(Session& session, std::string& text);
void RunDownload(Session& session, std::string& text);

// DefaultFile of the settings, in the data folder when relative; "default.xbel"
// there when empty. Absolute.
std::filesystem::path SettingsDefaultFile(Session& session);

// Every command that changed and saved `file` calls this: when it is the default
// file, the record marks a local change, so that the next synchronisation uploads
// it instead of downloading over it.
void NoteLocalChange(Session& session, const std::filesystem::path& file);

}  // namespace tessellink
