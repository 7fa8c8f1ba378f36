#include "cli/cli_progress.h"

#include <ostream>

namespace tessellink {

TerminalProgress::~TerminalProgress() {
  if (drawn_) err_ << "\n" << std::flush;
}

void TerminalProgress::SetTotal(int64_t total) {
  total_ = total;
  Draw(true);
}

void TerminalProgress::Advance(int64_t steps) {
  done_ += steps;
  Draw(done_ >= total_);
}

void TerminalProgress::Show(int64_t done, int64_t total) {
  done_ = done;
  total_ = total;
  Draw(done_ >= total_);
}

void TerminalProgress::Draw(bool force) {
  const auto now = std::chrono::steady_clock::now();
  if (!force && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  drawn_ = true;
  err_ << "\r" << label_ << ": " << done_;
  if (total_ > 0) err_ << "/" << total_ << " (" << (done_ >= total_ ? 100 : done_ * 100 / total_) << "%)";
  err_ << std::flush;
}

std::unique_ptr<TerminalProgress> ProgressFor(Session& s, const char* label) {
  if (!s.ErrIsTerminal()) return nullptr;
  return std::make_unique<TerminalProgress>(s.Err(), label);
}

}  // namespace tessellink
