#pragma once
// A posts API test server over TLS on 127.0.0.1: basic authentication, a stored
// collection that "add" and "delete" change and "all" returns as a posts
// document. Requests are recorded with their query values as received.

#include <httplib.h>
#include <pugixml.hpp>

#include <filesystem>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "net/loopback_server.h"
#include "support/tls_test_cert.h"

namespace tessellink::test {

struct TestPost {
  std::string href, description, tag, shared, time;
};

struct TestRequest {
  std::string path;
  httplib::Params params;
  std::string Param(const std::string& name) const {
    const auto it = params.find(name);
    return it == params.end() ? std::string("<none>") : it->second;
  }
};

class PostsTestServer {
 public:
  explicit PostsTestServer(const std::filesystem::path& dir, const std::string& altNames = "IP:127.0.0.1")
      : cert_(MakeSelfSignedCertificate(dir, altNames, "posts")),
        server_(cert_.certFile.c_str(), cert_.keyFile.c_str()) {
    server_.Get(R"(/v1/posts/(add|delete|all))", [this](const httplib::Request& req, httplib::Response& res) {
      Handle(req, res);
    });
    thread_ = std::make_unique<ServerThread>(server_);
  }

  std::string Url() const { return thread_->url("", "https"); }
  std::string CaFile() const { return cert_.certFile.string(); }

  // Set before requests are made.
  std::string user = "alice";
  std::string password = "s3cret";
  int refuseAddNumber = 0;  // this "add" (counting from 1) is answered 500
  std::string allReply;     // when set, "all" answers this in place of the collection

  void AddPost(TestPost post) {
    std::lock_guard lock(mutex_);
    posts_.push_back(std::move(post));
  }
  std::vector<TestPost> Posts() {
    std::lock_guard lock(mutex_);
    return posts_;
  }
  std::vector<TestRequest> Requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  void Handle(const httplib::Request& req, httplib::Response& res) {
    std::lock_guard lock(mutex_);
    const auto expected = httplib::make_basic_authentication_header(user, password);
    if (req.get_header_value("Authorization") != expected.second) {
      res.status = 401;
      return;
    }
    requests_.push_back({req.path, req.params});
    const TestRequest& r = requests_.back();
    if (req.path == "/v1/posts/add") {
      if (++adds_ == refuseAddNumber) {
        res.status = 500;
        return;
      }
      std::erase_if(posts_, [&](const TestPost& p) { return p.href == r.Param("url"); });
      posts_.push_back({r.Param("url"), r.Param("description"), r.Param("tags"),
                        req.has_param("shared") ? r.Param("shared") : "yes", "2026-12-01T10:00:00Z"});
      res.set_content("<result code=\"done\"/>", "text/xml");
    } else if (req.path == "/v1/posts/delete") {
      std::erase_if(posts_, [&](const TestPost& p) { return p.href == r.Param("url"); });
      res.set_content("<result code=\"done\"/>", "text/xml");
    } else {
      res.set_content(allReply.empty() ? Collection() : allReply, "text/xml");
    }
  }

  std::string Collection() const {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("posts");
    root.append_attribute("update") = "2026-12-01T10:00:00Z";
    root.append_attribute("user") = user.c_str();
    for (const TestPost& p : posts_) {
      pugi::xml_node post = root.append_child("post");
      post.append_attribute("href") = p.href.c_str();
      post.append_attribute("description") = p.description.c_str();
      post.append_attribute("hash") = "0123456789abcdef";
      post.append_attribute("shared") = p.shared.c_str();
      post.append_attribute("tag") = p.tag.empty() ? "system:unfiled" : p.tag.c_str();
      post.append_attribute("time") = p.time.c_str();
      post.append_attribute("extended") = "";
    }
    std::ostringstream out;
    doc.save(out);
    return out.str();
  }

  TestCertificate cert_;
  httplib::SSLServer server_;
  std::unique_ptr<ServerThread> thread_;
  std::mutex mutex_;
  std::vector<TestPost> posts_;
  std::vector<TestRequest> requests_;
  int adds_ = 0;
};

}  // namespace tessellink::test
