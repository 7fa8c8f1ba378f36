#include "app/run_log.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <memory>
#include <type_traits>

#include "common/atomic_file.h"
#include "common/text.h"

namespace tessellink {

namespace {

constexpr const char* kSaveErrorLine = "save to log error!!!";

using LocalePtr = std::shared_ptr<std::remove_pointer_t<locale_t>>;

LocalePtr OpenTimeLocale(const std::string& name) {
  locale_t loc = newlocale(LC_TIME_MASK, name.c_str(), static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr))
    loc = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
  return LocalePtr(loc, [](locale_t l) {
    if (l != static_cast<locale_t>(nullptr)) freelocale(l);
  });
}

std::tm ToTm(const DateTimeFields& f) {
  std::tm tm{};
  tm.tm_year = f.year - 1900;
  tm.tm_mon = f.month - 1;
  tm.tm_mday = f.day;
  tm.tm_hour = f.hour;
  tm.tm_min = f.minute;
  tm.tm_sec = f.second;
  tm.tm_isdst = -1;
  // Week day and day of the year, for forms that name them.
  if (const auto date = EncodeDate(f.year, f.month, f.day)) {
    const auto days = static_cast<long long>(*date);  // 1899-12-30 was a Saturday
    tm.tm_wday = static_cast<int>(((days + 6) % 7 + 7) % 7);
    if (const auto first = EncodeDate(f.year, 1, 1)) tm.tm_yday = static_cast<int>(*date - *first);
  }
  return tm;
}

std::string FormatFields(const LocalePtr& loc, const std::string& pattern, const DateTimeFields& f) {
  if (pattern.empty()) return {};
  const std::tm tm = ToTm(f);
  char buffer[256];
  const std::size_t n = loc ? strftime_l(buffer, sizeof buffer, pattern.c_str(), &tm, loc.get())
                            : strftime(buffer, sizeof buffer, pattern.c_str(), &tm);
  return RepairUtf8(std::string_view(buffer, n));
}

std::string FormatV(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  char small[512];
  const int n = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return {};
  if (static_cast<std::size_t>(n) < sizeof small) return std::string(small, static_cast<std::size_t>(n));
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<std::size_t>(n));
  return text;
}

}  // namespace

TLogStampFormat LocaleStampFormat(const std::string& localeName) {
  LocalePtr loc = OpenTimeLocale(localeName);
  std::string dateForm = "%m/%d/%y";
  std::string timeForm = "%H:%M:%S";
  if (loc) {
    dateForm = nl_langinfo_l(D_FMT, loc.get());
    timeForm = nl_langinfo_l(T_FMT, loc.get());
  }
  TLogStampFormat format;
  format.shortDate = [loc, dateForm](const DateTimeFields& f) { return FormatFields(loc, dateForm, f); };
  format.longTime = [loc, timeForm](const DateTimeFields& f) { return FormatFields(loc, timeForm, f); };
  return format;
}

TRunLog::TRunLog(std::filesystem::path dataFolder, TLogStampFormat format)
    : file_(std::move(dataFolder) / "app.log"), format_(std::move(format)) {}

std::string TRunLog::Stamp() const {
  const DateTimeFields f = DecodeDateTime(Clock().Now());
  return format_.shortDate(f) + " " + format_.longTime(f);
}

void TRunLog::Log(std::string_view message) {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.push_back(Stamp() + "   " + std::string(message));
  SaveLocked();
  if (OnMessage) OnMessage(message);
}

void TRunLog::LogFmt(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string message = FormatV(format, args);
  va_end(args);
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.push_back(Stamp() + " " + message);
  SaveLocked();
  if (OnMessage) OnMessage(message);
}

void TRunLog::SaveLog() {
  std::lock_guard<std::mutex> lock(mutex_);
  SaveLocked();
}

void TRunLog::SaveLocked() {
  std::string text;
  for (const std::string& line : lines_) {
    text += line;
    text += "\r\n";
  }
  try {
    WriteFileAtomically(file_, text);
  } catch (const std::exception&) {
    lines_.push_back(kSaveErrorLine);
  }
}

void TRunLog::StartTiming() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    startTick_ = Clock().TickMs();
  }
  Log("Start Monitor");
}

void TRunLog::LogTimeUsed(std::string_view message) {
  int64_t elapsed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    elapsed = Clock().TickMs() - startTick_;
  }
  // The message is data, never part of the format.
  LogFmt("%.*s: time used %lld", static_cast<int>(message.size()), message.data(), static_cast<long long>(elapsed));
}

std::vector<std::string> TRunLog::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

}  // namespace tessellink
