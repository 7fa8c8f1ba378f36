#include "cli/cli_share.h"

#include "common/errors.h"

namespace tessellink {

void RunShare(Session&, std::string&) { throw AppError("share is not built yet"); }
void RunUnshare(Session&, std::string&) { throw AppError("unshare is not built yet"); }
void RunPostsDownload(Session&, std::string&) { throw AppError("posts-download is not built yet"); }

}  // namespace tessellink
