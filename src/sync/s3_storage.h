#pragma once
// The storage client: the online copy of the bookmark file in Amazon S3
// (path-style addresses, "AWS" signatures of version 2) and the account
// requests. The secret key never reaches this program: each storage request's
// string to sign goes to the account service, which answers with the signature.
//
// Network failures never throw: results are flags and header texts, reasons
// are lines in `Errors` and the account service's reply in `LastReply`.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/clock.h"
#include "net/http_client.h"

namespace tessellink {

class TXMLAppSettingType;

inline constexpr const char* kStorageBucket = "corvane_bmk";
inline constexpr const char* kStorageAccessKeyId = "KQ7TWX3ZLM4NBV2HDC9R";
inline constexpr const char* kFileMissing = "FILE MISSING";
inline constexpr const char* kVersionMetaHeader = "x-amz-meta-version";

// The account service's reply document <Msg><Result/><Desc/><Meta/>...</Msg>.
struct TXMLMsgType {
  std::string Result;
  std::string Desc;
  std::vector<std::string> Meta;
  bool Succeeded() const { return Result == "OK"; }  // exact: "ok" is a failure
};

// A body that is not a well-formed Msg document (or no body) reads as Result
// "FALSE" with the whole body as Desc.
TXMLMsgType ReadReply(std::string_view body);

// 32 lower-case hexadecimal digits of MD5(password): how passwords travel.
std::string PasswordDigest(std::string_view password);

// "Tue, 9 Dec 2008 16:22:05 +0800": local time and its offset from UTC.
std::string RequestDateText(TDateTime local, int utcOffsetMinutes);
// The same for now, in the local zone with the offset in force (daylight saving included).
std::string RequestDateTextNow();

// The object key of a user: the name as entered, then ".xbel".
std::string StorageKey(std::string_view userName);

// Where requests go and how, built from the settings (or by a test).
struct TStorageEndpoint {
  std::string baseUrl;                         // account service, ends with "/"
  std::string storageHost = "s3.amazonaws.com";  // host[:port] of the S3 REST endpoint
  bool useSsl = false;
  THttpProxy proxy;
  std::string caFile;  // trust anchors in place of the system's store (tests); empty: the system's
  long connectTimeoutMs = 60000;
  long idleTimeoutMs = 60000;  // a socket that moves nothing for this long gives up
};

// BaseUrl, StorageUrl and Usessl of "Tesselsync", and the "Proxy" section.
TStorageEndpoint StorageEndpointFromSettings(const TXMLAppSettingType& settings);

using TStorageSink = std::function<bool(std::string_view chunk)>;  // false: stop

class TS3Storage {
 public:
  TS3Storage();  // "http://", no version, default endpoint
  explicit TS3Storage(TStorageEndpoint endpoint);  // scheme from endpoint.useSsl

  void SetEndpoint(TStorageEndpoint endpoint) { endpoint_ = std::move(endpoint); }
  const TStorageEndpoint& Endpoint() const { return endpoint_; }

  void SetUseSsl(bool useSsl);
  const std::string& Scheme() const { return scheme_; }
  // Decimal version for the next upload; empty means none.
  void SetVersion(std::string_view version) { version_ = version; }
  const std::string& Version() const { return version_; }
  const std::string& AccessKeyId() const { return accessKeyId_; }

  std::string UserName;
  std::string Password;  // in clear

  // Upload. `octetStream` picks "binary/octet-stream", else "text/html". True
  // only when the storage answered 2xx.
  bool PutObject(std::string_view bucket, std::string_view key, bool octetStream, std::string_view data);
  // Download: on success the body is appended to `output`.
  bool GetObject(std::string_view bucket, std::string_view key, std::string& output);
  // Download streamed to `sink` as it arrives. On a failure part of the body may
  // already have gone to the sink.
  bool GetObject(std::string_view bucket, std::string_view key, const TStorageSink& sink);
  // The object's header lines joined with CR LF; kFileMissing for 404; empty on
  // failure. Scans them into RemoteVersion, HasRemoteVersion and ContentLength.
  std::string GetObjectInfo(std::string_view bucket, std::string_view key);

  // "Authorization: AWS <key id>:<signature>", or empty with the reason in Errors.
  std::string SignRequest(std::string_view method, std::string_view contentType, std::string_view date,
                          std::string_view resource);
  std::string StringToSign(std::string_view method, std::string_view contentType, std::string_view date,
                           std::string_view resource) const;

  // Account requests: true when the service answered Result "OK"; the reply is in LastReply.
  bool Login(std::string_view user, std::string_view password);
  bool Register(std::string_view user, std::string_view password, std::string_view email);
  bool ChangePassword(std::string_view user, std::string_view oldPassword, std::string_view newPassword);

  std::vector<std::string> Errors;
  TXMLMsgType LastReply;
  int32_t RemoteVersion = 0;
  bool HasRemoteVersion = false;
  int32_t ContentLength = 0;
  THttpStatusCallback OnStatus;             // reasons as in http_client.h; runs on the requesting thread
  const std::atomic<bool>* Abort = nullptr;  // raised by another thread: the running request stops

 private:
  THttpRequest NewRequest(std::string method, std::string url) const;
  bool AccountRequest(std::string_view path, const std::vector<std::pair<const char*, std::string>>& query);
  std::string StorageUrl(std::string_view resource) const;
  void RecordRefusal(const THttpReply& reply, std::string_view body, const char* shortBodyText);
  void ScanHeaderText(std::string_view headerText);

  TStorageEndpoint endpoint_;
  std::string accessKeyId_ = kStorageAccessKeyId;
  std::string scheme_ = "http://";
  std::string version_;
};

}  // namespace tessellink
