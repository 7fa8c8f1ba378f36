#pragma once
// A fake account service and a fake S3 storage on 127.0.0.1, so that
// TS3Storage runs for real over HTTP: the account service signs any request
// with a made-up signature (or refuses, when told), the storage keeps PUT
// bodies with their version header and serves them to HEAD and GET.

#include <httplib.h>

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "net/loopback_server.h"
#include "sync/s3_storage.h"

namespace tessellink::test {

struct FakeObject {
  std::string body;
  std::optional<std::string> version;  // x-amz-meta-version, when the upload carried one
};

class FakeS3Server {
 public:
  FakeS3Server() {
    account_.Get("/bmkuserlogin.php", [this](const httplib::Request&, httplib::Response& res) {
      std::lock_guard lock(mutex_);
      ++signings_;
      const std::string result = refuseSigning_.empty() ? "OK" : "FALSE";
      const std::string desc = refuseSigning_.empty() ? "c2ln%2Bsig%3D" : refuseSigning_;
      res.set_content("<?xml version=\"1.0\" encoding=\"utf-8\"?><Msg><Result>" + result + "</Result><Desc>" + desc +
                          "</Desc></Msg>",
                      "text/xml");
    });
    // httplib answers HEAD with the GET handler and drops the body, keeping Content-Length.
    storage_.Get(R"(/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard lock(mutex_);
      log_.push_back(req.method + " " + req.path);
      const auto it = objects_.find(req.matches[1]);
      if (failStatus_) {
        res.status = failStatus_;
        res.set_content(failBody_, "application/xml");
        return;
      }
      if (it == objects_.end()) {
        res.status = 404;
        if (req.method != "HEAD") res.set_content("<Error><Code>NoSuchKey</Code></Error>", "application/xml");
        return;
      }
      if (it->second.version) res.set_header("x-amz-meta-version", *it->second.version);
      res.set_content(it->second.body, "binary/octet-stream");
    });
    storage_.Put(R"(/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard lock(mutex_);
      log_.push_back(req.method + " " + req.path);
      ++puts_;
      if (failStatus_ || failPutStatus_) {
        res.status = failStatus_ ? failStatus_ : failPutStatus_;
        res.set_content(failBody_, "application/xml");
        return;
      }
      FakeObject object{req.body, std::nullopt};
      if (req.has_header("x-amz-meta-version")) object.version = req.get_header_value("x-amz-meta-version");
      objects_[req.matches[1]] = std::move(object);
    });
    accountThread_.emplace(account_);
    storageThread_.emplace(storage_);
  }

  TStorageEndpoint Endpoint() const {
    TStorageEndpoint e;
    e.baseUrl = accountThread_->url("/");
    e.storageHost = "127.0.0.1:" + std::to_string(storageThread_->port());
    e.connectTimeoutMs = 10000;
    return e;
  }
  std::shared_ptr<TS3Storage> NewStorage(const std::string& user = "alice") const {
    auto storage = std::make_shared<TS3Storage>(Endpoint());
    storage->UserName = user;
    storage->Password = "secret";
    return storage;
  }

  // Path below the root: "corvane_bmk/alice.xbel".
  void PutObject(const std::string& path, std::string body, std::optional<std::string> version) {
    std::lock_guard lock(mutex_);
    objects_[path] = FakeObject{std::move(body), std::move(version)};
  }
  std::optional<FakeObject> Object(const std::string& path) {
    std::lock_guard lock(mutex_);
    const auto it = objects_.find(path);
    if (it == objects_.end()) return std::nullopt;
    return it->second;
  }
  // Every storage request answers this status and body; 0 ends the failure.
  void FailStorage(int status, std::string body = {}) {
    std::lock_guard lock(mutex_);
    failStatus_ = status;
    failBody_ = std::move(body);
  }
  // Only uploads answer this status and body; 0 ends the failure.
  void FailUploads(int status, std::string body = {}) {
    std::lock_guard lock(mutex_);
    failPutStatus_ = status;
    failBody_ = std::move(body);
  }
  // Every signing request is refused with this message; empty signs again.
  void RefuseSigning(std::string message) {
    std::lock_guard lock(mutex_);
    refuseSigning_ = std::move(message);
  }
  // "METHOD /path" of every storage request, in arrival order.
  std::vector<std::string> Log() {
    std::lock_guard lock(mutex_);
    return log_;
  }
  int Puts() {
    std::lock_guard lock(mutex_);
    return puts_;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, FakeObject> objects_;
  int failStatus_ = 0;
  int failPutStatus_ = 0;
  std::string failBody_;
  std::string refuseSigning_;
  int signings_ = 0;
  int puts_ = 0;
  std::vector<std::string> log_;
  httplib::Server account_, storage_;
  std::optional<ServerThread> accountThread_, storageThread_;
};

}  // namespace tessellink::test
