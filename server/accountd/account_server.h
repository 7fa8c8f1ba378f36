#pragma once
// The account service over HTTP: routes, reply documents and one log line per request.

#include <httplib.h>

#include <atomic>
#include <functional>
#include <string>

#include "accountd/account_service.h"

namespace tessellink::accountd {

using LogSink = std::function<void(const std::string& line)>;

// Writes the line and a line break to standard error, one line at a time.
void LogToStandardError(const std::string& line);

class AccountServer {
 public:
  AccountServer(AccountService& service, LogSink log = LogToStandardError);
  ~AccountServer();  // stops; the thread in Run() must have returned before destruction
  AccountServer(const AccountServer&) = delete;
  AccountServer& operator=(const AccountServer&) = delete;

  // Binds and listens; port 0 picks a free one. Returns the port, or -1 on failure.
  int Bind(const std::string& address, int port);
  // Serves until Stop(). False when serving could not start.
  bool Run();
  // From any thread, before, during or after Run().
  void Stop();

 private:
  void Serve(const httplib::Request& request, httplib::Response& response,
             Outcome (AccountService::*handler)(const QueryValues&));
  void Log(const httplib::Request& request, const Outcome& outcome);

  AccountService& service_;
  LogSink log_;
  httplib::Server server_;
  std::atomic<bool> in_run_{false};
  std::atomic<bool> stop_requested_{false};
};

}  // namespace tessellink::accountd
