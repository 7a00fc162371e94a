#pragma once
// What the init call tells the program: a newer version's address, a notice
// address, a notice for the update prompt, and additions to the program's
// three protection lists. Kept in the database; set from the command line.
#include <map>
#include <string>
#include <vector>

namespace tidora::server {

// Checks a setting given as NAME=VALUE on the command line and returns its
// canonical JSON text in json. VALUE is plain text for "update" and "notify",
// a JSON object for "info", a JSON array of strings for the three lists.
// An empty VALUE clears the setting (json is then "").
bool ParseSetting(const std::string& assignment, std::string& name, std::string& json,
                  std::string& error);

// The same check for a value already in JSON form (as in a settings file:
// one JSON object whose members are the settings).
bool CheckSetting(const std::string& name, const std::string& jsonValue, std::string& json,
                  std::string& error);

// The init reply: a compact JSON object (no white space anywhere) with the
// members that are set, "update" first. The program cuts values out of this
// text by searching for "name":" so compactness is part of the contract.
std::string InitReply(const std::map<std::string, std::string>& settings);

class Store;

// Applies a settings file (a JSON object of settings; a null member clears
// one) and then NAME=VALUE assignments, in that order, in one transaction.
// Everything is checked before anything is written, so a mistake leaves the
// settings as they were.
bool ApplySettings(Store& store, const std::string& fileText,
                   const std::vector<std::string>& assignments, std::string& error);

}  // namespace tidora::server
