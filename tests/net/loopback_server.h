#pragma once
// Servers for client tests, all on 127.0.0.1 at ports picked at run time:
// an httplib server run on a thread, a raw server that answers every
// connection with fixed bytes (for status lines httplib cannot write), a
// listener that never accepts, and a port where nobody listens.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <httplib.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

namespace tessellink::test {

inline int BoundLoopbackSocket() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    throw std::runtime_error("bind failed");
  }
  return fd;
}

inline int PortOf(int fd) {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  return ntohs(addr.sin_port);
}

// A port that was free a moment ago and has no listener: connecting is refused.
inline int UnusedPort() {
  const int fd = BoundLoopbackSocket();
  const int port = PortOf(fd);
  ::close(fd);
  return port;
}

inline std::string LoopbackUrl(int port, const std::string& path = "/", const char* scheme = "http") {
  return std::string(scheme) + "://127.0.0.1:" + std::to_string(port) + path;
}

// Runs an httplib server (plain or TLS) on its own thread until destroyed.
// Register the handlers before constructing this.
class ServerThread {
 public:
  explicit ServerThread(httplib::Server& server) : server_(server) {
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("test server could not bind");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    // stop() only works once the accept loop runs.
    while (!server_.is_running()) std::this_thread::yield();
  }
  ~ServerThread() {
    server_.stop();
    thread_.join();
  }
  ServerThread(const ServerThread&) = delete;
  ServerThread& operator=(const ServerThread&) = delete;

  int port() const { return port_; }
  std::string url(const std::string& path = "/", const char* scheme = "http") const {
    return LoopbackUrl(port_, path, scheme);
  }

 private:
  httplib::Server& server_;
  int port_ = 0;
  std::thread thread_;
};

// Accepts connections and holds them: the handshake completes, no answer ever comes.
class SilentListener {
 public:
  SilentListener() : fd_(BoundLoopbackSocket()) { ::listen(fd_, 16); }
  ~SilentListener() { ::close(fd_); }
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;
  int port() const { return PortOf(fd_); }

 private:
  int fd_;
};

// Reads each request's head and answers byte for byte with `reply` (or with what
// `replyFor` gives for the request's method), then closes the connection. A
// reply shorter than its Content-Length is a body cut short.
class RawReplyServer {
 public:
  using ReplyFor = std::function<std::string(const std::string& method)>;
  explicit RawReplyServer(std::string reply)
      : RawReplyServer([reply = std::move(reply)](const std::string&) { return reply; }) {}
  explicit RawReplyServer(ReplyFor replyFor) : replyFor_(std::move(replyFor)), fd_(BoundLoopbackSocket()) {
    ::listen(fd_, 16);
    thread_ = std::thread([this] { Serve(); });
  }
  ~RawReplyServer() {
    stopping_ = true;
    ::shutdown(fd_, SHUT_RDWR);  // wakes the blocked accept
    thread_.join();
    ::close(fd_);
  }
  RawReplyServer(const RawReplyServer&) = delete;
  RawReplyServer& operator=(const RawReplyServer&) = delete;

  int port() const { return PortOf(fd_); }
  std::string url(const std::string& path = "/") const { return LoopbackUrl(port(), path); }
  std::string host_and_port() const { return "127.0.0.1:" + std::to_string(port()); }
  int requests() const { return requests_; }

 private:
  void Serve() {
    while (!stopping_) {
      const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) {
        if (stopping_) return;
        continue;
      }
      timeval wait{5, 0};  // a client that never closes must not hold the server
      ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
      std::string head;
      char buffer[4096];
      while (head.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        head.append(buffer, static_cast<size_t>(n));
      }
      ++requests_;
      const std::string reply = replyFor_(head.substr(0, head.find(' ')));
      size_t sent = 0;
      while (sent < reply.size()) {
        const ssize_t n = ::send(client, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
      ::shutdown(client, SHUT_WR);
      while (::recv(client, buffer, sizeof buffer, 0) > 0) {
      }
      ::close(client);
    }
  }

  ReplyFor replyFor_;
  int fd_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> requests_{0};
  std::thread thread_;
};

}  // namespace tessellink::test
