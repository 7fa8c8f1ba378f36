#include "linkcheck/link_status.h"

namespace tessellink {

LinkStatus VerdictOf(int code) {
  if (code >= 200 && code <= 206) return LinkStatus::Ok;
  if (code >= 400 && code <= 417) return LinkStatus::Error;
  if (code >= 300 && code <= 307) return LinkStatus::Redirected;
  if (code >= 500 && code <= 505) return LinkStatus::PossibleError;
  return LinkStatus::UnknownError;
}

bool TicksOnArrival(int code) { return code >= 400 && code <= 417; }

std::string_view FixedNameOf(int code) {
  switch (code) {
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Time-out";
    case 505: return "HTTP Version not supported";
    default: return {};
  }
}

std::string DetailOf(int code, std::string_view reason) {
  return std::string(code > 499 ? FixedNameOf(code) : reason);
}

std::string StatusText(LinkStatus status, std::string_view detail) {
  switch (status) {
    case LinkStatus::NotChecked: return {};
    case LinkStatus::Waiting: return "Waiting";
    case LinkStatus::Ok: return "OK";
    case LinkStatus::Error: return "Error," + std::string(detail);
    case LinkStatus::Redirected: return "Redirected," + std::string(detail);
    case LinkStatus::PossibleError: return "Possible error," + std::string(detail);
    case LinkStatus::UnknownError: return "Unknow Error." + std::string(detail);
  }
  return {};
}

bool IsBadLink(LinkStatus status) {
  return status == LinkStatus::Error || status == LinkStatus::PossibleError || status == LinkStatus::UnknownError;
}

std::string_view LinkStatusName(LinkStatus status) {
  switch (status) {
    case LinkStatus::NotChecked: return "NotChecked";
    case LinkStatus::Waiting: return "Waiting";
    case LinkStatus::Ok: return "Ok";
    case LinkStatus::Error: return "Error";
    case LinkStatus::Redirected: return "Redirected";
    case LinkStatus::PossibleError: return "PossibleError";
    case LinkStatus::UnknownError: return "UnknownError";
  }
  return {};
}

}  // namespace tessellink
