#include "sync/s3_storage.h"

#include <openssl/evp.h>
#include <pugixml.hpp>

#include <cmath>
#include <cstdio>
#include <ctime>

#include "common/text.h"
#include "net/proxy_settings.h"
#include "net/url_escape.h"
#include "settings/app_settings.h"
#include "settings/password_scramble.h"

namespace tessellink {

namespace {

constexpr const char* kCannotConnect = "Can not connect to the server.";
constexpr const char* kAuthenticationFailed = "Authentication failed.";
// An error body longer than this is not worth keeping whole in Errors.
constexpr size_t kMaxErrorBody = 64 * 1024;

// The resource as part of an address: characters that would end the path or
// change its meaning are escaped; the canonical resource itself stays as entered.
std::string ResourceForUrl(std::string_view resource) { return PercentEscape(resource, " #%?"); }

bool DownloadAnswered(const THttpReply& reply) {
  // A server that sends no reason phrase still says "200" plainly.
  return UpperCase(reply.statusText) == "OK" || (reply.statusText.empty() && reply.statusCode == 200 &&
                                                 reply.Answered());
}

bool HeaderAnswered(const THttpReply& reply) {
  return reply.statusCode == 200 && (reply.statusText == "OK" || (reply.statusText.empty() && reply.Answered()));
}

std::string JoinCrLf(const std::vector<std::string>& lines) {
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) out += "\r\n";
    out += lines[i];
  }
  return out;
}

std::string NotAnInteger(std::string_view text) {
  return "'" + std::string(text) + "' is not a valid integer value";
}

}  // namespace

TXMLMsgType ReadReply(std::string_view body) {
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed =
      body.empty() ? pugi::xml_parse_result()
                   : doc.load_buffer(body.data(), body.size(), pugi::parse_default, pugi::encoding_utf8);
  const pugi::xml_node root = doc.document_element();
  TXMLMsgType reply;
  if (body.empty() || !parsed || std::string_view(root.name()) != "Msg") {
    reply.Result = "FALSE";
    reply.Desc = std::string(body);
    return reply;
  }
  reply.Result = root.child("Result").text().get();
  reply.Desc = root.child("Desc").text().get();
  for (pugi::xml_node meta : root.children("Meta")) reply.Meta.emplace_back(meta.text().get());
  return reply;
}

std::string PasswordDigest(std::string_view password) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(password.data(), password.size(), digest, &length, EVP_md5(), nullptr) != 1) return {};
  static const char hex[] = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < length; ++i) {
    out += hex[digest[i] >> 4];
    out += hex[digest[i] & 15];
  }
  return out;
}

std::string RequestDateText(TDateTime local, int utcOffsetMinutes) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const DateTimeFields f = DecodeDateTime(local);
  // Day 0, 1899-12-30, was a Saturday.
  const auto day = static_cast<int64_t>(EncodeDate(f.year, f.month, f.day).value_or(0));
  const int weekday = static_cast<int>(((day + 6) % 7 + 7) % 7);
  const int offset = std::abs(utcOffsetMinutes);
  char text[64];
  std::snprintf(text, sizeof text, "%s, %d %s %04d %02d:%02d:%02d %c%02d%02d", kDays[weekday], f.day,
                kMonths[f.month - 1], f.year, f.hour, f.minute, f.second, utcOffsetMinutes < 0 ? '-' : '+',
                offset / 60 % 100, offset % 60);
  return text;
}

std::string RequestDateTextNow() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  const DateTimeFields f{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 0};
  return RequestDateText(EncodeDateTime(f), static_cast<int>(tm.tm_gmtoff / 60));
}

std::string StorageKey(std::string_view userName) { return std::string(userName) + ".xbel"; }

TStorageEndpoint StorageEndpointFromSettings(const TXMLAppSettingType& settings) {
  const TXMLTesselsyncType sync = settings.Tesselsync();
  TStorageEndpoint endpoint;
  endpoint.baseUrl = sync.BaseUrl();
  endpoint.storageHost = sync.StorageUrl();
  endpoint.useSsl = sync.Usessl();
  endpoint.proxy = ProxyFromSettings(settings.Proxy());
  return endpoint;
}

TS3Storage::TS3Storage() = default;

TS3Storage::TS3Storage(TStorageEndpoint endpoint) : endpoint_(std::move(endpoint)) {
  SetUseSsl(endpoint_.useSsl);
}

void TS3Storage::SetUseSsl(bool useSsl) { scheme_ = useSsl ? "https://" : "http://"; }

THttpRequest TS3Storage::NewRequest(std::string method, std::string url) const {
  THttpRequest request;
  request.method = std::move(method);
  request.url = std::move(url);
  request.proxy = endpoint_.proxy;
  request.connectTimeoutMs = endpoint_.connectTimeoutMs;
  request.idleTimeoutMs = endpoint_.idleTimeoutMs;
  request.caFile = endpoint_.caFile;
  request.abort = Abort;
  request.onStatus = OnStatus;
  return request;
}

std::string TS3Storage::StorageUrl(std::string_view resource) const {
  return scheme_ + endpoint_.storageHost + ResourceForUrl(resource);
}

std::string TS3Storage::StringToSign(std::string_view method, std::string_view contentType, std::string_view date,
                                     std::string_view resource) const {
  std::string s;
  s.append(method).append("\n\n").append(contentType).append("\n").append(date).append("\n");
  if (!version_.empty()) s.append(kVersionMetaHeader).append(":").append(version_).append("\n");
  s.append(resource);
  return s;
}

bool TS3Storage::AccountRequest(std::string_view path,
                                const std::vector<std::pair<const char*, std::string>>& query) {
  std::string url = EscapeUrl(endpoint_.baseUrl + std::string(path));
  char separator = '?';
  for (const auto& [key, value] : query) {
    url.append(1, separator).append(key).append("=").append(EscapeQueryValue(value));
    separator = '&';
  }
  const THttpReply reply = THttpClient().Execute(NewRequest("GET", std::move(url)));
  // Without an answer the body is empty, which reads as a failure with empty Desc.
  LastReply = ReadReply(reply.body);
  return LastReply.Succeeded();
}

bool TS3Storage::Login(std::string_view user, std::string_view password) {
  return AccountRequest("bmkuserlogin.php", {{"UserName", std::string(user)}, {"Password", PasswordDigest(password)}});
}

bool TS3Storage::Register(std::string_view user, std::string_view password, std::string_view email) {
  return AccountRequest("test.php", {{"UserName", std::string(user)},
                                     {"Password", PasswordDigest(password)},
                                     {"EMail", std::string(email)}});
}

bool TS3Storage::ChangePassword(std::string_view user, std::string_view oldPassword, std::string_view newPassword) {
  return AccountRequest("tochangepwd.php", {{"UserName", std::string(user)},
                                            {"OldPassword", PasswordDigest(oldPassword)},
                                            {"NewPassword", PasswordDigest(newPassword)}});
}

std::string TS3Storage::SignRequest(std::string_view method, std::string_view contentType, std::string_view date,
                                    std::string_view resource) {
  const std::string toSign = StringToSign(method, contentType, date, resource);
  const bool ok = AccountRequest("bmkuserlogin.php", {{"UserName", UserName},
                                                      {"Password", PasswordDigest(Password)},
                                                      {"Auth", toSign}});
  // An "OK" without a signature could only produce a request the storage refuses.
  if (ok && !LastReply.Desc.empty())
    return "Authorization: AWS " + accessKeyId_ + ":" + PercentDecode(LastReply.Desc);
  Errors.push_back(!ok && !LastReply.Desc.empty() ? LastReply.Desc : kCannotConnect);
  return {};
}

void TS3Storage::RecordRefusal(const THttpReply& reply, std::string_view body, const char* shortBodyText) {
  if (body.size() < 3) {
    Errors.push_back(shortBodyText + std::to_string(reply.statusCode));
  } else {
    Errors = SplitLines(body);
  }
}

bool TS3Storage::PutObject(std::string_view bucket, std::string_view key, bool octetStream, std::string_view data) {
  const std::string resource = "/" + std::string(bucket) + "/" + std::string(key);
  const std::string date = RequestDateTextNow();
  const std::string contentType = octetStream ? "binary/octet-stream" : "text/html";
  const std::string authorization = SignRequest("PUT", contentType, date, resource);
  if (authorization.empty()) {
    Errors.push_back(kAuthenticationFailed);
    return false;
  }
  THttpRequest request = NewRequest("PUT", StorageUrl(resource));
  request.headers = {"Content-Type: " + contentType, "Date: " + date, authorization};
  if (!version_.empty()) request.headers.push_back("X-Amz-Meta-Version:" + version_);
  request.body = std::string(data);
  const THttpReply reply = THttpClient().Execute(request);
  // Only the storage's own 2xx says the object was stored; bytes sent prove nothing.
  if (reply.Answered() && reply.statusCode >= 200 && reply.statusCode < 300) {
    Errors.clear();
    return true;
  }
  RecordRefusal(reply, reply.body, "Upload Error, return code is:");
  return false;
}

bool TS3Storage::GetObject(std::string_view bucket, std::string_view key, std::string& output) {
  std::string body;
  const bool ok = GetObject(bucket, key, [&body](std::string_view chunk) {
    body.append(chunk);
    return true;
  });
  if (ok) output += body;
  return ok;
}

bool TS3Storage::GetObject(std::string_view bucket, std::string_view key, const TStorageSink& sink) {
  const std::string resource = "/" + std::string(bucket) + "/" + std::string(key);
  const std::string date = RequestDateTextNow();
  const std::string authorization = SignRequest("GET", "", date, resource);
  if (authorization.empty()) {
    Errors.push_back(kAuthenticationFailed);
    return false;
  }
  THttpRequest request = NewRequest("GET", StorageUrl(resource));
  request.headers = {"Date:" + date, "Expires:" + date, authorization};
  std::string errorBody;
  request.bodySink = [&](const THttpReply& head, std::string_view chunk) {
    if (DownloadAnswered(head)) return sink(chunk);
    if (errorBody.size() < kMaxErrorBody) errorBody.append(chunk.substr(0, kMaxErrorBody - errorBody.size()));
    return true;
  };
  const THttpReply reply = THttpClient().Execute(request);
  if (DownloadAnswered(reply)) {
    Errors.clear();
    return true;
  }
  RecordRefusal(reply, errorBody, "Download Error, return code is:");
  return false;
}

std::string TS3Storage::GetObjectInfo(std::string_view bucket, std::string_view key) {
  const std::string resource = "/" + std::string(bucket) + "/" + std::string(key);
  const std::string date = RequestDateTextNow();
  const std::string authorization = SignRequest("HEAD", "", date, resource);
  if (authorization.empty()) {
    Errors.push_back(kAuthenticationFailed);
    return {};
  }
  THttpRequest request = NewRequest("HEAD", StorageUrl(resource));
  request.headers = {"Date:" + date, authorization};
  const THttpReply reply = THttpClient().Execute(request);
  std::string headerText;
  if (HeaderAnswered(reply)) {
    headerText = JoinCrLf(reply.headers);
    Errors.clear();
  } else if (reply.statusCode == 404) {
    headerText = kFileMissing;
  } else if (!reply.body.empty()) {
    Errors = SplitLines(reply.body);
  } else {
    Errors.push_back(reply.statusText);
  }
  ScanHeaderText(headerText);
  return headerText;
}

void TS3Storage::ScanHeaderText(std::string_view headerText) {
  for (const std::string& line : SplitLines(headerText)) {
    if (line.find(kVersionMetaHeader) != std::string::npos) {
      const std::string value = ReplaceAll(line, std::string(kVersionMetaHeader) + ":", "");
      const auto version = ParseInteger(value);
      if (!version) {
        Errors.push_back(NotAnInteger(value));
        return;
      }
      RemoteVersion = *version;
      HasRemoteVersion = true;
    } else if (line.find("Content-Length") != std::string::npos) {
      const std::string value = ReplaceAll(line, "Content-Length:", "");
      const auto length = ParseInteger(value);
      if (!length) {
        Errors.push_back(NotAnInteger(value));
        return;
      }
      ContentLength = *length;
    }
  }
}

}  // namespace tessellink
