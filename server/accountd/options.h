#pragma once
// Command-line options of tessellink-accountd.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "accountd/account_service.h"

namespace tessellink::accountd {

struct Options {
  std::string listen = "127.0.0.1";
  int port = 0;
  std::filesystem::path database = "accounts.sqlite";
  std::string access_key_id = std::string(kDefaultAccessKeyId);
  std::filesystem::path secret_key_file;
  bool help = false;
};

struct ParsedOptions {
  Options options;
  std::string error;  // not empty: wrong usage, with the reason
};

// Takes "--name value" and "--name=value"; the arguments exclude the program name.
ParsedOptions ParseOptions(const std::vector<std::string>& arguments);

std::string UsageText();

// The key without its trailing line break. Nothing, with `error` set, when the file
// cannot be read or holds no key.
std::optional<std::string> ReadSecretKey(const std::filesystem::path& file, std::string& error);

}  // namespace tessellink::accountd
