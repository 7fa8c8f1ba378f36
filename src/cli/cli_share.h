#pragma once
// The sharing commands of tessellink-cli: share, unshare and posts-download, with
// the sharing account of the data folder's settings.

#include <string>

#include "cli/cli_session.h"

namespace tessellink {

void RunShare(Session& session, std::string& text);
void RunUnshare(Session& session, std::string& text);
void RunPostsDownload(Session& session, std::string& text);

}  // namespace tessellink
