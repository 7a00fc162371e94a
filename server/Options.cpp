#include "Options.h"

#include <charconv>

namespace tidora::server {

namespace {

bool ParseNumber(const std::string& text, int low, int high, int& value) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

}  // namespace

const char* Usage() {
  return "Usage: tidora-server [options]\n"
         "  --address ADDR     address to listen on (default 127.0.0.1)\n"
         "  --port N           port; 0 picks a free one (default 0). The port in use\n"
         "                     is printed alone on the first line of standard output\n"
         "  --cert FILE        PEM certificate (chain): serve HTTPS; needs --key\n"
         "  --key FILE         PEM private key of the certificate\n"
         "  --db FILE|ADDRESS  SQLite database file (default tidora-service.db), or a\n"
         "                     PostgreSQL database as a libpq address postgresql://...\n"
         "                     that several instances may share\n"
         "  --threads N        worker threads, 1-256 (default 16)\n"
         "  --max-report N     largest report body in bytes (default 4194304)\n"
         "  --settings FILE    JSON object of init settings to store\n"
         "  --set NAME=VALUE   store one init setting (after --settings); NAME is\n"
         "                     update or notify (an address), info (a JSON object),\n"
         "                     file_white, name_white or name_black (a JSON array);\n"
         "                     an empty VALUE clears the setting\n"
         "  --no-serve         store the settings and exit; a server running on the\n"
         "                     same database answers with them from its next request\n"
         "  --log              log every request on standard error\n"
         "  --help             this text\n";
}

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (option == "--help" || option == "-h") {
      options.help = true;
      continue;
    }
    if (option == "--no-serve") {
      options.serve = false;
      continue;
    }
    if (option == "--log") {
      options.service.accessLog = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      error = option.rfind("--", 0) == 0 && option != "--" ? option + " needs a value"
                                                           : "unknown option " + option;
      return false;
    }
    const std::string& value = args[++i];
    int number = 0;
    if (option == "--address") {
      options.service.address = value;
    } else if (option == "--port") {
      if (!ParseNumber(value, 0, 65535, number)) return error = "bad port " + value, false;
      options.service.port = number;
    } else if (option == "--cert") {
      options.service.certFile = value;
    } else if (option == "--key") {
      options.service.keyFile = value;
    } else if (option == "--db") {
      options.database = value;
    } else if (option == "--threads") {
      if (!ParseNumber(value, 1, 256, number)) return error = "bad thread count " + value, false;
      options.service.threads = number;
    } else if (option == "--max-report") {
      if (!ParseNumber(value, 1024, 64 << 20, number))
        return error = "bad report size " + value, false;
      options.service.limits.maxBody = static_cast<size_t>(number);
    } else if (option == "--settings") {
      options.settingsFile = value;
    } else if (option == "--set") {
      options.settings.push_back(value);
    } else {
      error = "unknown option " + option;
      return false;
    }
  }
  if (options.service.certFile.empty() != options.service.keyFile.empty()) {
    error = "--cert and --key go together";
    return false;
  }
  if (options.service.address.empty() || options.database.empty()) {
    error = "empty address or database";
    return false;
  }
  return true;
}

}  // namespace tidora::server
