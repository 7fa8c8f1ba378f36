#include "sync/sync_decision.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace tessellink {
namespace {

TEST(JoinErrorsTest, LastLineFirstWithoutSeparator) {
  EXPECT_EQ(JoinErrors({}), "");
  EXPECT_EQ(JoinErrors({"a"}), "a");
  EXPECT_EQ(JoinErrors({"first", "second", "third"}), "thirdsecondfirst");
}

struct DecisionCase {
  const char* name;
  std::string header;
  std::vector<std::string> errors;
  int32_t dv, lv, r;
  SyncDecision expected;
  const char* status;
};

void PrintTo(const DecisionCase& c, std::ostream* os) { *os << c.name; }

class DecideSyncTest : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(DecideSyncTest, FollowsTheVersionRules) {
  const DecisionCase& c = GetParam();
  TS3Storage storage;
  storage.Errors = c.errors;
  storage.RemoteVersion = c.r;
  storage.ContentLength = 321;
  TXMLFileInfoType record;
  record.Download = {c.dv, 5};
  record.Local = {c.lv, 0};
  int32_t remembered = -1;
  std::vector<std::string> shown;
  const SyncDecision decision =
      DecideSync(c.header, storage, record, remembered, [&](const std::string& text) { shown.push_back(text); });
  EXPECT_EQ(decision, c.expected);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], c.status);
  // Versions are never changed by a decision; the size and R only once the headers are known.
  EXPECT_EQ(record.Download.version, c.dv);
  EXPECT_EQ(record.Local.version, c.lv);
  const bool headersKnown = decision != SyncDecision::NetworkError && decision != SyncDecision::RemoteMissing;
  EXPECT_EQ(record.Download.size, headersKnown ? 321 : 5);
  EXPECT_EQ(remembered, headersKnown ? c.r : -1);
}

const std::string kHeaders = "HTTP/1.1 200 OK\r\nContent-Length: 321\r\nx-amz-meta-version: 3";

INSTANTIATE_TEST_SUITE_P(
    Table, DecideSyncTest,
    ::testing::Values(
        DecisionCase{"EmptyHeader", "", {}, 1, 1, 1, SyncDecision::NetworkError, "Network error."},
        DecisionCase{"ErrorsAfterHeaders", kHeaders, {"'x' is not a valid integer value"}, 1, 1, 9,
                     SyncDecision::NetworkError, "Network error.'x' is not a valid integer value"},
        DecisionCase{"ErrorsJoinedLastFirst", "", {"one", "two"}, 1, 1, 1, SyncDecision::NetworkError,
                     "Network error.twoone"},
        DecisionCase{"Missing", kFileMissing, {}, 3, 4, 9, SyncDecision::RemoteMissing,
                     "Remote file is not found.Upload local file..."},
        DecisionCase{"Conflict", kHeaders, {}, 2, 3, 3, SyncDecision::Conflict,
                     "Local file was updated but not uploaded"},
        DecisionCase{"ConflictLocalBehind", kHeaders, {}, 2, 1, 3, SyncDecision::Conflict,
                     "Local file was updated but not uploaded"},
        DecisionCase{"RemoteNewer", kHeaders, {}, 2, 2, 3, SyncDecision::RemoteNewer,
                     "program is downloading from server..."},
        DecisionCase{"LocalNewer", kHeaders, {}, 3, 4, 3, SyncDecision::LocalNewer, "Upload local file..."},
        DecisionCase{"LocalNewerRemoteOlder", kHeaders, {}, 5, 6, 3, SyncDecision::LocalNewer,
                     "Upload local file..."},
        DecisionCase{"Identical", kHeaders, {}, 3, 3, 3, SyncDecision::Identical,
                     "local file is identical to the remote."},
        DecisionCase{"NoVersionHeaderNeverNewer", "HTTP/1.1 200 OK\r\nContent-Length: 321", {}, 0, 0, 0,
                     SyncDecision::Identical, "local file is identical to the remote."},
        DecisionCase{"LocalBelowDownload", kHeaders, {}, 3, 2, 3, SyncDecision::Identical,
                     "local file is identical to the remote."}),
    [](const ::testing::TestParamInfo<DecisionCase>& info) { return std::string(info.param.name); });

TEST(DecideSyncStatusTest, WorksWithoutAStatusTarget) {
  TS3Storage storage;
  TXMLFileInfoType record;
  int32_t r = 0;
  EXPECT_EQ(DecideSync("", storage, record, r), SyncDecision::NetworkError);
}

}  // namespace
}  // namespace tessellink
