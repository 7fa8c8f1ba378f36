#include "interchange/interchange_log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "app/run_log.h"

namespace tessellink {

void LogLine(TRunLog* log, std::string_view message) {
  if (log) log->Log(message);
}

void LogFormatted(TRunLog* log, const char* format, ...) {
  if (!log) return;
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int size = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
  if (size > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  log->LogFmt("%s", text.c_str());
}

}  // namespace tessellink
