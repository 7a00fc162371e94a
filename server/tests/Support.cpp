#include "Support.h"

#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <libpq-fe.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <cstdlib>
#include <cstring>
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

namespace {

// Starts a program (looked up on PATH when the name has no slash) with its
// standard output on `out` (-1: inherited). The child is tied to the test:
// it gets SIGTERM when the thread that started it ends, so a test that dies
// leaves no server behind. Start children from the main thread.
pid_t SpawnTied(const std::vector<std::string>& args, int out) {
  std::vector<char*> argv;
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    if (out >= 0) dup2(out, STDOUT_FILENO);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

}  // namespace

ServerProcess::ServerProcess(std::vector<std::string> args) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  args.insert(args.begin(), TIDORA_SERVER_EXE);
  if (std::find(args.begin(), args.end(), "--port") == args.end()) {
    args.push_back("--port");
    args.push_back("0");
  }
  try {
    pid_ = SpawnTied(args, out[1]);
  } catch (...) {
    close(out[0]);
    close(out[1]);
    throw;
  }
  close(out[1]);

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

int RunTool(const std::vector<std::string>& args, std::chrono::seconds limit) {
  pid_t pid = SpawnTied(args, -1);
  auto deadline = Clock::now() + limit;
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

int RunProgram(const std::vector<std::string>& args) {
  std::vector<std::string> all = args;
  all.insert(all.begin(), TIDORA_SERVER_EXE);
  return RunTool(all);
}

PostgresServer::PostgresServer() {
  const std::string file = dir_.Path("address");
  if (RunTool({TIDORA_SERVER_SOURCE "/scripts/postgres", "start-temp", file},
              std::chrono::seconds(120)) != 0)
    throw std::runtime_error("could not start PostgreSQL (scripts/postgres)");
  std::string address;
  std::getline(std::ifstream(file), address);
  setenv("TIDORA_TEST_POSTGRES", address.c_str(), 1);
}

PostgresServer::~PostgresServer() {
  RunTool({TIDORA_SERVER_SOURCE "/scripts/postgres", "stop-temp", dir_.Path("address")},
          std::chrono::seconds(60));
  unsetenv("TIDORA_TEST_POSTGRES");
}

int FreePort() {
  int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  int port = -1;
  if (bind(probe, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
      getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size) == 0)
    port = ntohs(address.sin_port);
  close(probe);
  if (port <= 0) throw std::runtime_error("no free loopback port");
  return port;
}

FrontDoor::FrontDoor(const std::vector<int>& instancePorts, const std::string& reportRate,
                     int reportBurst) {
  // nginx's workers run as nobody when the tests run as root.
  chmod(dir_.Path("").c_str(), 0755);
  const std::string cert = dir_.Path("cert.pem"), key = dir_.Path("key.pem");
  if (RunTool({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
               "ec_paramgen_curve:prime256v1", "-nodes", "-subj", "/CN=localhost", "-days", "1",
               "-keyout", key, "-out", cert}) != 0)
    throw std::runtime_error("openssl could not make a certificate");
  port_ = FreePort();
  std::vector<std::string> render = {TIDORA_SERVER_SOURCE "/deploy/render", dir_.Path("nginx"),
                                     "127.0.0.1:" + std::to_string(port_), cert, key};
  for (int port : instancePorts) render.push_back(std::to_string(port));
  setenv("TIDORA_REPORT_RATE", reportRate.c_str(), 1);
  setenv("TIDORA_REPORT_BURST", std::to_string(reportBurst).c_str(), 1);
  int rendered = RunTool(render);
  if (rendered != 0) throw std::runtime_error("deploy/render failed");
  const std::string prefix = dir_.Path("nginx");
  pid_ = SpawnTied({"nginx", "-p", prefix, "-c", prefix + "/nginx.conf", "-e",
                    prefix + "/error.log", "-g", "daemon off;"},
                   -1);
  auto deadline = Clock::now() + std::chrono::seconds(15);
  while (Clock::now() < deadline) {
    int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port_));
    bool up = connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(probe);
    if (up) return;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      throw std::runtime_error("nginx ended at start; see " + prefix + "/error.log");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  Stop();
  throw std::runtime_error("nginx did not listen in time");
}

FrontDoor::~FrontDoor() { Stop(); }

void FrontDoor::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  auto deadline = Clock::now() + std::chrono::seconds(10);
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) != pid_) {
    if (Clock::now() >= deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
}

httplib::Client FrontDoor::Client() const {
  httplib::Client client("https://127.0.0.1:" + std::to_string(port_));
  client.enable_server_certificate_verification(false);
  client.set_connection_timeout(5);
  client.set_read_timeout(20);
  return client;
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
    httplib::Client client((plan.tls ? "https://127.0.0.1:" : "http://127.0.0.1:") +
                           std::to_string(plan.port));
    client.enable_server_certificate_verification(false);  // a throw-away certificate
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

LoadSettings ParseLoadSettings(int argc, char** argv, LoadSettings settings) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const long value = std::atol(argv[i + 1]);
    if (value <= 0) continue;
    if (!std::strcmp(argv[i], "--reports")) settings.reports = std::min(value, 100000L);
    else if (!std::strcmp(argv[i], "--connections")) settings.connections = std::min(value, 256L);
    else if (!std::strcmp(argv[i], "--threads")) settings.threads = std::min(value, 256L);
    else if (!std::strcmp(argv[i], "--seconds")) settings.seconds = std::min(value, 600L);
  }
  return settings;
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(p / 100 * (values.size() - 1) + 0.5)];
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
