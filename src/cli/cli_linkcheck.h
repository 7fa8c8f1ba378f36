#pragma once
// The dead-link checker of tessellink-cli: check-links FILE [--delete-dead].

#include <string>

#include "cli/cli_session.h"

namespace tessellink {

void RunCheckLinks(Session& session, std::string& text);

}  // namespace tessellink
