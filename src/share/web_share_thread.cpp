#include "share/web_share_thread.h"

#include <exception>
#include <mutex>
#include <utility>

#include "app/run_log.h"
#include "common/errors.h"
#include "common/text.h"
#include "net/proxy_settings.h"
#include "net/url_escape.h"
#include "settings/app_settings.h"
#include "store/xbel_builder.h"

namespace tessellink {

namespace {

// One sharing worker at a time in the whole process.
std::mutex& ShareLock() {
  static std::mutex lock;
  return lock;
}

std::string_view WithoutFinalSlash(std::string_view url) {
  while (!url.empty() && url.back() == '/') url.remove_suffix(1);
  return url;
}

bool IsSchemeChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
         c == '.';
}

bool HasHttpsScheme(std::string_view url) { return url.size() > 8 && SameText(url.substr(0, 8), "https://"); }

}  // namespace

std::optional<TShareCommand> ParseShareCommand(std::string_view command) {
  if (command == "add") return TShareCommand::Add;
  if (command == "delete") return TShareCommand::Delete;
  if (command == "getall") return TShareCommand::GetAll;
  return std::nullopt;
}

TShareEndpoint ShareEndpointFromSettings(const TXMLAppSettingType& settings, std::string caFile) {
  TShareEndpoint endpoint;
  endpoint.apiUrl = std::string(Trim(settings.PostsApiUrl()));
  const TXMLProxyType proxy = settings.Proxy();
  endpoint.proxy = ProxyFromSettings(proxy);
  endpoint.manualProxy = proxy.Manualsetting();
  endpoint.systemProxy = proxy.Settingasie();
  endpoint.manualPort = std::string(proxy.Port());
  endpoint.caFile = std::move(caFile);
  return endpoint;
}

std::string FullAddress(std::string_view href) {
  // A scheme is letters first, then ":"; "host:8080/..." has a port, not a scheme.
  const std::size_t colon = href.find(':');
  bool scheme = colon != std::string_view::npos && colon > 0 &&
                ((href[0] >= 'a' && href[0] <= 'z') || (href[0] >= 'A' && href[0] <= 'Z'));
  for (std::size_t i = 0; scheme && i < colon; ++i) scheme = IsSchemeChar(href[i]);
  if (scheme && colon + 1 < href.size() && href[colon + 1] >= '0' && href[colon + 1] <= '9') scheme = false;
  return scheme ? std::string(href) : "http://" + std::string(href);
}

std::string AddPostUrl(std::string_view apiUrl, std::string_view href, std::string_view title, std::string_view tags,
                       bool privateShare) {
  std::string url = std::string(WithoutFinalSlash(apiUrl)) + "/v1/posts/add?url=" + EscapeQueryValue(href) +
                    "&description=" + EscapeQueryValue(title) + "&tags=" + EscapeQueryValue(tags);
  if (privateShare) url += "&shared=no";
  return url;
}

std::string DeletePostUrl(std::string_view apiUrl, std::string_view href) {
  return std::string(WithoutFinalSlash(apiUrl)) + "/v1/posts/delete?url=" + EscapeQueryValue(FullAddress(href));
}

std::string AllPostsUrl(std::string_view apiUrl) { return std::string(WithoutFinalSlash(apiUrl)) + "/v1/posts/all?"; }

std::shared_ptr<TWebShareThread> TWebShareThread::Create(std::string user, std::string password,
                                                         std::vector<TXMLBookmarkType> list, std::string command,
                                                         TShareEndpoint endpoint, IWorkerDispatcher& dispatcher,
                                                         TRunLog* log) {
  return std::shared_ptr<TWebShareThread>(new TWebShareThread(std::move(user), std::move(password), std::move(list),
                                                              std::move(command), std::move(endpoint), dispatcher,
                                                              log));
}

TWebShareThread::TWebShareThread(std::string user, std::string password, std::vector<TXMLBookmarkType> list,
                                 std::string command, TShareEndpoint endpoint, IWorkerDispatcher& dispatcher,
                                 TRunLog* log)
    : user_(std::move(user)),
      password_(std::move(password)),
      list_(std::move(list)),
      command_(std::move(command)),
      operation_(ParseShareCommand(command_)),
      endpoint_(std::move(endpoint)),
      dispatcher_(dispatcher),
      log_(log) {
  Log("begin to create share thread");
  // The account's password travels with every request: never in clear.
  if (!HasHttpsScheme(endpoint_.apiUrl))
    throw AppError("The sharing service address must begin with https://: '" + endpoint_.apiUrl + "'");
  Log("ssl created");
  Log("idhttp created");
  if (endpoint_.manualProxy) {
    Log("manualy setting");
    const std::string port(Trim(endpoint_.manualPort));
    if (!ParseInteger(port)) throw AppError("'" + port + "' is not a valid integer value");
  }
  Log("-------");
  if (endpoint_.systemProxy) {
    Log("ie setting");
    Log("get record");
    Log("get host");
    Log("get port");
  }
  Log("proxy setting loaded");
  // Read here, on the owner's thread: the worker never reads the document.
  for (TXMLBookmarkType b : list_) {
    fields_.push_back({std::string(b.Href()), std::string(b.Title()),
                       std::string(TXbelBuilder::GetMetadata(b, TagsOwnerUri))});
  }
  Log("thread created");
}

void TWebShareThread::Log(std::string_view line) {
  if (log_) log_->Log(line);
}

void TWebShareThread::Start() {
  thread_.Start([self = shared_from_this()] { self->Execute(); });
}

void TWebShareThread::Wait() {
  thread_.Wait();
}

void TWebShareThread::Execute() {
  {
    std::lock_guard lock(ShareLock());
    Log("begin to execute");
    try {
      Run();
    } catch (const std::exception& e) {
      errorText_ = e.what();
      Log(errorText_);
    } catch (...) {
      errorText_ = "Error";
      Log(errorText_);
    }
  }
  // The handler may drop the owner's last handle; the task keeps the worker alive until it returns.
  dispatcher_.Post([self = shared_from_this()] {
    self->ProgressStep = nullptr;
    self->Marked = nullptr;
    if (self->OnComplete) {
      TCompletion handler = std::move(self->OnComplete);
      self->OnComplete = nullptr;
      handler(*self);
    }
  });
}

void TWebShareThread::Run() {
  if (!operation_) throw AppError("Unknown sharing command '" + command_ + "'");
  switch (*operation_) {
    case TShareCommand::Add:
      for (std::size_t i = 0; i < list_.size(); ++i) {
        if (ProgressStep) dispatcher_.Post(ProgressStep);
        const TPostFields& f = fields_[i];
        Send(AddPostUrl(endpoint_.apiUrl, f.href, f.title, f.tags, PrivateShare));
        Log("thread: get url");
        SetMark(list_[i], PrivateShare ? "private" : "public");
      }
      return;
    case TShareCommand::Delete: {
      if (list_.empty()) throw AppError("No bookmark to unshare.");
      const std::string reply = Send(DeletePostUrl(endpoint_.apiUrl, fields_.front().href));
      Log(reply);
      SetMark(list_.front(), "no");
      return;
    }
    case TShareCommand::GetAll:
      reply_ = Send(AllPostsUrl(endpoint_.apiUrl));
      return;
  }
}

std::string TWebShareThread::Send(const std::string& url) {
  THttpRequest request;
  request.method = "GET";
  request.url = url;
  request.basicAuth = std::make_pair(user_, password_);
  request.proxy = endpoint_.proxy;
  request.caFile = endpoint_.caFile;
  request.connectTimeoutMs = endpoint_.connectTimeoutMs;
  request.idleTimeoutMs = endpoint_.idleTimeoutMs;
  std::string body;
  bool tooLarge = false;
  request.bodySink = [&](const THttpReply&, std::string_view chunk) {
    tooLarge = chunk.size() > MaxReplyBytes - body.size();
    if (!tooLarge) body.append(chunk);
    return !tooLarge;
  };
  THttpReply reply = THttpClient().Execute(request);
  reply.body = std::move(body);
  if (tooLarge) throw AppError("The sharing service's reply is too large.");
  if (!reply.Answered()) {
    throw AppError(reply.transportError.empty() ? "The sharing service could not be reached." : reply.transportError);
  }
  if (reply.statusCode < 200 || reply.statusCode > 299) {
    std::string text = "HTTP " + std::to_string(reply.statusCode);
    if (!reply.statusText.empty()) text += " " + reply.statusText;
    throw AppError(text);
  }
  ++sent_;
  return std::move(reply.body);
}

void TWebShareThread::SetMark(TXMLBookmarkType bookmark, std::string mark) {
  dispatcher_.Post([bookmark, mark = std::move(mark), marked = Marked] {
    TXbelBuilder::SetShareMark(bookmark, mark);
    if (marked) marked(bookmark, mark);
  });
}

}  // namespace tessellink
