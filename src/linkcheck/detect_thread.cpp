#include "linkcheck/detect_thread.h"

#include <exception>

#include "linkcheck/link_status.h"
#include "net/http_client.h"

namespace tessellink {

TDetectResult DetectLink(const std::string& href, const TDetectOptions& options, const std::atomic<bool>* abort) {
  try {
    THttpRequest request;
    request.method = "HEAD";
    request.url = href;
    request.headers = {"User-Agent: Tessellink"};
    request.proxy.mode = TProxyMode::None;
    request.connectTimeoutMs = options.connectTimeoutMs;
    request.timeoutMs = options.timeoutMs;
    request.abort = abort;
    request.caFile = options.caFile;
    const THttpReply reply = THttpClient().Execute(request);
    // An address the client will not send (another scheme, blanks) is an
    // error of the request, not a missing answer.
    if (reply.failure == THttpFailure::InvalidRequest) return {kCheckRaisedCode, {}};
    return {reply.statusCode, reply.statusText};
  } catch (...) {
    return {kCheckRaisedCode, {}};
  }
}

std::shared_ptr<TDetectThread> TDetectThread::Create(std::string href, TDetectOptions options,
                                                     IWorkerDispatcher& dispatcher) {
  return std::shared_ptr<TDetectThread>(new TDetectThread(std::move(href), std::move(options), dispatcher));
}

TDetectThread::TDetectThread(std::string href, TDetectOptions options, IWorkerDispatcher& dispatcher)
    : href_(std::move(href)), options_(std::move(options)), dispatcher_(dispatcher) {}

void TDetectThread::Start() {
  thread_.Start([self = shared_from_this()] { self->Execute(); });
}

void TDetectThread::Wait() {
  thread_.Wait();
}

void TDetectThread::Execute() {
  result_ = DetectLink(href_, options_, &abort_);
  try {
    dispatcher_.Post([self = shared_from_this()] {
      if (!self->OnTerminate) return;
      TTerminate handler = std::move(self->OnTerminate);
      self->OnTerminate = nullptr;
      handler(*self);
    });
  } catch (...) {
    // Nothing to report to when the dispatcher cannot take the task.
  }
}

}  // namespace tessellink
