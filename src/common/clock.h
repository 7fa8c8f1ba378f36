#pragma once
// Dates and times as the bookmark files and settings count them: days since
// 1899-12-30, the fraction being the time of day. The clock is injectable so
// that tests can fix "now".

#include <cstdint>
#include <optional>

namespace tessellink {

using TDateTime = double;

struct DateTimeFields {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

bool IsValidDate(int year, int month, int day);  // years 1 to 9999
std::optional<TDateTime> EncodeDate(int year, int month, int day);
TDateTime EncodeDateTime(const DateTimeFields& f);  // fields must be valid
DateTimeFields DecodeDateTime(TDateTime value);

class IClock {
 public:
  virtual ~IClock() = default;
  virtual TDateTime Now() const = 0;     // local clock
  virtual TDateTime NowUtc() const = 0;  // UTC clock
  virtual int64_t TickMs() const = 0;    // monotonic milliseconds
};

const IClock& Clock();
// Replaces the process clock (nullptr restores the system clock). Tests only.
void SetClockForTesting(const IClock* clock);

class TFixedClock : public IClock {
 public:
  explicit TFixedClock(TDateTime local, TDateTime utc, int64_t tick = 0)
      : local_(local), utc_(utc), tick_(tick) {}
  TDateTime Now() const override { return local_; }
  TDateTime NowUtc() const override { return utc_; }
  int64_t TickMs() const override { return tick_; }
  void Set(TDateTime local, TDateTime utc) { local_ = local, utc_ = utc; }
  void Advance(int64_t ms) { tick_ += ms; }

 private:
  TDateTime local_, utc_;
  int64_t tick_;
};

}  // namespace tessellink
