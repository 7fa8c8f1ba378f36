#pragma once
// The program's one command-line parameter: a "tslink:" link from the browser
// add-on, an ".xbel" file from the shell, or "|address" from the Opera menu
// entry. Each becomes a hand-over message; this layer only builds the text,
// the caller puts it where the running instance reads it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/environment_services.h"
#include "app/run_log.h"

namespace tessellink {

// "+" becomes a blank, then each "%XX" becomes the byte XX (nothing for 00 or
// for a non-hexadecimal pair; the three characters go either way). The bytes
// are read as UTF-8; any byte that is not part of valid UTF-8 becomes U+FFFD.
std::string UrlDecodeUtf8(std::string_view text);

// "tslink:" key "=" address "&" key "=" title: the add message, or nothing when
// the link has fewer than two pieces.
std::optional<std::string> HandleTslinkUrl(std::string_view link, TRunLog& log);

// Classifies one parameter and returns the message it stands for, if any.
std::optional<std::string> HandOverForParameter(std::string_view parameter, TRunLog& log,
                                                const IEnvironmentServices& env);

// `parameters` without the program name. Only the first is used; it is logged
// exactly as given before anything else happens to it.
std::optional<std::string> HandOverForCommandLine(const std::vector<std::string>& parameters, TRunLog& log,
                                                  const IEnvironmentServices& env);

}  // namespace tessellink
