#pragma once
// What a new account may look like.

#include <optional>
#include <string>
#include <string_view>

namespace tessellink::accountd {

inline constexpr size_t kMaxUserNameCharacters = 64;
inline constexpr size_t kMaxEmailBytes = 254;

// The message that refuses a new user name, or nothing when it is acceptable. The
// program's wizard refuses blanks and "+", "-", "*", "/"; the service refuses them
// too, and also control characters, text that is not UTF-8 and overlong names,
// since the name becomes the storage object's key.
std::optional<std::string> CheckNewUserName(std::string_view name);

std::optional<std::string> CheckEmail(std::string_view email);

// The form under which names are unique: Unicode case folding, so that "Alice" and
// "ALICE" cannot be two accounts with two storage objects. Expects valid UTF-8.
std::string UserNameKey(std::string_view name);

bool IsValidUtf8(std::string_view text);

}  // namespace tessellink::accountd
