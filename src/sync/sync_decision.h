#pragma once
// What a synchronisation does after the header request: compare the online
// object's version with the record and pick the one transfer that brings both
// sides in step.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "sync/s3_storage.h"
#include "sync/sync_record.h"

namespace tessellink {

enum class SyncDecision { RemoteMissing, Conflict, RemoteNewer, LocalNewer, NetworkError, Identical };

// The storage's error lines as one text: last line first, no separator.
std::string JoinErrors(const std::vector<std::string>& errors);

// The status text ApplyDecision shows for a decision; empty for NetworkError,
// whose text DecideSync shows itself.
std::string DecisionStatusText(SyncDecision decision);

using TSyncStatusText = std::function<void(const std::string&)>;

// Decides from the header text of a finished header request and its storage,
// and shows the decision's status text through `status` ("Network error." +
// JoinErrors for a failed request). Once the object's headers are known,
// record.Download.size becomes ContentLength (in memory, not saved) and
// `remoteVersion` becomes RemoteVersion: a merge uploads it + 1. For
// RemoteNewer the download's progress maximum is ContentLength.
SyncDecision DecideSync(std::string_view headerText, const TS3Storage& storage, TXMLFileInfoType& record,
                        int32_t& remoteVersion, const TSyncStatusText& status = {});

}  // namespace tessellink
