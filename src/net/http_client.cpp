#include "net/http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>

#include "common/text.h"

namespace tessellink {

namespace {

// Pieces handed to libcurl per read, so that upload progress comes in steps.
constexpr size_t kUploadChunk = 16 * 1024;
// How long the transfer loop sleeps at most before it looks at the abort flag again.
constexpr int kAbortPollMs = 50;

bool GlobalInit() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  return ok;
}

bool IsTokenChar(unsigned char c) {
  if (c <= 32 || c >= 127) return false;
  return std::string_view("()<>@,;:\\\"/[]?={}").find(static_cast<char>(c)) == std::string_view::npos;
}

bool IsToken(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return IsTokenChar(static_cast<unsigned char>(c));
  });
}

bool HasLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string_view SchemeOf(std::string_view url) {
  const size_t colon = url.find("://");
  return colon == std::string_view::npos ? std::string_view() : url.substr(0, colon);
}

bool ValidPort(std::string_view port, long* value) {
  const auto n = ParseInteger(port);
  if (port.empty() || !n || *n < 1 || *n > 65535 ||
      !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  *value = *n;
  return true;
}

struct CurlSlist {
  curl_slist* list = nullptr;
  ~CurlSlist() { curl_slist_free_all(list); }
  bool Append(const std::string& line) {
    curl_slist* next = curl_slist_append(list, line.c_str());
    if (!next) return false;
    list = next;
    return true;
  }
};

struct EasyDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct MultiDeleter {
  void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};

// State shared with libcurl's callbacks for one exchange.
struct Exchange {
  const THttpRequest* request = nullptr;
  THttpReply* reply = nullptr;
  size_t uploadPos = 0;
  bool resolvedReported = false;
  bool connectedReported = false;
  bool inHead = false;      // between a status line and the blank line after it
  bool callbackFailed = false;
  std::string callbackError;

  // Reports a status; false when the callback threw (the transfer then stops).
  bool Report(int reason, std::string_view value = {}) {
    if (!request->onStatus) return true;
    try {
      request->onStatus(reason, value);
      return true;
    } catch (const std::exception& e) {
      Fail(std::string("Status report failed: ") + e.what());
    } catch (...) {
      Fail("Status report failed");
    }
    return false;
  }

  void Fail(std::string text) {
    if (!callbackFailed) callbackError = std::move(text);
    callbackFailed = true;
  }
};

void ParseStatusLine(std::string_view line, THttpReply* reply) {
  // "HTTP/1.1 418 I'm a teapot": the reason phrase is everything after the
  // blank that follows the code, kept as sent.
  reply->statusCode = 0;
  reply->statusText.clear();
  const size_t space = line.find(' ');
  if (space == std::string_view::npos) return;
  std::string_view rest = line.substr(space + 1);
  size_t digits = 0;
  while (digits < rest.size() && digits < 3 && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
  if (digits != 3) return;
  reply->statusCode = (rest[0] - '0') * 100 + (rest[1] - '0') * 10 + (rest[2] - '0');
  if (rest.size() > 3 && rest[3] == ' ') reply->statusText = std::string(rest.substr(4));
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* ex = static_cast<Exchange*>(user);
  const size_t n = size * count;
  std::string_view line(data, n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.substr(0, 5) == "HTTP/") {
    // Each status line starts a new head; an interim "100 Continue" is forgotten.
    ex->reply->headers.clear();
    ParseStatusLine(line, ex->reply);
    ex->inHead = true;
  } else if (line.empty()) {
    ex->inHead = false;
  } else if (ex->inHead) {
    ex->reply->headers.emplace_back(line);
  }
  return n;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* ex = static_cast<Exchange*>(user);
  const size_t n = size * count;
  std::string_view chunk(data, n);
  ex->reply->bytesRead += static_cast<int64_t>(n);
  if (ex->request->bodySink) {
    try {
      if (!ex->request->bodySink(*ex->reply, chunk)) {
        ex->Fail("The receiver refused the reply body");
        return 0;
      }
    } catch (const std::exception& e) {
      ex->Fail(std::string("The receiver of the reply body failed: ") + e.what());
      return 0;
    } catch (...) {
      ex->Fail("The receiver of the reply body failed");
      return 0;
    }
  } else {
    ex->reply->body.append(chunk);
  }
  if (!ex->Report(kStatusBytesRead, std::to_string(n))) return 0;
  return n;
}

size_t OnUpload(char* buffer, size_t size, size_t count, void* user) {
  auto* ex = static_cast<Exchange*>(user);
  const std::string& body = ex->request->body;
  const size_t n = std::min({size * count, kUploadChunk, body.size() - ex->uploadPos});
  if (n == 0) return 0;
  std::copy_n(body.data() + ex->uploadPos, n, buffer);
  ex->uploadPos += n;
  ex->reply->bytesSent += static_cast<int64_t>(n);
  if (!ex->Report(kStatusBytesWritten, std::to_string(n))) return CURL_READFUNC_ABORT;
  return n;
}

// Called once the socket exists and before it connects: the name is resolved.
int OnSocketCreated(void* user, curl_socket_t, curlsocktype purpose) {
  auto* ex = static_cast<Exchange*>(user);
  if (purpose != CURLSOCKTYPE_IPCXN) return CURL_SOCKOPT_OK;
  if (!ex->resolvedReported) {
    ex->resolvedReported = true;
    if (!ex->Report(kStatusResolved)) return CURL_SOCKOPT_ERROR;
  }
  return ex->Report(kStatusConnecting) ? CURL_SOCKOPT_OK : CURL_SOCKOPT_ERROR;
}

// Called when the connection (TLS and proxy tunnel included) stands.
int OnConnected(void* user, char*, char*, int, int) {
  auto* ex = static_cast<Exchange*>(user);
  ex->connectedReported = true;
  return ex->Report(kStatusConnected) ? CURL_PREREQFUNC_OK : CURL_PREREQFUNC_ABORT;
}

THttpFailure FailureOf(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return THttpFailure::Resolve;
    case CURLE_COULDNT_CONNECT:
      return THttpFailure::Connect;
    case CURLE_OPERATION_TIMEDOUT:
      return THttpFailure::TimedOut;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
      return THttpFailure::Tls;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return THttpFailure::InvalidRequest;
    default:
      return THttpFailure::Other;
  }
}

// The configuration problem of a request, or empty when it may be sent.
std::string CheckRequest(const THttpRequest& r) {
  if (!IsToken(r.method)) return "Invalid request method \"" + r.method + "\"";
  const std::string scheme = AsciiLowerCase(SchemeOf(r.url));
  if (scheme != "http" && scheme != "https") return "Only http and https addresses are supported";
  for (unsigned char c : r.url)
    if (c <= 32 || c == 127) return "The address contains blanks or control characters";
  for (const std::string& h : r.headers) {
    const size_t colon = h.find(':');
    if (HasLineBreakOrNul(h) || colon == std::string::npos || !IsToken(std::string_view(h).substr(0, colon)))
      return "Invalid header line \"" + h + "\"";
  }
  return {};
}

void Finish(THttpReply* reply, THttpFailure failure, std::string text) {
  reply->failure = failure;
  reply->transportError = std::move(text);
  reply->statusCode = kNoAnswerStatus;
  reply->statusText.clear();
  reply->body.clear();
}

}  // namespace

TProxyAddress ParseProxyText(std::string_view text) {
  std::vector<std::string_view> entries;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == ' ' || text[i] == ',' || text[i] == ';' || text[i] == '\t') {
      if (i > start) entries.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  std::optional<std::string_view> chosen;
  for (std::string_view e : entries)
    if (e.size() >= 5 && SameAsciiText(e.substr(0, 5), "http=")) {
      chosen = e.substr(5);
      break;
    }
  if (!chosen)
    for (std::string_view e : entries)
      if (e.find('=') == std::string_view::npos) chosen = e;
  TProxyAddress address;
  if (!chosen) return address;
  std::string_view v = *chosen;
  if (const size_t s = v.find("://"); s != std::string_view::npos) v = v.substr(s + 3);
  if (const size_t slash = v.find('/'); slash != std::string_view::npos) v = v.substr(0, slash);
  if (const size_t at = v.rfind('@'); at != std::string_view::npos) {
    const std::string_view userinfo = v.substr(0, at);
    const size_t colon = userinfo.find(':');
    address.user = PercentDecode(userinfo.substr(0, colon));
    if (colon != std::string_view::npos) address.password = PercentDecode(userinfo.substr(colon + 1));
    v = v.substr(at + 1);
  }
  if (!v.empty() && v.front() == '[') {  // [IPv6]:port
    const size_t close = v.find(']');
    if (close != std::string_view::npos) {
      address.host = std::string(v.substr(0, close + 1));
      std::string_view rest = v.substr(close + 1);
      if (!rest.empty() && rest.front() == ':') address.port = std::string(Trim(rest.substr(1)));
      return address;
    }
  }
  const size_t colon = v.find(':');
  address.host = std::string(Trim(v.substr(0, colon)));
  if (colon != std::string_view::npos) address.port = std::string(Trim(v.substr(colon + 1)));
  return address;
}

TProxyAddress SystemProxyFor(std::string_view scheme) {
  static const char* const kHttp[] = {"http_proxy", "HTTP_PROXY"};
  static const char* const kHttps[] = {"https_proxy", "HTTPS_PROXY"};
  for (const char* name : SameAsciiText(scheme, "https") ? kHttps : kHttp) {
    const char* value = std::getenv(name);
    if (value && *value) return ParseProxyText(value);
  }
  return {};
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 &&
        HexDigitValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::optional<std::string> HeaderValue(const THttpReply& reply, std::string_view name) {
  for (const std::string& line : reply.headers) {
    const size_t colon = line.find(':');
    if (colon != std::string::npos && SameAsciiText(std::string_view(line).substr(0, colon), name))
      return std::string(Trim(std::string_view(line).substr(colon + 1)));
  }
  return std::nullopt;
}

THttpReply THttpClient::Execute(const THttpRequest& request) const {
  THttpReply reply;
  if (std::string problem = CheckRequest(request); !problem.empty()) {
    Finish(&reply, THttpFailure::InvalidRequest, std::move(problem));
    return reply;
  }
  if (!GlobalInit()) {
    Finish(&reply, THttpFailure::Other, "The HTTP library could not be initialised");
    return reply;
  }
  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
  if (!easy || !multi) {
    Finish(&reply, THttpFailure::Other, "Out of memory for the HTTP request");
    return reply;
  }
  CURL* h = easy.get();
  Exchange ex;
  ex.request = &request;
  ex.reply = &reply;
  char errorBuffer[CURL_ERROR_SIZE] = {};

  CurlSlist headers;
  bool hasExpect = false;
  for (const std::string& line : request.headers) {
    hasExpect = hasExpect || SameAsciiText(std::string_view(line).substr(0, line.find(':')), "Expect");
    headers.Append(line);
  }
  // libcurl would otherwise pause large uploads waiting for "100 Continue".
  if (!hasExpect) headers.Append("Expect:");

  const std::string scheme = AsciiLowerCase(SchemeOf(request.url));
  std::string proxyHost, proxyUser, proxyPassword, noProxy;
  std::string proxyPort;
  const THttpProxy& proxy = request.proxy;
  if (proxy.mode == TProxyMode::Manual) {
    proxyHost = proxy.host;
    proxyPort = proxy.port;
    proxyUser = proxy.user;
    proxyPassword = proxy.password;
  } else if (proxy.mode == TProxyMode::System) {
    const TProxyAddress address = SystemProxyFor(scheme);
    proxyHost = address.host;
    proxyPort = address.port;
    proxyUser = address.user ? *address.user : proxy.user;
    proxyPassword = address.user ? address.password : proxy.password;
    for (const char* name : {"no_proxy", "NO_PROXY"}) {
      const char* value = std::getenv(name);
      if (value && *value) {
        noProxy = value;
        break;
      }
    }
  }
  long proxyPortNumber = 0;
  if (!proxyHost.empty() && !proxyPort.empty() && !ValidPort(proxyPort, &proxyPortNumber)) {
    Finish(&reply, THttpFailure::InvalidRequest, "Invalid proxy port \"" + proxyPort + "\"");
    return reply;
  }

  curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(h, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!request.caFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, request.caFile.c_str());
  if (request.connectTimeoutMs > 0) curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, request.connectTimeoutMs);
  if (request.timeoutMs > 0) curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, request.timeoutMs);
  if (request.idleTimeoutMs > 0) {
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, std::max(1L, (request.idleTimeoutMs + 999) / 1000));
  }
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.list);

  // The proxy is always set explicitly so that libcurl never reads the environment itself.
  curl_easy_setopt(h, CURLOPT_PROXY, proxyHost.c_str());
  curl_easy_setopt(h, CURLOPT_NOPROXY, noProxy.c_str());
  if (!proxyHost.empty()) {
    curl_easy_setopt(h, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
    if (proxyPortNumber > 0) curl_easy_setopt(h, CURLOPT_PROXYPORT, proxyPortNumber);
    curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (!proxyUser.empty()) {
      curl_easy_setopt(h, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
      curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, proxyUser.c_str());
      curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, proxyPassword.c_str());
    }
  }
  if (request.basicAuth) {
    curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(h, CURLOPT_USERNAME, request.basicAuth->first.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, request.basicAuth->second.c_str());
  }

  const bool sendsBody = request.method == "PUT" || !request.body.empty();
  if (sendsBody) {
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(h, CURLOPT_READFUNCTION, OnUpload);
    curl_easy_setopt(h, CURLOPT_READDATA, &ex);
    curl_easy_setopt(h, CURLOPT_UPLOAD_BUFFERSIZE, static_cast<long>(kUploadChunk));
    if (request.method != "PUT") curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  } else if (request.method == "HEAD") {
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
  } else if (request.method == "GET") {
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
  } else {
    curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  }

  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &ex);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &ex);
  curl_easy_setopt(h, CURLOPT_SOCKOPTFUNCTION, OnSocketCreated);
  curl_easy_setopt(h, CURLOPT_SOCKOPTDATA, &ex);
  curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, OnConnected);
  curl_easy_setopt(h, CURLOPT_PREREQDATA, &ex);

  const auto aborted = [&] { return request.abort && request.abort->load(); };
  CURLcode result = CURLE_OK;
  bool stoppedByAbort = false;
  if (aborted()) {
    stoppedByAbort = true;
  } else if (!ex.Report(kStatusResolving)) {
    result = CURLE_ABORTED_BY_CALLBACK;
  } else {
    // Driving the transfer ourselves lets an abort from another thread end it
    // within one short poll instead of waiting for libcurl's next progress call.
    curl_multi_add_handle(multi.get(), h);
    int running = 1;
    while (running > 0) {
      if (aborted()) {
        stoppedByAbort = true;
        break;
      }
      CURLMcode mc = curl_multi_perform(multi.get(), &running);
      if (mc == CURLM_OK && running > 0) mc = curl_multi_poll(multi.get(), nullptr, 0, kAbortPollMs, nullptr);
      if (mc != CURLM_OK) {
        result = CURLE_OUT_OF_MEMORY;
        snprintf(errorBuffer, sizeof errorBuffer, "%s", curl_multi_strerror(mc));
        break;
      }
    }
    if (!stoppedByAbort && result == CURLE_OK) {
      int queued = 0;
      while (CURLMsg* msg = curl_multi_info_read(multi.get(), &queued))
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == h) result = msg->data.result;
    }
    curl_multi_remove_handle(multi.get(), h);
  }
  if (ex.connectedReported) ex.Report(kStatusDisconnected);

  if (stoppedByAbort) {
    Finish(&reply, THttpFailure::Aborted, "The request was aborted");
  } else if (ex.callbackFailed) {
    Finish(&reply, THttpFailure::Callback, ex.callbackError);
  } else if (result != CURLE_OK) {
    std::string text = errorBuffer[0] ? errorBuffer : curl_easy_strerror(result);
    Finish(&reply, FailureOf(result), std::move(text));
  } else if (reply.statusCode < 100 || reply.statusCode > 999) {
    Finish(&reply, THttpFailure::Other, "The server's answer has no valid status line");
  }
  return reply;
}

}  // namespace tessellink
