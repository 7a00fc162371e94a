// tidora-server: the web service Tidora reports to.
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "Options.h"
#include "Settings.h"
#include "Store.h"

using namespace tidora::server;

namespace {

bool ReadWholeFile(const std::string& path, std::string& text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream content;
  content << file.rdbuf();
  text = content.str();
  return !file.bad();
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string error;
  if (!ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::fprintf(stderr, "tidora-server: %s\n%s", error.c_str(), Usage());
    return 2;
  }
  if (options.help) {
    std::fputs(Usage(), stdout);
    return 0;
  }

  // Signals are taken by one thread with sigwait, which may safely stop the
  // server; every other thread inherits the blocked mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGUSR1);  // our own wake-up when serving ends first
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  try {
    std::string settingsText;
    if (!options.settingsFile.empty() && !ReadWholeFile(options.settingsFile, settingsText)) {
      std::fprintf(stderr, "tidora-server: cannot read %s\n", options.settingsFile.c_str());
      return 1;
    }
    // Reports carry user ids: the database is for this account's eyes only.
    umask(077);
    std::unique_ptr<Store> store =
        OpenStore(options.database, static_cast<size_t>(options.service.threads));
    if (!ApplySettings(*store, settingsText, options.settings, error)) {
      std::fprintf(stderr, "tidora-server: %s\n", error.c_str());
      return 2;
    }
    if (!options.serve) return 0;
    Service service(*store, options.service);
    int port = service.Bind();
    std::printf("%d\n", port);
    std::fflush(stdout);
    std::fprintf(stderr, "tidora-server: serving %s://%s:%d, database %s\n",
                 service.IsSecure() ? "https" : "http", options.service.address.c_str(), port,
                 options.database.c_str());

    std::thread waiter([&] {
      int signal = 0;
      sigwait(&stopSignals, &signal);
      service.Stop();
    });
    bool served = service.Run();
    pthread_kill(waiter.native_handle(), SIGUSR1);
    waiter.join();
    std::fprintf(stderr, "tidora-server: stopped\n");
    return served ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tidora-server: %s\n", e.what());
    return 1;
  }
}
