#pragma once
// A progress indicator that long operations advance; the GUI shows a bar, the
// command-line tool a line on a terminal, tests count.

#include <cstdint>

namespace tessellink {

class IProgress {
 public:
  virtual ~IProgress() = default;
  virtual void SetTotal(int64_t total) = 0;
  virtual void Advance(int64_t steps = 1) = 0;
};

}  // namespace tessellink
