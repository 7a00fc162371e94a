#include "Support.h"

#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <libpq-fe.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <cstdlib>
#include <mutex>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "Ids.h"

extern char** environ;

namespace tidora::server::test {

namespace {

using Clock = std::chrono::steady_clock;

int RemoveOne(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}

}  // namespace

TempDir::TempDir() {
  char pattern[] = "/tmp/tidora-server-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() { nftw(path_.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS); }

const char* BackendName(Backend backend) {
  return backend == Backend::Sqlite ? "SQLite" : "PostgreSQL";
}

std::string TestPostgres() {
  if (const char* address = std::getenv("TIDORA_TEST_POSTGRES")) return address;
  const char* file = std::getenv("TIDORA_TEST_POSTGRES_FILE");
  std::string address;
  if (file) std::getline(std::ifstream(file), address);
  return address;
}

namespace {

// The address of another database on the server `maintenance` points at
// ("postgresql:///postgres?..." as the test server's start script writes it).
std::string DatabaseAddress(const std::string& maintenance, const std::string& database) {
  const std::string path = "/postgres?";
  size_t at = maintenance.find(path);
  if (at == std::string::npos)
    throw std::runtime_error("unexpected PostgreSQL address " + maintenance);
  return maintenance.substr(0, at) + "/" + database + "?" + maintenance.substr(at + path.size());
}

void RunOnServer(const std::string& address, const std::string& sql) {
  PGconn* conn = PQconnectdb(address.c_str());
  std::string error;
  if (PQstatus(conn) != CONNECTION_OK) {
    error = PQerrorMessage(conn);
  } else {
    PGresult* result = PQexec(conn, sql.c_str());
    if (PQresultStatus(result) != PGRES_COMMAND_OK) error = PQresultErrorMessage(result);
    PQclear(result);
  }
  PQfinish(conn);
  if (!error.empty()) throw std::runtime_error(sql + ": " + error);
}

}  // namespace

bool StorePlace::Available(Backend backend) {
  return backend == Backend::Sqlite || !TestPostgres().empty();
}

StorePlace::StorePlace(Backend backend) : backend_(backend) {
  if (backend == Backend::Sqlite) {
    location_ = dir_.Path("service.db");
    return;
  }
  std::string server = TestPostgres();
  if (server.empty()) throw std::runtime_error("no PostgreSQL server for this test run");
  database_ = "tidora_test_" + LowerAscii(NewReportId());
  for (char& c : database_)
    if (c == '-') c = '_';
  RunOnServer(server, "CREATE DATABASE " + database_ +
                          " TEMPLATE template0 ENCODING 'UTF8' LC_COLLATE 'C' LC_CTYPE 'C'");
  location_ = DatabaseAddress(server, database_);
}

StorePlace::~StorePlace() {
  if (database_.empty()) return;
  try {
    RunOnServer(TestPostgres(), "DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
  }
}

std::string StorePlace::Unusable() const {
  return backend_ == Backend::Sqlite ? dir_.Path("missing-folder/service.db")
                                     : DatabaseAddress(TestPostgres(), "tidora_no_such_database");
}

RunningService::RunningService(const std::string& database, ServiceConfig config) {
  config.address = "127.0.0.1";
  config.port = 0;
  store_ = OpenStore(database);
  service_ = std::make_unique<Service>(*store_, config);
  port_ = service_->Bind();
  thread_ = std::thread([this] { service_->Run(); });
}

RunningService::~RunningService() {
  service_->Stop();
  thread_.join();
}

httplib::Client RunningService::Client() const {
  httplib::Client client("127.0.0.1", port_);
  client.set_connection_timeout(5);
  client.set_read_timeout(20);
  return client;
}

ServerProcess::ServerProcess(std::vector<std::string> args) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  args.insert(args.begin(), TIDORA_SERVER_EXE);
  args.push_back("--port");
  args.push_back("0");
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  int rc = posix_spawn(&pid_, TIDORA_SERVER_EXE, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    throw std::runtime_error("cannot start " TIDORA_SERVER_EXE);
  }

  std::string line;
  auto deadline = Clock::now() + std::chrono::seconds(20);
  while (line.find('\n') == std::string::npos && Clock::now() < deadline) {
    pollfd fd{out[0], POLLIN, 0};
    if (poll(&fd, 1, 100) <= 0) continue;
    char buffer[64];
    ssize_t got = read(out[0], buffer, sizeof buffer);
    if (got <= 0) break;
    line.append(buffer, static_cast<size_t>(got));
  }
  close(out[0]);
  port_ = std::atoi(line.c_str());
  if (port_ <= 0) {
    Kill();
    throw std::runtime_error("the server did not tell its port");
  }
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0) Stop();
}

int ServerProcess::Wait(std::chrono::milliseconds limit) {
  auto deadline = Clock::now() + limit;
  for (;;) {
    int status = 0;
    pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (done < 0 || Clock::now() >= deadline) return -2;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void ServerProcess::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

int ServerProcess::Stop() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  int status = Wait(std::chrono::seconds(10));
  if (status == -2) {
    Kill();
    return -1;
  }
  return status;
}

int RunProgram(const std::vector<std::string>& args) {
  std::vector<std::string> all = args;
  all.insert(all.begin(), TIDORA_SERVER_EXE);
  std::vector<char*> argv;
  for (auto& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, TIDORA_SERVER_EXE, nullptr, nullptr, argv.data(), environ) != 0)
    return -1;
  auto deadline = Clock::now() + std::chrono::seconds(20);
  for (;;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (Clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

UsageReport SampleReport(size_t seed) {
  std::string n = std::to_string(seed);
  UsageReport report;
  report.memTotal = 8ll << 30;
  report.memOld = (1ll << 30) + static_cast<int64_t>(seed % 1000) * 4096;
  report.memNew = report.memOld + (512ll << 20);
  report.processes = {
      {"%SystemRoot%\\explorer.exe", ProcessOutcome::Kept},
      {"%ProgramFiles%\\App " + n + "\\app.exe", ProcessOutcome::Ended},
      {"메모장 " + n + ".exe", ProcessOutcome::StillRunning},
  };
  for (size_t i = 0; i < seed % 5; ++i)
    report.processes.push_back({"helper" + std::to_string(i) + "<b>&\".exe", ProcessOutcome::Ended});
  if (seed % 4 != 0) {
    report.startups = {
        {"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Updater" + std::to_string(seed % 2),
         "HKCU", SwitchState::Unknown},
        {"\\Task " + std::to_string(seed % 3), "SCHE", SwitchState::Unknown},
        {"Spooler", "SERV", SwitchState::Unknown},
    };
  }
  if (seed % 3 != 1)
    report.installs = {{"프로그램 " + n, "Publisher & Co"}, {"Tool <x>", ""}};
  return report;
}

LoadOutcome PostLoad(const LoadPlan& plan) {
  LoadOutcome outcome;
  std::mutex mutex;
  std::atomic<size_t> next{0};
  auto start = Clock::now();
  auto deadline = start + plan.limit;

  auto post = [&] {
    httplib::Client client("127.0.0.1", plan.port);
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true);
    client.set_connection_timeout(5);
    client.set_read_timeout(30);
    httplib::Headers headers = {{"User-Version", "1.0.0.1"},
                                {"User-Union", "0123ABCD240101BEEF12345600C0FFEE"}};
    for (;;) {
      size_t seed = next++;
      if (seed >= plan.reports || Clock::now() >= deadline) return;
      std::string body = WriteReport(SampleReport(seed));
      auto sent = Clock::now();
      auto reply = client.Post("/report.php", headers, body, "application/json");
      double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
      std::string id;
      if (reply && reply->status == 200) {
        auto json = nlohmann::json::parse(reply->body, nullptr, false);
        if (json.is_object() && json.contains("pk") && json["pk"].is_string())
          id = json["pk"].get<std::string>();
      }
      size_t ackedSoFar = 0;
      {
        std::lock_guard<std::mutex> lock(mutex);
        ++outcome.attempted;
        if (id.empty()) {
          ++outcome.failed;
        } else {
          outcome.acked.push_back({id, seed});
          outcome.latencyMs.push_back(ms);
          ackedSoFar = outcome.acked.size();
        }
      }
      if (id.empty()) {
        if (plan.stopOnError) return;
        continue;
      }
      if (plan.onAck) plan.onAck(ackedSoFar);
    }
  };
  std::vector<std::thread> clients;
  for (size_t i = 0; i < plan.connections; ++i) clients.emplace_back(post);
  for (auto& client : clients) client.join();
  outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return outcome;
}

size_t CountUnfaithful(const Store& store, const std::vector<Acked>& acked, std::string& detail) {
  size_t bad = 0;
  for (const auto& a : acked) {
    auto stored = store.LoadReport(a.id);
    const char* why = !stored ? "missing" : stored->report == SampleReport(a.seed) ? nullptr
                                                                                 : "differs";
    if (!why) continue;
    if (++bad <= 5) detail += "report " + a.id + " (seed " + std::to_string(a.seed) + ") " + why + "\n";
  }
  return bad;
}

}  // namespace tidora::server::test
