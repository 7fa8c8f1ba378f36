#pragma once
// Importers and exporters note what they had to skip in the run log when one is
// given; without one (tests, tools) the notes are dropped.

#include <string_view>

namespace tessellink {

class TRunLog;

void LogLine(TRunLog* log, std::string_view message);
void LogFormatted(TRunLog* log, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace tessellink
