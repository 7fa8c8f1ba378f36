#include "accountd/options.h"

#include <fstream>
#include <sstream>

namespace tessellink::accountd {

namespace {

std::optional<int> ParsePort(const std::string& text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > 65535) return std::nullopt;
  return value;
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& arguments) {
  ParsedOptions parsed;
  Options& options = parsed.options;
  bool have_secret = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    std::string name = arguments[i];
    std::optional<std::string> value;
    if (size_t equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    if (name != "--listen" && name != "--port" && name != "--database" && name != "--access-key-id" &&
        name != "--secret-key-file") {
      parsed.error = "unknown option: " + arguments[i];
      return parsed;
    }
    if (!value) {
      if (i + 1 >= arguments.size()) {
        parsed.error = name + " needs a value";
        return parsed;
      }
      value = arguments[++i];
    }
    if (name == "--listen") {
      options.listen = *value;
    } else if (name == "--port") {
      auto port = ParsePort(*value);
      if (!port) {
        parsed.error = "--port needs a number from 0 to 65535: " + *value;
        return parsed;
      }
      options.port = *port;
    } else if (name == "--database") {
      options.database = *value;
    } else if (name == "--access-key-id") {
      options.access_key_id = *value;
    } else {
      options.secret_key_file = *value;
      have_secret = true;
    }
    if (value->empty()) {
      parsed.error = name + " needs a value";
      return parsed;
    }
  }
  if (!options.help && !have_secret) parsed.error = "--secret-key-file is required";
  return parsed;
}

std::string UsageText() {
  return "Usage: tessellink-accountd --secret-key-file FILE [OPTIONS]\n"
         "The Tessellink account service: registers users, checks their passwords and signs\n"
         "their storage requests.\n"
         "\n"
         "  --listen ADDRESS         address to listen on (default 127.0.0.1)\n"
         "  --port N                 port to listen on; 0 picks a free one (default 0)\n"
         "  --database FILE          SQLite file of the accounts, created when missing\n"
         "                           (default accounts.sqlite)\n"
         "  --access-key-id ID       storage access key id the secret key belongs to\n"
         "                           (default KQ7TWX3ZLM4NBV2HDC9R)\n"
         "  --secret-key-file FILE   file holding the storage secret key (required)\n"
         "  --help                   show this text\n"
         "\n"
         "Prints \"listening on ADDRESS:PORT\" once ready; stops on SIGTERM or SIGINT.\n";
}

std::optional<std::string> ReadSecretKey(const std::filesystem::path& file, std::string& error) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    error = "cannot read the secret key file " + file.string();
    return std::nullopt;
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) {
    error = "cannot read the secret key file " + file.string();
    return std::nullopt;
  }
  std::string key = bytes.str();
  while (!key.empty() && (key.back() == '\n' || key.back() == '\r')) key.pop_back();
  if (key.empty()) {
    error = "the secret key file " + file.string() + " is empty";
    return std::nullopt;
  }
  return key;
}

}  // namespace tessellink::accountd
