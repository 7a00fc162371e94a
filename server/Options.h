#pragma once
// The server's command line.
#include <string>
#include <vector>

#include "Service.h"

namespace tidora::server {

struct Options {
  ServiceConfig service;
  std::string database = "tidora-service.db";
  std::string settingsFile;
  std::vector<std::string> settings;  // NAME=VALUE, in order
  bool serve = true;  // false: store the settings and exit
  bool help = false;
};

// Reads the arguments after the program name. False, with error set, on an
// unknown option, a missing or malformed value, or a certificate without key.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

const char* Usage();

}  // namespace tidora::server
