#pragma once
// The one way imported or downloaded bookmarks enter a document: folders are
// matched by title and merged level by level, bookmarks whose address the
// target folder already holds are left behind, everything else moves over.

#include "store/xbel_elements.h"

namespace tessellink {

// Merges the top level of `source` into `target`. For each source folder, in
// order: merged into the first target folder of exactly the same title (letter
// case counts; folders that arrived earlier in this merge count too), or moved
// with its subtree to the end of the target. Then the source bookmarks whose
// href (ASCII letters a-z compared as upper case) is not among the target's
// bookmarks as they were before this step move, in order, to the end. Aliases,
// separators and whatever stays behind remain in the source.
//
// Source and target may belong to different documents (nodes are copied over
// and removed from the source) or to the same one; throws AppError, before
// changing anything, when one of them holds the other.
void MergeDocument(TXMLContainerType target, TXMLContainerType source);
// The same two steps for one matched pair of folders.
void MergeFolder(TXMLContainerType target, TXMLContainerType source);

}  // namespace tessellink
