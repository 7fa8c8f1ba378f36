#include "sync/sync_decision.h"

namespace tessellink {

std::string JoinErrors(const std::vector<std::string>& errors) {
  std::string text;
  for (auto it = errors.rbegin(); it != errors.rend(); ++it) text += *it;
  return text;
}

std::string DecisionStatusText(SyncDecision decision) {
  switch (decision) {
    case SyncDecision::RemoteMissing:
      return "Remote file is not found.Upload local file...";
    case SyncDecision::Conflict:
      return "Local file was updated but not uploaded";
    case SyncDecision::RemoteNewer:
      return "program is downloading from server...";
    case SyncDecision::LocalNewer:
      return "Upload local file...";
    case SyncDecision::Identical:
      return "local file is identical to the remote.";
    case SyncDecision::NetworkError:
      break;
  }
  return {};
}

namespace {

SyncDecision Decide(std::string_view headerText, const TS3Storage& storage, TXMLFileInfoType& record,
                    int32_t& remoteVersion) {
  if (!storage.Errors.empty() || headerText.empty()) return SyncDecision::NetworkError;
  if (headerText == kFileMissing) return SyncDecision::RemoteMissing;
  record.Download.size = storage.ContentLength;
  remoteVersion = storage.RemoteVersion;
  const int32_t dv = record.Download.version;
  const int32_t lv = record.Local.version;
  if (dv < remoteVersion) return lv != dv ? SyncDecision::Conflict : SyncDecision::RemoteNewer;
  return dv < lv ? SyncDecision::LocalNewer : SyncDecision::Identical;
}

}  // namespace

SyncDecision DecideSync(std::string_view headerText, const TS3Storage& storage, TXMLFileInfoType& record,
                        int32_t& remoteVersion, const TSyncStatusText& status) {
  const SyncDecision decision = Decide(headerText, storage, record, remoteVersion);
  if (status) {
    status(decision == SyncDecision::NetworkError ? "Network error." + JoinErrors(storage.Errors)
                                                  : DecisionStatusText(decision));
  }
  return decision;
}

}  // namespace tessellink
