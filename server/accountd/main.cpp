// tessellink-accountd: the account service of Tessellink.

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <iostream>
#include <thread>

#include "accountd/account_server.h"
#include "accountd/options.h"

using namespace tessellink::accountd;

int main(int argc, char** argv) {
  ParsedOptions parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (parsed.options.help) {
    std::cout << UsageText();
    return 0;
  }
  if (!parsed.error.empty()) {
    std::cerr << "tessellink-accountd: " << parsed.error << "\n\n" << UsageText();
    return 2;
  }
  const Options& options = parsed.options;

  std::string error;
  auto secret = ReadSecretKey(options.secret_key_file, error);
  if (!secret) {
    std::cerr << "tessellink-accountd: " << error << "\n";
    return 1;
  }

  // Signals are taken by one waiting thread; every other thread, httplib's workers
  // included, inherits the blocked mask.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  try {
    AccountStore store(options.database);
    AccountService service(store, ServiceConfig{*secret, kDefaultIterations, {}});
    AccountServer server(service);
    int port = server.Bind(options.listen, options.port);
    if (port < 0) {
      std::cerr << "tessellink-accountd: cannot listen on " << options.listen << ":" << options.port << "\n";
      return 1;
    }

    std::atomic<bool> signalled{false};
    std::thread waiter([&] {
      int number = 0;
      sigwait(&stop_signals, &number);
      signalled = true;
      server.Stop();
    });

    LogToStandardError("tessellink-accountd: accounts in " + options.database.string() + ", signing for " +
                       options.access_key_id);
    std::cout << "listening on " << options.listen << ":" << port << std::endl;
    bool served = server.Run();
    if (!signalled) pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    LogToStandardError("tessellink-accountd: stopped");
    return served ? 0 : 1;
  } catch (const std::exception& failure) {
    std::cerr << "tessellink-accountd: " << failure.what() << "\n";
    return 1;
  }
}
