#include "linkcheck/dead_link_scan.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

namespace tessellink {

TDeadLinkScan::TDeadLinkScan(TBmkRecList& records, IWorkerDispatcher& dispatcher)
    : records_(records), dispatcher_(dispatcher), self_(std::make_shared<TDeadLinkScan*>(this)) {
  rows_.reserve(records.size());
  for (const TBmkRec* rec : records) {
    auto row = std::make_shared<TScanRow>();
    row->record = *rec;
    row->path = TXbelBuilder::FolderPathOf(rec->Bookmark);
    rows_.push_back(std::move(row));
  }
}

TDeadLinkScan::~TDeadLinkScan() {
  *self_ = nullptr;
  for (auto* list : {&running_, &stopping_})
    for (Check& c : *list) c.thread->Abort();
  // The threads post to the dispatcher as their last act: none may still be at it.
  for (auto* list : {&running_, &stopping_})
    for (Check& c : *list) c.thread->Wait();
}

void TDeadLinkScan::Changed() const {
  if (OnChanged) OnChanged();
}

void TDeadLinkScan::ScanClick() {
  if (scanning_)
    Stop();
  else
    Start();
}

void TDeadLinkScan::Start() {
  if (scanning_) return;
  ++run_;
  stopped_ = false;
  rowCursor_ = -1;
  progressPosition_ = 0;
  progressMaximum_ = static_cast<int>(rows_.size());
  if (rows_.empty()) {
    // Nothing to wait for: the scan is finished as soon as it starts.
    stopped_ = true;
    Changed();
    return;
  }
  idle_ = false;
  scanning_ = true;
  progressVisible_ = true;
  const std::size_t first = std::min<std::size_t>(ParallelChecks, rows_.size());
  for (std::size_t i = 0; i < first; ++i) {
    rowCursor_ = static_cast<int>(i);
    StartCheck(i);
  }
  Changed();
}

void TDeadLinkScan::StartCheck(std::size_t index) {
  const std::shared_ptr<TScanRow>& row = rows_[index];
  row->status = LinkStatus::Waiting;
  auto thread = TDetectThread::Create(std::string(row->record.Link()), Options, dispatcher_);
  std::weak_ptr<TDeadLinkScan*> self = self_;
  thread->OnTerminate = [self](TDetectThread& done) {
    const auto alive = self.lock();
    if (alive && *alive) (*alive)->OnCheckDone(done);
  };
  running_.push_back({thread, row, run_});
  try {
    thread->Start();
  } catch (...) {
    // No thread to run it: the check ends at once without an answer (code 0).
    dispatcher_.Post([thread] {
      if (thread->OnTerminate) thread->OnTerminate(*thread);
    });
  }
}

void TDeadLinkScan::OnCheckDone(TDetectThread& thread) {
  // The worker posted this as its last act and is leaving; once joined, no
  // thread of this scan is still inside the dispatcher when the scan goes.
  thread.Wait();
  const auto of = [&](const Check& c) { return c.thread.get() == &thread; };
  auto it = std::find_if(running_.begin(), running_.end(), of);
  if (it == running_.end() || stopped_ || it->run != run_) {
    // A late result of a stopped run: only its bookkeeping goes.
    std::erase_if(stopping_, of);
    return;
  }
  const std::shared_ptr<TScanRow> row = it->row;
  running_.erase(it);
  if (row) {
    const int code = thread.Code();
    row->status = VerdictOf(code);
    if (TicksOnArrival(code)) row->ticked = true;
    row->detail = DetailOf(code, thread.Reason());
  }
  if (rowCursor_ + 1 < static_cast<int>(rows_.size())) {
    ++rowCursor_;
    StartCheck(static_cast<std::size_t>(rowCursor_));
  }
  ++progressPosition_;
  if (progressPosition_ >= progressMaximum_) Finish();
  Changed();
}

void TDeadLinkScan::Finish() {
  progressVisible_ = false;
  StopScan();
}

void TDeadLinkScan::AbortAll() {
  for (Check& c : running_) {
    c.thread->Abort();
    stopping_.push_back(std::move(c));
  }
  running_.clear();
}

void TDeadLinkScan::StopScan() {
  stopped_ = true;
  idle_ = true;
  progressVisible_ = false;
  AbortAll();
  scanning_ = false;
}

void TDeadLinkScan::Stop() {
  if (!scanning_) return;
  StopScan();
  Changed();
}

void TDeadLinkScan::Cancel() {
  StopScan();
  Changed();
}

void TDeadLinkScan::Ok() {
  if (OnModified) OnModified();
}

void TDeadLinkScan::AutoSelect() {
  for (auto& row : rows_) row->ticked = IsBadLink(row->status);
  Changed();
}

void TDeadLinkScan::SetTicked(std::size_t row, bool ticked) {
  if (row >= rows_.size()) return;
  rows_[row]->ticked = ticked;
  Changed();
}

std::size_t TDeadLinkScan::Delete() {
  std::unordered_set<pugi::xml_node_struct*> removed;
  std::vector<std::shared_ptr<TScanRow>> kept;
  kept.reserve(rows_.size());
  int startedGone = 0, unstartedGone = 0;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const std::shared_ptr<TScanRow>& row = rows_[i];
    if (!row->ticked) {
      kept.push_back(row);
      continue;
    }
    if (static_cast<int>(i) <= rowCursor_)
      ++startedGone;
    else
      ++unstartedGone;
    for (Check& c : running_)
      if (c.row == row) c.row = nullptr;
    const pugi::xml_node node = row->record.Bookmark.Node();
    if (node && removed.insert(node.internal_object()).second) TXbelBuilder::RemoveNode(row->record.Bookmark);
  }
  const std::size_t count = rows_.size() - kept.size();
  rows_ = std::move(kept);

  records_.RemoveIf([&](const TBmkRec& rec) { return removed.count(rec.Bookmark.Node().internal_object()) != 0; });

  if (scanning_) {
    // The rows still to come moved up; rows that will never be started no longer count.
    rowCursor_ -= startedGone;
    progressMaximum_ -= unstartedGone;
    if (progressPosition_ >= progressMaximum_) Finish();
  }
  if (OnModified) OnModified();
  Changed();
  return count;
}

bool TDeadLinkScan::HeaderClick(int column, bool leftButton) {
  if (!idle_ || !leftButton) return false;
  if (column < static_cast<int>(TScanColumn::Title) || column > static_cast<int>(TScanColumn::Path)) return false;
  if (column == sortColumn_) {
    sortAscending_ = !sortAscending_;
  } else {
    sortColumn_ = column;
    sortAscending_ = true;
  }
  const auto key = [column](const TScanRow& row) -> std::string_view {
    switch (static_cast<TScanColumn>(column)) {
      case TScanColumn::Title: return row.record.Title();
      case TScanColumn::Status: return row.detail;
      default: return row.path;
    }
  };
  // Byte order, letter case counting; equal keys keep their order.
  const bool ascending = sortAscending_;
  std::stable_sort(rows_.begin(), rows_.end(), [&](const auto& a, const auto& b) {
    return ascending ? key(*a) < key(*b) : key(*b) < key(*a);
  });
  Changed();
  return true;
}

}  // namespace tessellink
