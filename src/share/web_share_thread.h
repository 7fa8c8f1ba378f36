#pragma once
// The sharing worker: sends "add", "delete" or "getall" requests to the sharing
// service's posts API off the owner's thread. The addresses, titles and tags
// are read on the owner's thread when the worker is made; share marks, progress
// steps and the completion handler go back through the owner's dispatcher, so
// the document is only ever touched on the owner's thread.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/worker_dispatcher.h"
#include "app/worker_thread.h"
#include "net/http_client.h"
#include "store/xbel_elements.h"

namespace tessellink {

class TRunLog;
class TXMLAppSettingType;

enum class TShareCommand { Add, Delete, GetAll };

// A collection of 100,000 posts is about 30 MB; a reply far beyond that is not
// one, and must not take the memory.
inline constexpr std::size_t kMaxReplyBytes = std::size_t{256} * 1024 * 1024;

// "add", "delete", "getall" (exact letters); nothing for anything else.
std::optional<TShareCommand> ParseShareCommand(std::string_view command);

// Where and how the worker talks to the service.
struct TShareEndpoint {
  std::string apiUrl;  // PostsApiUrl: "https://host[:port]", "/v1/posts/..." follows
  THttpProxy proxy;
  bool manualProxy = false;  // the settings' Manualsetting
  bool systemProxy = false;  // the settings' Settingasie
  std::string manualPort;    // as stored; must read as a number when manualProxy
  std::string caFile;        // trust anchors in place of the system's (tests)
  long connectTimeoutMs = 30000;
  long idleTimeoutMs = 60000;
};

// PostsApiUrl and the proxy of the settings.
TShareEndpoint ShareEndpointFromSettings(const TXMLAppSettingType& settings, std::string caFile = {});

// The address the service is told to delete: "http://" is put in front of an
// address without a scheme of its own.
std::string FullAddress(std::string_view href);

// The request addresses, each query value escaped on its own.
std::string AddPostUrl(std::string_view apiUrl, std::string_view href, std::string_view title, std::string_view tags,
                       bool privateShare);
std::string DeletePostUrl(std::string_view apiUrl, std::string_view href);
std::string AllPostsUrl(std::string_view apiUrl);

class TWebShareThread : public std::enable_shared_from_this<TWebShareThread> {
 public:
  using TCompletion = std::function<void(TWebShareThread& worker)>;

  // Runs on the owner's thread: reads what the requests need from `list` and
  // prepares the client. Throws AppError when the manual proxy port is not a
  // number or the API address is not an https address; nothing is sent then.
  // An unknown command fails the run without sending anything.
  static std::shared_ptr<TWebShareThread> Create(std::string user, std::string password,
                                                 std::vector<TXMLBookmarkType> list, std::string command,
                                                 TShareEndpoint endpoint, IWorkerDispatcher& dispatcher,
                                                 TRunLog* log = nullptr);
  TWebShareThread(const TWebShareThread&) = delete;
  TWebShareThread& operator=(const TWebShareThread&) = delete;

  // Set before Start. "add" only: mark the posts private and send "shared=no".
  bool PrivateShare = false;
  // Run through the dispatcher: once per bookmark before its "add" request.
  std::function<void()> ProgressStep;
  // Run through the dispatcher right after the mark was set.
  std::function<void(TXMLBookmarkType bookmark, std::string_view mark)> Marked;
  TCompletion OnComplete;

  // Starts the run on a thread of its own. Sharing workers run one at a time
  // across the process (their lock is not the synchronisation worker's).
  void Start();
  // Blocks until the thread has ended.
  void Wait();

  const std::string& Command() const { return command_; }
  const std::vector<TXMLBookmarkType>& List() const { return list_; }
  // Empty on success.
  const std::string& ErrorText() const { return errorText_; }
  // "getall": the reply text.
  const std::string& Reply() const { return reply_; }
  // Requests answered with a 2xx status.
  int Sent() const { return sent_; }

  // A reply body longer than this ends the run with an error (tests lower it).
  std::size_t MaxReplyBytes = kMaxReplyBytes;

 private:
  struct TPostFields {
    std::string href, title, tags;
  };
  TWebShareThread(std::string user, std::string password, std::vector<TXMLBookmarkType> list, std::string command,
                  TShareEndpoint endpoint, IWorkerDispatcher& dispatcher, TRunLog* log);
  void Execute();
  void Run();
  // The reply on success; throws AppError with the failure's text.
  std::string Send(const std::string& url);
  void SetMark(TXMLBookmarkType bookmark, std::string mark);
  void Log(std::string_view line);

  std::string user_;
  std::string password_;
  std::vector<TXMLBookmarkType> list_;
  std::vector<TPostFields> fields_;
  std::string command_;
  std::optional<TShareCommand> operation_;
  TShareEndpoint endpoint_;
  IWorkerDispatcher& dispatcher_;
  TRunLog* log_;

  std::string errorText_;
  std::string reply_;
  int sent_ = 0;
  TWorkerThread thread_;  // last: joined before the other members go
};

}  // namespace tessellink
