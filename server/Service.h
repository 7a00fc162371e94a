#pragma once
// The HTTP(S) server: the service's routes on cpp-httplib, with every limit
// set, bound to one address.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "Report.h"
#include "Store.h"

namespace httplib {
class Server;
}

namespace tidora::server {

struct ServiceConfig {
  std::string address = "127.0.0.1";
  int port = 0;          // 0: any free port
  std::string certFile;  // both set: HTTPS
  std::string keyFile;
  int threads = 16;
  bool accessLog = false;
  ReportLimits limits;
  // Seconds since 1970 for the pages' "last 30 days"; empty: the system clock.
  std::function<int64_t()> clock;
};

class Service {
 public:
  // Throws std::runtime_error when the certificate or key cannot be used.
  Service(Store& store, ServiceConfig config);
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Binds the address and returns the port; throws std::runtime_error.
  int Bind();
  // Serves until Stop (from any thread). False when serving failed.
  bool Run();
  void Stop();
  bool IsSecure() const { return secure_; }

 private:
  void AddRoutes();
  int64_t Now() const;

  // Stop may come before Run has started listening (a signal at start-up, a
  // test that ends at once); httplib would miss it and listen for ever.
  std::mutex runMutex_;
  bool stopRequested_ = false;
  bool runStarted_ = false;
  std::atomic<bool> runEnded_{false};
  int listenSocket_ = -1;

  Store& store_;
  ServiceConfig config_;
  bool secure_ = false;
  std::unique_ptr<httplib::Server> server_;
};

}  // namespace tidora::server
