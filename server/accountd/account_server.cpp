#include "accountd/account_server.h"

#include <cstdio>
#include <ctime>
#include <mutex>
#include <thread>

namespace tessellink::accountd {

namespace {

constexpr const char* kContentType = "text/xml";
constexpr size_t kMaxLoggedUserBytes = 80;

// A user name in a log line: quoted, with control bytes, quotes and backslashes
// escaped so that a name cannot forge log lines.
std::string LogText(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (size_t i = 0; i < text.size() && i < kMaxLoggedUserBytes; ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte == 0x7F || byte == '"' || byte == '\\') {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += text[i];
    }
  }
  if (text.size() > kMaxLoggedUserBytes) out += "...";
  out += '"';
  return out;
}

std::string TimeStamp() {
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

}  // namespace

void LogToStandardError(const std::string& line) {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

AccountServer::AccountServer(AccountService& service, LogSink log) : service_(service), log_(std::move(log)) {
  server_.Get("/bmkuserlogin.php", [this](const httplib::Request& request, httplib::Response& response) {
    Serve(request, response, &AccountService::Login);
  });
  server_.Get("/test.php", [this](const httplib::Request& request, httplib::Response& response) {
    Serve(request, response, &AccountService::Register);
  });
  server_.Get("/tochangepwd.php", [this](const httplib::Request& request, httplib::Response& response) {
    Serve(request, response, &AccountService::ChangePassword);
  });
  server_.Get("/forgetpassword.php", [this](const httplib::Request& request, httplib::Response& response) {
    Serve(request, response, &AccountService::ForgetPassword);
  });
  // Unknown paths, other methods and requests the HTTP layer refused still get a
  // reply document, so a misconfigured base URL shows a readable message.
  server_.set_error_handler([this](const httplib::Request& request, httplib::Response& response) {
    Outcome outcome;
    outcome.action = "status " + std::to_string(response.status);
    outcome.reply = Failure(response.status == 404 ? "Unknown request." : "Malformed request.");
    response.set_content(MsgDocument(outcome.reply), kContentType);
    Log(request, outcome);
  });
  server_.set_exception_handler(
      [this](const httplib::Request& request, httplib::Response& response, std::exception_ptr) {
        Outcome outcome;
        outcome.action = "exception";
        outcome.reply = Failure(std::string(kServiceFailed));
        response.status = 500;
        response.set_content(MsgDocument(outcome.reply), kContentType);
        Log(request, outcome);
      });
}

AccountServer::~AccountServer() { Stop(); }

int AccountServer::Bind(const std::string& address, int port) {
  if (port < 0 || port > 65535) return -1;
  if (port == 0) return server_.bind_to_any_port(address);
  return server_.bind_to_port(address, port) ? port : -1;
}

bool AccountServer::Run() {
  in_run_ = true;
  bool served = true;
  if (!stop_requested_) served = server_.listen_after_bind();
  in_run_ = false;
  return served || stop_requested_;
}

void AccountServer::Stop() {
  stop_requested_ = true;
  // httplib ignores stop() until its accept loop runs; wait for it when Run() is on its way.
  while (in_run_) {
    if (server_.is_running()) {
      server_.stop();
      return;
    }
    std::this_thread::yield();
  }
}

void AccountServer::Serve(const httplib::Request& request, httplib::Response& response,
                          Outcome (AccountService::*handler)(const QueryValues&)) {
  Outcome outcome;
  // The raw target: httplib's own decoding turns "+" into a blank.
  if (auto query = ParseQuery(QueryOfTarget(request.target))) {
    outcome = (service_.*handler)(*query);
  } else {
    outcome.action = "malformed query";
    outcome.reply = Failure("Malformed request.");
  }
  response.status = 200;
  response.set_content(MsgDocument(outcome.reply), kContentType);
  Log(request, outcome);
}

void AccountServer::Log(const httplib::Request& request, const Outcome& outcome) {
  if (!log_) return;
  std::string line = TimeStamp() + " " + request.remote_addr + " " + request.method + " " + LogText(request.path);
  if (!outcome.user.empty()) line += " user=" + LogText(outcome.user);
  line += " " + outcome.action + " -> ";
  line += outcome.reply.ok ? "OK" : "FALSE " + LogText(outcome.reply.desc);
  log_(line);
}

}  // namespace tessellink::accountd
