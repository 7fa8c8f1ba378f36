#pragma once
// The run log: the time-stamped lines of this run, kept in memory and written
// as a whole to "app.log" in the data folder after every line, so the file
// always holds exactly the current run.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/clock.h"

namespace tessellink {

// How the time stamp of a line is written: the user's short date form and long
// time form. Injectable so that tests get fixed texts.
struct TLogStampFormat {
  std::function<std::string(const DateTimeFields&)> shortDate;
  std::function<std::string(const DateTimeFields&)> longTime;
};

// The date and time forms (D_FMT, T_FMT) of the named LC_TIME locale; an empty
// name means the user's environment. A locale that cannot be loaded falls back
// to the C locale.
TLogStampFormat LocaleStampFormat(const std::string& localeName);
inline TLogStampFormat UserStampFormat() { return LocaleStampFormat(""); }

class TRunLog {
 public:
  explicit TRunLog(std::filesystem::path dataFolder, TLogStampFormat format = UserStampFormat());
  TRunLog(const TRunLog&) = delete;
  TRunLog& operator=(const TRunLog&) = delete;

  // Date, blank, time, three blanks, message.
  void Log(std::string_view message);
  // Date, blank, time, one blank, formatted message.
  void LogFmt(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Rewrites "app.log" with every line of this run, each ended by CR LF. A failed
  // write adds "save to log error!!!" to the lines in memory; it never throws.
  void SaveLog();
  // Remembers the clock's tick count and logs "Start Monitor".
  void StartTiming();
  // "<message>: time used <ms since StartTiming>".
  void LogTimeUsed(std::string_view message);

  std::vector<std::string> Lines() const;

  // Also told every message, without its stamp (the command-line tool shows
  // them as warnings). Set it before any other thread logs.
  std::function<void(std::string_view message)> OnMessage;
  std::filesystem::path FilePath() const { return file_; }

 private:
  std::string Stamp() const;
  void SaveLocked();

  const std::filesystem::path file_;
  const TLogStampFormat format_;
  mutable std::mutex mutex_;  // workers log too; keeps lines and file in step
  std::vector<std::string> lines_;
  int64_t startTick_ = 0;
};

}  // namespace tessellink
