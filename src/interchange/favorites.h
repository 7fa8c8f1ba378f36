#pragma once
// Internet Explorer favorites: a folder tree of internet shortcut files, read
// into the working document of a builder and written back out from it.

#include <filesystem>
#include <string_view>
#include <vector>

#include "interchange/internet_shortcut.h"
#include "store/xbel_builder.h"

namespace tessellink {

// <home>/Favorites; empty when there is no home folder.
std::filesystem::path FavoritesFolder(const std::filesystem::path& home);

// Appends the full paths of the plain files under `folder` whose names match
// `mask` ("*" any run, "?" one character, ASCII letter case ignored): first
// the files of a folder, then those of its subfolders, each listing in byte
// order of the names. Hidden files count; folders whose names begin with "."
// are never entered, nor is a folder already visited through a symbolic link.
// Folders that cannot be read are passed over.
void FindFilesRecursive(std::vector<std::filesystem::path>& list, const std::filesystem::path& folder,
                        std::string_view mask);
bool MatchesFileMask(std::string_view name, std::string_view mask);

int CountShortcutFiles(const std::filesystem::path& folder);

// Appends the tree under builder.FavoritesPath to the top of the working
// document: in each folder the bookmarks (one per ".url" file) first, then one
// folder per subfolder, both in name order. Advances builder.Progress once per
// shortcut file and logs to builder.RunLog.
void ImportFavorites(TXbelBuilder& builder);
void ImportFavoritesFolder(TXbelBuilder& builder, const std::filesystem::path& path, TXMLContainerType parent);

struct TFavoritesExportResult {
  int Written = 0;
  int Skipped = 0;  // logged, and shown when a folder could not be created
};

// Writes one shortcut file per bookmark of the working document under
// `outputFolder`; folders without bookmarks leave no trace. Advances
// builder.Progress once per bookmark.
TFavoritesExportResult ExportFavorites(TXbelBuilder& builder, const std::filesystem::path& outputFolder,
                                       const TShowMessage& showMessage = {});

}  // namespace tessellink
