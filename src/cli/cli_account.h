#pragma once
// The account commands of tessellink-cli: register, log in, change password.

#include <string>

#include "cli/cli_session.h"

namespace tessellink {

// Throws UsageError for an unknown sub-command or wrong operand count.
void CheckAccountOperands(const Invocation& inv);
void RunAccount(Session& session, std::string& text);

}  // namespace tessellink
