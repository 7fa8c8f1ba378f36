#include "share/posts_import.h"

#include <string>
#include <unordered_map>
#include <vector>

#include "common/atomic_file.h"
#include "common/errors.h"
#include "common/text.h"
#include "interchange/html_tokenizer.h"
#include "share/posts_document.h"
#include "store/xbel_builder.h"

namespace tessellink {

namespace {

TXMLFolderType FindOrAddShareFolder(TXbelBuilder& builder, bool& added) {
  TXMLFolderType found;
  builder.Root().Folder().ForEach([&](TXMLFolderType folder) {
    if (!found && LowerCase(folder.Title()) == "webshare") found = folder;
  });
  if (found) return found;
  added = true;
  TXMLFolderType folder = TXbelBuilder::AppendFolder(builder.Root());
  folder.SetTitle(kShareFolderTitle);
  return folder;
}

}  // namespace

TPostsImportResult ImportPosts(TXbelBuilder& builder, std::string_view postsText,
                               const std::filesystem::path& dataFolder) {
  const std::filesystem::path tempFile = dataFolder / kPostsTempFileName;
  WriteFileAtomically(tempFile, postsText);
  const std::unique_ptr<TXMLPostsType> posts = TXMLPostsType::Load(tempFile);

  TPostsImportResult result;
  std::vector<TXMLBookmarkType> bookmarks;
  builder.CollectBookmarks(builder.Root(), bookmarks, CollectMode::All);
  // Later duplicates overwrite earlier ones: the last in document order is found.
  std::unordered_map<std::string, std::size_t> byAddress;
  for (std::size_t i = 0; i < bookmarks.size(); ++i) byAddress[UpperCase(bookmarks[i].Href())] = i;

  TXMLFolderType shareFolder = FindOrAddShareFolder(builder, result.changed);
  result.posts = static_cast<int>(posts->Count());
  if (builder.Progress) builder.Progress->SetTotal(result.posts);

  // Every known bookmark ends with the mark of its post, or an empty one.
  std::vector<std::string_view> marks(bookmarks.size());
  posts->ForEach([&](TXMLPostType post) {
    const std::string_view mark = post.Shared() == "no" ? "private" : "public";
    const auto it = byAddress.find(UpperCase(post.Href()));
    if (it != byAddress.end()) {
      marks[it->second] = mark;
    } else {
      // A hostile or broken reply must not make the bookmark file unloadable.
      std::string title, href, tags, time;
      try {
        title = ImportedText(post.Description(), "description");
        href = ImportedText(post.Href(), "href");
        tags = post.Tag() == kUnfiledTag ? std::string() : ImportedText(post.Tag(), "tag");
        time = ImportedText(post.Time(), "time");
      } catch (const AppError&) {
        ++result.skipped;
        if (builder.Progress) builder.Progress->Advance(1);
        return;
      }
      TXMLBookmarkType bookmark = TXbelBuilder::AppendBookmark(shareFolder);
      bookmark.SetTitle(title);
      bookmark.SetHref(href);
      if (!tags.empty()) TXbelBuilder::SetMetadata(bookmark, TagsOwnerUri, tags);
      TXbelBuilder::SetShareMark(bookmark, mark);
      if (!time.empty()) bookmark.SetAdded(time);
      ++result.added;
      result.changed = true;
    }
    if (builder.Progress) builder.Progress->Advance(1);
  });
  // Marks are only written where they differ, so an unchanged collection leaves
  // the document as it was and bookmarks without a mark get no empty one.
  for (std::size_t i = 0; i < bookmarks.size(); ++i) {
    if (TXbelBuilder::ShareMark(bookmarks[i]) == marks[i]) continue;
    TXbelBuilder::SetShareMark(bookmarks[i], marks[i]);
    result.changed = true;
  }
  return result;
}

}  // namespace tessellink
