#pragma once
// What the server's tests and benchmarks share: temporary folders, a service
// running inside the test process, the real server program as a child
// process, sample reports and a many-connection report poster.
#include <httplib.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "Report.h"
#include "Service.h"
#include "Store.h"

namespace tidora::server::test {

// A fresh folder under /tmp, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string Path(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The back ends a store test runs against.
enum class Backend { Sqlite, Postgres };
const char* BackendName(Backend backend);
inline void PrintTo(Backend backend, std::ostream* out) { *out << BackendName(backend); }

// The PostgreSQL server of this test run, as a libpq address of its
// maintenance database, from TIDORA_TEST_POSTGRES (set by ctest, which
// starts that server for the run and stops it afterwards); "" when unset.
std::string TestPostgres();

// A fresh, empty place for a store: an SQLite file in a temporary folder, or
// a database of its own on the test run's PostgreSQL server, dropped at the
// end. Throws when the back end is not there (see Available).
class StorePlace {
 public:
  explicit StorePlace(Backend backend);
  ~StorePlace();
  StorePlace(const StorePlace&) = delete;
  StorePlace& operator=(const StorePlace&) = delete;
  static bool Available(Backend backend);
  // What --db or OpenStore takes.
  const std::string& Location() const { return location_; }
  // A location of the same back end that cannot be opened.
  std::string Unusable() const;

 private:
  Backend backend_;
  TempDir dir_;
  std::string database_;  // PostgreSQL only
  std::string location_;
};

// Store and Service on 127.0.0.1, a free port, served by a thread of the test
// process; stopped and joined when it goes out of scope.
class RunningService {
 public:
  explicit RunningService(const std::string& database, ServiceConfig config = {});
  ~RunningService();
  int Port() const { return port_; }
  Store& Data() { return *store_; }
  httplib::Client Client() const;

 private:
  std::unique_ptr<Store> store_;
  std::unique_ptr<Service> service_;
  std::thread thread_;
  int port_ = 0;
};

// The real tidora-server program, started with the given arguments (plus
// --port 0 unless they name a port); its port is read from its first line of
// output. It gets SIGTERM should the test process die first.
class ServerProcess {
 public:
  explicit ServerProcess(std::vector<std::string> args);
  ~ServerProcess();  // SIGTERM, then SIGKILL if it lingers
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;
  int Port() const { return port_; }
  void Kill();   // SIGKILL: no chance to tidy up
  int Stop();    // SIGTERM; returns the exit status (-1 when killed by a signal)

 private:
  int Wait(std::chrono::milliseconds limit);
  pid_t pid_ = -1;
  int port_ = 0;
};

// nginx from the repository's deploy configuration in a folder of its own,
// with a throw-away certificate, on a free loopback port, in front of
// instances on 127.0.0.1; stopped, workers and all, at the end (also when the
// test process dies).
class FrontDoor {
 public:
  explicit FrontDoor(const std::vector<int>& instancePorts,
                     const std::string& reportRate = "100000r/s", int reportBurst = 100000);
  ~FrontDoor();
  FrontDoor(const FrontDoor&) = delete;
  FrontDoor& operator=(const FrontDoor&) = delete;
  int Port() const { return port_; }
  // HTTPS, not checking the throw-away certificate.
  httplib::Client Client() const;

 private:
  void Stop();
  TempDir dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// A loopback port no one listens on at the moment.
int FreePort();

// Runs a program (from PATH) to its end, at most `limit`; its exit status, or
// -1.
int RunTool(const std::vector<std::string>& args,
            std::chrono::seconds limit = std::chrono::seconds(20));

// A PostgreSQL server of its own (scripts/postgres start-temp), for programs
// that run outside ctest; stopped and removed at the end. Sets
// TIDORA_TEST_POSTGRES so that StorePlace makes its databases there.
class PostgresServer {
 public:
  PostgresServer();
  ~PostgresServer();
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

 private:
  TempDir dir_;
};

// Runs tidora-server with the given arguments to its end (at most 20 s) and
// returns its exit status (-1 when it did not end by itself).
int RunProgram(const std::vector<std::string>& args);

// A report with every kind of record; `seed` varies sizes, texts (Korean,
// backslashes, markup) and outcomes so that reports differ.
UsageReport SampleReport(size_t seed);

struct Acked {
  std::string id;
  size_t seed;  // the report sent was SampleReport(seed)
};

struct LoadOutcome {
  std::vector<Acked> acked;
  size_t attempted = 0;
  size_t failed = 0;             // transport errors and non-200 replies
  std::vector<double> latencyMs; // of the acknowledged posts
  double seconds = 0;
};

struct LoadPlan {
  int port = 0;
  size_t connections = 8;
  size_t reports = 200;
  std::chrono::seconds limit{60};
  bool tls = false;          // HTTPS (as to nginx), certificate not checked
  bool stopOnError = false;  // a client that fails posts no more
  // Called on a posting thread after each acknowledgement, with the count of
  // acknowledgements so far.
  std::function<void(size_t)> onAck;
};

// Posts plan.reports reports (seeds 0..n-1) from plan.connections keep-alive
// clients at once, until all are sent or the time limit passes.
LoadOutcome PostLoad(const LoadPlan& plan);

// A load benchmark's size: its defaults, then "--reports N", "--connections N",
// "--threads N" and "--seconds N" from the command line, each bounded so that
// a run stays on loopback within minutes; a value that is no positive number
// keeps the default.
struct LoadSettings {
  size_t reports = 0;
  size_t connections = 16;
  int threads = 16;
  int seconds = 60;
};
LoadSettings ParseLoadSettings(int argc, char** argv, LoadSettings defaults);

// The p-th percentile (0-100) of the values, 0 when there are none.
double Percentile(std::vector<double> values, double p);

// Acknowledged reports that the store does not hold exactly as sent; the
// first few are described in `detail`.
size_t CountUnfaithful(const Store& store, const std::vector<Acked>& acked, std::string& detail);

}  // namespace tidora::server::test
