#pragma once
// TDetectThread: one HEAD request for one bookmark on a thread of its own.
// The result (status code and reason phrase) reaches the owner through its
// dispatcher; the worker never touches the owner's objects itself.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/worker_dispatcher.h"
#include "app/worker_thread.h"

namespace tessellink {

inline constexpr long kDetectTimeoutMs = 60000;

struct TDetectOptions {
  long connectTimeoutMs = kDetectTimeoutMs;
  long timeoutMs = kDetectTimeoutMs;  // the request as a whole
  std::string caFile;                 // trust anchors in place of the system's (tests)
};

struct TDetectResult {
  int code = 0;
  std::string reason;
};

// Sends "HEAD" to `href` over HTTP/1.1 without a proxy and without following
// redirections. No answer gives 500 with an empty reason; an address the
// client refuses to send, or any error raised, gives kCheckRaisedCode.
TDetectResult DetectLink(const std::string& href, const TDetectOptions& options,
                         const std::atomic<bool>* abort = nullptr);

class TDetectThread : public std::enable_shared_from_this<TDetectThread> {
 public:
  // Runs through the dispatcher once the check has ended.
  using TTerminate = std::function<void(TDetectThread& check)>;

  static std::shared_ptr<TDetectThread> Create(std::string href, TDetectOptions options,
                                               IWorkerDispatcher& dispatcher);
  TDetectThread(const TDetectThread&) = delete;
  TDetectThread& operator=(const TDetectThread&) = delete;

  TTerminate OnTerminate;  // set before Start

  // The thread holds the object until it ends, so the owner may let it go.
  void Start();
  // Tells the request to stop; returns at once. The result is then 500.
  void Abort() { abort_ = true; }
  // Blocks until the thread has ended (never from inside OnTerminate).
  void Wait();

  const std::string& Href() const { return href_; }
  int Code() const { return result_.code; }
  const std::string& Reason() const { return result_.reason; }

 private:
  TDetectThread(std::string href, TDetectOptions options, IWorkerDispatcher& dispatcher);
  void Execute();

  std::string href_;
  TDetectOptions options_;
  IWorkerDispatcher& dispatcher_;
  std::atomic<bool> abort_{false};
  TDetectResult result_;
  TWorkerThread thread_;  // last: joined before the other members go
};

}  // namespace tessellink
