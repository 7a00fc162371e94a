#include "Service.h"

#include <httplib.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <stdexcept>

#include "Api.h"
#include "BlackList.h"
#include "Crowd.h"
#include "Ids.h"
#include "Pages.h"

namespace tidora::server {

namespace {

constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kInitPath = "/api.init.php";
constexpr const char* kReportPath = "/report.php";

Lang LangOf(const httplib::Request& request) {
  return PickLanguage(request.get_header_value("Accept-Language"));
}

const char* Reason(int status) {
  switch (status) {
    case 400: return "bad request";
    case 404: return "not found";
    case 405: return "method not allowed";
    case 413: return "report too large";
    case 414: return "address too long";
    case 500: return "internal error";
  }
  return "request failed";
}

bool IsApiPath(const std::string& path) { return path == kInitPath || path == kReportPath; }

void Page(httplib::Response& response, int status, std::string html) {
  response.status = status;
  response.set_header("Cache-Control", "no-store");
  response.set_content(std::move(html), kHtml);
}

void NotFound(const httplib::Request& request, httplib::Response& response) {
  Page(response, 404, RenderNotFound(LangOf(request)));
}

}  // namespace

Service::Service(Store& store, ServiceConfig config) : store_(store), config_(std::move(config)) {
  if (!config_.certFile.empty() || !config_.keyFile.empty()) {
    auto secure = std::make_unique<httplib::SSLServer>(config_.certFile.c_str(),
                                                       config_.keyFile.c_str());
    if (!secure->is_valid())
      throw std::runtime_error("cannot use certificate " + config_.certFile + " with key " +
                               config_.keyFile);
    server_ = std::move(secure);
    secure_ = true;
  } else {
    server_ = std::make_unique<httplib::Server>();
  }

  int threads = std::max(config_.threads, 1);
  server_->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  // A slow or silent client must not hold a worker for long.
  server_->set_read_timeout(10);
  server_->set_write_timeout(10);
  server_->set_keep_alive_timeout(3);
  server_->set_keep_alive_max_count(100);
  // Headers and body go out in separate writes; with Nagle on, each reply
  // waits for the client's delayed ACK.
  server_->set_tcp_nodelay(true);
  server_->set_payload_max_length(config_.limits.maxBody);
  // The library listens with a backlog of 5, so a burst of clients would see
  // refused or retried connections; keep the socket to widen it after bind.
  server_->set_socket_options([this](int socket) {
    int on = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    listenSocket_ = socket;
  });
  server_->set_default_headers({
      {"X-Content-Type-Options", "nosniff"},
      {"X-Frame-Options", "DENY"},
      {"Referrer-Policy", "no-referrer"},
      {"Content-Security-Policy",
       "default-src 'none'; style-src 'unsafe-inline'; img-src 'self' data:; "
       "base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
  });
  AddRoutes();
}

Service::~Service() = default;

int64_t Service::Now() const {
  if (config_.clock) return config_.clock();
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void Service::AddRoutes() {
  httplib::Server& server = *server_;
  server.Get(kInitPath, [this](const httplib::Request& request, httplib::Response& response) {
    HandleInit(store_, request, response);
  });
  server.Post(kReportPath, [this](const httplib::Request& request, httplib::Response& response) {
    HandleReport(store_, config_.limits, request, response);
  });

  server.Get("/", [this](const httplib::Request& request, httplib::Response& response) {
    if (!request.has_param("report")) {
      Page(response, 200, RenderHome(LangOf(request)));
      return;
    }
    std::string id = request.get_param_value("report");
    std::optional<StoredReport> stored;
    if (IsReportId(id)) stored = store_.LoadReport(id);
    if (!stored) return NotFound(request, response);
    BlackList blackList = BlackList::Load(store_.Settings());
    Page(response, 200,
         RenderReport(*stored, StudyReport(store_, *stored, blackList, Now()), LangOf(request)));
  });

  // The program links here with the lower-cased source and entry name, not
  // escaped; the browser percent-encodes what needs it and the path arrives
  // decoded. A name may itself hold a slash.
  server.Get(R"(/entry/([^/]+)/(.+))",
             [this](const httplib::Request& request, httplib::Response& response) {
               std::string source = LowerAscii(request.matches[1].str());
               std::string name = LowerAscii(request.matches[2].str());
               if (!IsEntrySource(source) || name.size() > 1024)
                 return NotFound(request, response);
               Page(response, 200,
                    RenderEntry(source, name, StudyEntry(store_, source, name, Now()),
                                LangOf(request)));
             });

  // Replies the handlers left empty (no route, wrong method, limits hit).
  server.set_error_handler(httplib::Server::HandlerWithResponse(
      [](const httplib::Request& request, httplib::Response& response) {
    if (!response.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
    if (IsApiPath(request.path)) {
      JsonError(response, response.status, Reason(response.status));
    } else if (response.status == 404 || response.status == 405) {
      NotFound(request, response);
    } else {
      response.set_content(Reason(response.status), "text/plain; charset=utf-8");
    }
    return httplib::Server::HandlerResponse::Handled;
  }));
  server.set_exception_handler(
      [](const httplib::Request& request, httplib::Response& response, std::exception_ptr error) {
        try {
          if (error) std::rethrow_exception(error);
        } catch (const std::exception& e) {
          std::fprintf(stderr, "%s %s failed: %s\n", request.method.c_str(),
                       request.path.c_str(), e.what());
        } catch (...) {
        }
        response.status = 500;
        if (IsApiPath(request.path)) JsonError(response, 500, "internal error");
        else response.set_content("Internal error", "text/plain; charset=utf-8");
      });
  if (config_.accessLog) {
    server.set_logger([](const httplib::Request& request, const httplib::Response& response) {
      std::fprintf(stderr, "%s %s %s %d %zu\n", request.remote_addr.c_str(),
                   request.method.c_str(), request.path.c_str(), response.status,
                   response.body.size());
    });
  }
}

int Service::Bind() {
  int port;
  if (config_.port == 0) {
    port = server_->bind_to_any_port(config_.address);
  } else {
    port = server_->bind_to_port(config_.address, config_.port) ? config_.port : -1;
  }
  if (port <= 0)
    throw std::runtime_error("cannot listen on " + config_.address + ":" +
                             std::to_string(config_.port));
  if (listenSocket_ >= 0) ::listen(listenSocket_, SOMAXCONN);
  return port;
}

bool Service::Run() {
  {
    std::lock_guard<std::mutex> lock(runMutex_);
    if (stopRequested_) return true;
    runStarted_ = true;
  }
  bool served = server_->listen_after_bind();
  runEnded_ = true;
  return served;
}

void Service::Stop() {
  {
    std::lock_guard<std::mutex> lock(runMutex_);
    stopRequested_ = true;
    if (!runStarted_) return;
  }
  while (!server_->is_running() && !runEnded_)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  server_->stop();
}

}  // namespace tidora::server
