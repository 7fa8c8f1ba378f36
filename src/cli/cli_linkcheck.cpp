#include "cli/cli_linkcheck.h"

#include "common/errors.h"

namespace tessellink {

void RunCheckLinks(Session&, std::string&) { throw AppError("check-links is not built yet"); }

}  // namespace tessellink
