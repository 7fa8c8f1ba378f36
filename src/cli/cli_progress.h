#pragma once
// A live progress line on a terminal: "Importing: 1234/100000 (1%)", redrawn at
// most ten times a second, ended by a line break when the work is done.

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

#include "cli/cli_session.h"
#include "store/progress.h"

namespace tessellink {

class TerminalProgress : public IProgress {
 public:
  TerminalProgress(std::ostream& err, std::string label) : err_(err), label_(std::move(label)) {}
  ~TerminalProgress() override;
  void SetTotal(int64_t total) override;
  void Advance(int64_t steps) override;
  // For work that counts by itself: shows `done` of `total`.
  void Show(int64_t done, int64_t total);

 private:
  void Draw(bool force);

  std::ostream& err_;
  std::string label_;
  int64_t total_ = 0, done_ = 0;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_{};
};

// The line, when standard error is a terminal; none otherwise.
std::unique_ptr<TerminalProgress> ProgressFor(Session& session, const char* label);

}  // namespace tessellink
