#include "accountd/account_test_server.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>

#include <ctime>
#include <stdexcept>

namespace tessellink::accountd::test {

namespace {

std::string Between(const std::string& body, const std::string& open, const std::string& close) {
  size_t start = body.find(open);
  if (start == std::string::npos) return {};
  start += open.size();
  size_t end = body.find(close, start);
  return end == std::string::npos ? std::string() : body.substr(start, end - start);
}

std::string Unescape(std::string text) {
  const std::pair<const char*, const char*> entities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
  for (const auto& [entity, plain] : entities) {
    for (size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1)) {
      text.replace(at, std::string(entity).size(), plain);
    }
  }
  return text;
}

}  // namespace

std::string Md5Hex(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!EVP_Digest(text.data(), text.size(), digest, &size, EVP_md5(), nullptr)) throw std::runtime_error("md5");
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < size; ++i) {
    out += kHex[digest[i] >> 4];
    out += kHex[digest[i] & 0x0F];
  }
  return out;
}

std::string EscapeValue(const std::string& value) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : value) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte >= 128 || std::string_view(" #%*+<>&=?").find(c) != std::string_view::npos) {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

std::string RequestDate(std::int64_t unix_seconds, int offset_minutes) {
  std::time_t local = static_cast<std::time_t>(unix_seconds + offset_minutes * 60);
  std::tm parts{};
  gmtime_r(&local, &parts);
  static const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int offset = offset_minutes < 0 ? -offset_minutes : offset_minutes;
  char text[64];
  std::snprintf(text, sizeof text, "%s, %d %s %d %02d:%02d:%02d %c%02d%02d", kDays[parts.tm_wday], parts.tm_mday,
                kMonths[parts.tm_mon], parts.tm_year + 1900, parts.tm_hour, parts.tm_min, parts.tm_sec,
                offset_minutes < 0 ? '-' : '+', offset / 60, offset % 60);
  return text;
}

std::string ExpectedSignature(const std::string& key, const std::string& text) {
  unsigned char mac[EVP_MAX_MD_SIZE];
  size_t size = 0;
  if (!EVP_Q_mac(nullptr, "HMAC", nullptr, "SHA1", nullptr, key.data(), key.size(),
                 reinterpret_cast<const unsigned char*>(text.data()), text.size(), mac, sizeof mac, &size)) {
    throw std::runtime_error("hmac");
  }
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < size; i += 3) {
    unsigned value = mac[i] << 16;
    if (i + 1 < size) value |= mac[i + 1] << 8;
    if (i + 2 < size) value |= mac[i + 2];
    out += kAlphabet[(value >> 18) & 63];
    out += kAlphabet[(value >> 12) & 63];
    out += i + 1 < size ? kAlphabet[(value >> 6) & 63] : '=';
    out += i + 2 < size ? kAlphabet[value & 63] : '=';
  }
  return out;
}

std::string PercentDecodeForTest(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

MsgResult ParseMsg(const httplib::Result& result) {
  MsgResult msg;
  if (!result) return msg;
  msg.status = result->status;
  msg.content_type = result->get_header_value("Content-Type");
  msg.result = Unescape(Between(result->body, "<Result>", "</Result>"));
  msg.desc = Unescape(Between(result->body, "<Desc>", "</Desc>"));
  return msg;
}

AccountTestServer::AccountTestServer() {
  store_ = std::make_unique<AccountStore>(database());
  ServiceConfig config{kSecretKey, kTestIterations, [this] { return now_.load(); }};
  service_ = std::make_unique<AccountService>(*store_, config);
  server_ = std::make_unique<AccountServer>(*service_, [this](const std::string& line) {
    std::lock_guard lock(log_mutex_);
    log_.push_back(line);
  });
  port_ = server_->Bind("127.0.0.1", 0);
  if (port_ <= 0) throw std::runtime_error("cannot bind a loopback port");
  thread_ = std::thread([this] { server_->Run(); });
}

AccountTestServer::~AccountTestServer() {
  server_->Stop();
  thread_.join();
}

std::vector<std::string> AccountTestServer::log_lines() {
  std::lock_guard lock(log_mutex_);
  return log_;
}

MsgResult AccountTestServer::GetRaw(const std::string& target) {
  httplib::Client client("127.0.0.1", port_);
  client.set_url_encode(false);
  return ParseMsg(client.Get(target));
}

MsgResult AccountTestServer::Get(const std::string& path, const Query& query) {
  std::string target = path;
  for (size_t i = 0; i < query.size(); ++i) {
    target += i == 0 ? '?' : '&';
    target += query[i].first + "=" + EscapeValue(query[i].second);
  }
  return GetRaw(target);
}

MsgResult AccountTestServer::Register(const std::string& user, const std::string& password,
                                     const std::string& email) {
  return Get("/test.php", {{"UserName", user}, {"Password", Md5Hex(password)}, {"EMail", email}});
}

MsgResult AccountTestServer::Login(const std::string& user, const std::string& password) {
  return Get("/bmkuserlogin.php", {{"UserName", user}, {"Password", Md5Hex(password)}});
}

MsgResult AccountTestServer::Sign(const std::string& user, const std::string& password,
                                 const std::string& string_to_sign) {
  return Get("/bmkuserlogin.php",
             {{"UserName", user}, {"Password", Md5Hex(password)}, {"Auth", string_to_sign}});
}

}  // namespace tessellink::accountd::test
