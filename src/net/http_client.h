#pragma once
// One HTTP/1.1 exchange over libcurl. Every request gets an easy handle of its
// own, so requests may run on several threads at once. Network failures never
// throw: they come back as a reply with status 500, an empty status text and a
// transport error text.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessellink {

// Reasons of status reports, as the transfer status table numbers them.
enum THttpStatusReason : int {
  kStatusResolving = 0,
  kStatusResolved = 1,
  kStatusConnecting = 2,
  kStatusDisconnected = 3,
  kStatusConnected = 5,
  kStatusBytesRead = 10,     // value: body bytes of this read, in decimal
  kStatusBytesWritten = 11,  // value: body bytes of this write, in decimal
};

using THttpStatusCallback = std::function<void(int reason, std::string_view value)>;

enum class TProxyMode {
  None,    // never a proxy, whatever the environment says
  Manual,  // host and port below
  System,  // http_proxy / HTTP_PROXY, or https_proxy / HTTPS_PROXY for https addresses
};

struct THttpProxy {
  TProxyMode mode = TProxyMode::None;
  std::string host;  // Manual only; empty means no proxy
  std::string port;  // Manual only; decimal text, empty for the default port
  // Basic credentials for the proxy, in Manual and System mode; an empty user
  // sends none. Credentials inside the environment value take precedence.
  std::string user;
  std::string password;
};

// Where a proxy text points: "host:port", "http://user:pw@host:port/", or a
// list in the classic system form ("http=host:port;https=..." separated by
// blanks, commas or semicolons). The first entry "http=..." wins, else the last
// entry without "=". Empty host when the text names none.
struct TProxyAddress {
  std::string host;
  std::string port;
  std::optional<std::string> user;  // only when the text carries "user[:password]@"
  std::string password;
};
TProxyAddress ParseProxyText(std::string_view text);

// The system proxy for an address with this scheme ("http" or "https"), read
// from the environment; empty host when none is set.
TProxyAddress SystemProxyFor(std::string_view scheme);

// "%XX" (either letter case) becomes the byte; everything else stays, "+" included.
std::string PercentDecode(std::string_view text);

struct THttpReply;

// Receives the reply body in pieces. The head (status and headers) is filled
// when the first piece arrives. Return false to stop the transfer.
using THttpBodySink = std::function<bool(const THttpReply& head, std::string_view chunk)>;

struct THttpRequest {
  std::string method = "GET";  // GET, PUT, HEAD or any other token
  std::string url;             // http:// or https:// only
  // "Name: value" lines added to the request; "Name:" alone drops a header the
  // library would send by itself.
  std::vector<std::string> headers;
  // Sent for PUT (even when empty) and for any other method when not empty.
  std::string body;
  std::optional<std::pair<std::string, std::string>> basicAuth;  // user, password
  THttpProxy proxy;
  long connectTimeoutMs = 60000;  // 0: the library's default
  long timeoutMs = 0;             // whole request; 0: none
  long idleTimeoutMs = 0;         // nothing moved for this long; 0: none (second steps)
  const std::atomic<bool>* abort = nullptr;  // raised by any thread: stop now
  THttpStatusCallback onStatus;   // runs on the requesting thread
  THttpBodySink bodySink;         // when set, the body goes here, not to THttpReply::body
  // Trust anchors (PEM) used in place of the system's store; certificates and
  // host names are verified either way.
  std::string caFile;
};

enum class THttpFailure {
  None,
  InvalidRequest,  // refused before anything was sent
  Resolve,
  Connect,
  Tls,
  TimedOut,
  Aborted,
  Callback,  // a status callback or body sink failed or refused data
  Other,
};

inline constexpr int kNoAnswerStatus = 500;

struct THttpReply {
  int statusCode = 0;
  std::string statusText;            // the reason phrase exactly as the server sent it
  std::vector<std::string> headers;  // as received, without the status line and line ends
  std::string body;                  // empty when a sink took it, or after a transport failure
  int64_t bytesSent = 0;             // request body bytes handed to the connection
  int64_t bytesRead = 0;             // reply body bytes received
  THttpFailure failure = THttpFailure::None;
  std::string transportError;        // empty when the exchange completed

  bool Answered() const { return failure == THttpFailure::None; }
};

// The value of the first header named `name` (ASCII letter case ignored),
// blanks around it removed.
std::optional<std::string> HeaderValue(const THttpReply& reply, std::string_view name);

class THttpClient {
 public:
  // Runs one exchange to its end. Without an answer (nothing or only part of a
  // reply arrived) the reply reports status 500, an empty status text, an empty
  // body and the reason in `failure` and `transportError`.
  THttpReply Execute(const THttpRequest& request) const;
};

}  // namespace tessellink
