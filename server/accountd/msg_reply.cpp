#include "accountd/msg_reply.h"

namespace tessellink::accountd {

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default:
        // Control characters other than tab and line breaks are not allowed in XML 1.0.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
          out += '?';
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string MsgDocument(const Reply& reply) {
  std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Msg><Result>";
  doc += reply.ok ? "OK" : "FALSE";
  doc += "</Result><Desc>";
  doc += XmlEscape(reply.desc);
  doc += "</Desc></Msg>";
  return doc;
}

}  // namespace tessellink::accountd
