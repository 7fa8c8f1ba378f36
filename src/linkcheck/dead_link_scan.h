#pragma once
// TDeadLinkScan: the dead-link checker without its window. It lists every
// bookmark of the open document, checks each address with a HEAD request on
// worker threads (at most ParallelChecks at once), keeps a verdict per row,
// selects the bad ones and deletes the selected bookmarks from the document.
//
// Every public call and every callback runs on the owner's thread. Results come
// back through the owner's dispatcher, which must run its tasks on that thread
// (the GUI's event loop, or a TQueueDispatcher drained by the owner) and must
// outlive the scan. The destructor aborts the running checks and waits for
// their threads, which end within moments once aborted.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/worker_dispatcher.h"
#include "linkcheck/detect_thread.h"
#include "linkcheck/link_status.h"
#include "store/bookmark_record.h"
#include "store/xbel_builder.h"

namespace tessellink {

inline constexpr int ParallelChecks = 5;

struct TScanRow {
  TBmkRec record;  // a copy of the bookmark's record
  LinkStatus status = LinkStatus::NotChecked;
  std::string detail;
  bool ticked = false;
  std::string path;  // FolderPathOf the bookmark

  std::string StatusText() const { return tessellink::StatusText(status, detail); }
  // The list's hint: the address of the row.
  std::string_view Hint() const { return record.Link(); }
};

enum class TScanColumn { Check = 0, Title = 1, Status = 2, Path = 3 };

class TDeadLinkScan {
 public:
  // Works on the owner's document itself, through the elements its records
  // hold. `records` is the owner's record list: it supplies the rows and loses
  // the records of deleted bookmarks, so that no record is left pointing at a
  // removed element.
  TDeadLinkScan(TBmkRecList& records, IWorkerDispatcher& dispatcher);
  ~TDeadLinkScan();
  TDeadLinkScan(const TDeadLinkScan&) = delete;
  TDeadLinkScan& operator=(const TDeadLinkScan&) = delete;

  // Time-outs and trust anchors of the checks; set before Start.
  TDetectOptions Options;
  // The document changed and must be saved now (the main window's SetModified(true)).
  std::function<void()> OnModified;
  // Rows, state or progress changed: repaint.
  std::function<void()> OnChanged;

  // The scan button: Start while the caption is "Start Scan", Stop otherwise.
  void ScanClick();
  void Start();
  // Aborts every running check and returns at once; later results are dropped.
  void Stop();
  // Auto Select: ticks the bad rows and clears every other tick.
  void AutoSelect();
  void SetTicked(std::size_t row, bool ticked);
  // Removes the ticked bookmarks from the document, their rows and their
  // records, then calls OnModified. Returns how many were removed.
  std::size_t Delete();
  // OK: the document is the owner's own; it only has to be saved.
  void Ok();
  // Cancel: stops and aborts every running check.
  void Cancel();
  // Header click: only while idle and for the left button. A new column sorts
  // ascending, the sorted column again reverses. False when nothing was done.
  bool HeaderClick(int column, bool leftButton = true);

  std::size_t RowCount() const { return rows_.size(); }
  const TScanRow& Row(std::size_t i) const { return *rows_[i]; }

  const char* Caption() const { return scanning_ ? "Stop Scan" : "Start Scan"; }
  bool Scanning() const { return scanning_; }
  bool Stopped() const { return stopped_; }
  bool Idle() const { return idle_; }
  bool ProgressVisible() const { return progressVisible_; }
  int ProgressPosition() const { return progressPosition_; }
  int ProgressMaximum() const { return progressMaximum_; }
  // The last row for which a check was started; -1 before the first.
  int RowCursor() const { return rowCursor_; }
  std::size_t RunningChecks() const { return running_.size(); }
  // Aborted checks whose late results have not come back yet.
  std::size_t EndingChecks() const { return stopping_.size(); }
  int SortColumn() const { return sortColumn_; }
  bool SortAscending() const { return sortAscending_; }

 private:
  struct Check {
    std::shared_ptr<TDetectThread> thread;
    std::shared_ptr<TScanRow> row;  // null once the row was deleted
    uint64_t run = 0;
  };

  void StartCheck(std::size_t row);
  void OnCheckDone(TDetectThread& thread);
  void StopScan();
  void Finish();
  void AbortAll();
  void Changed() const;

  TBmkRecList& records_;
  IWorkerDispatcher& dispatcher_;
  std::vector<std::shared_ptr<TScanRow>> rows_;
  std::vector<Check> running_;   // checks of the current run
  std::vector<Check> stopping_;  // aborted checks whose threads are still ending
  uint64_t run_ = 0;
  int rowCursor_ = -1;
  bool scanning_ = false;
  bool stopped_ = false;
  bool idle_ = true;
  bool progressVisible_ = false;
  int progressPosition_ = 0;
  int progressMaximum_ = 0;
  int sortColumn_ = -1;
  bool sortAscending_ = true;
  // Completion tasks still queued after the scan is gone find it cleared.
  std::shared_ptr<TDeadLinkScan*> self_;
};

}  // namespace tessellink
