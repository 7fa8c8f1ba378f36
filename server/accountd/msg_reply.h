#pragma once
// The reply document every account request answers with.

#include <string>
#include <string_view>

namespace tessellink::accountd {

struct Reply {
  bool ok = false;
  std::string desc;  // the payload on success, the message to show on failure
};

inline Reply Success(std::string desc) { return Reply{true, std::move(desc)}; }
inline Reply Failure(std::string desc) { return Reply{false, std::move(desc)}; }

// <Msg><Result>OK|FALSE</Result><Desc>...</Desc></Msg> with an XML declaration.
std::string MsgDocument(const Reply& reply);

std::string XmlEscape(std::string_view text);

}  // namespace tessellink::accountd
