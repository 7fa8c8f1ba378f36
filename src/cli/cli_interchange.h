#pragma once
// The import and export commands of tessellink-cli.

#include <string>
#include <string_view>

#include "cli/cli_session.h"

namespace tessellink {

// Checks the format or style operand before any file is read; throws UsageError.
void CheckInterchangeOperands(std::string_view command, const Invocation& inv);

void RunImport(Session& session, std::string& text);
void RunExport(Session& session, std::string& text);
void RunExportTemplate(Session& session, std::string& text);

}  // namespace tessellink
