#include "sync/sync_controller.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/environment_services.h"
#include "settings/app_settings.h"
#include "settings/password_scramble.h"
#include "store/xbel_builder.h"
#include "store/xbel_document.h"
#include "support/test_support.h"
#include "sync/fake_s3_server.h"

namespace tessellink {
namespace {

using test::FakeS3Server;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

constexpr char kObject[] = "corvane_bmk/alice.xbel";

using test::OneBookmarkXbel;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class FakeQuestions : public ISyncQuestions {
 public:
  bool AskYesNo(const std::string& question) override {
    asked.push_back(question);
    return answer;
  }
  void Inform(const std::string& notice) override { notices.push_back(notice); }
  void ShowError(const std::string& message) override { errors.push_back(message); }
  SyncChoice ChooseConflictAction() override {
    ++conflicts;
    return choice;
  }
  bool answer = true;
  SyncChoice choice = SyncChoice::Cancel;
  int conflicts = 0;
  std::vector<std::string> asked, notices, errors;
};

class SyncControllerTest : public ::testing::Test {
 protected:
  SyncControllerTest() {
    const TStorageEndpoint endpoint = server_.Endpoint();
    TXMLTesselsyncType account = settings_.Tesselsync();
    account.SetUsername("alice");
    account.SetPassword(Scramble("secret"));
    account.SetUsessl(false);
    account.SetBaseUrl(endpoint.baseUrl);
    account.SetStorageUrl(endpoint.storageHost);
    settings_.SetDefaultFile(defaultFile_.string());
    WriteFile(defaultFile_, OneBookmarkXbel("Local", "http://local.example/"));
    builder_.LoadDocument(defaultFile_);
  }

  // Writes the record, then makes the controller that reads it.
  TSyncController& Controller(int32_t download, int32_t local) {
    TXMLFileInfoType record;
    record.File = dir_ / kFileInfoFileName;
    record.Download.version = download;
    record.Local.version = local;
    SaveFileInfo(record);
    controller_ = std::make_unique<TSyncController>(
        dir_.path(), settings_, builder_, defaultFile_, questions_,
        [this](const std::string& text) { statuses_.push_back(text); }, dispatcher_);
    controller_->DocumentChanged = [this] { ++documentChanges_; };
    return *controller_;
  }

  void Run(bool (TSyncController::*command)()) {
    ((*controller_).*command)();
    controller_->RunUntilIdle(dispatcher_);
    dispatcher_.Drain();
  }

  TXMLFileInfoType SavedRecord() { return LoadFileInfo(dir_ / kFileInfoFileName); }

  void ExpectRecord(int32_t download, int32_t local) {
    const TXMLFileInfoType saved = SavedRecord();
    EXPECT_EQ(saved.Download.version, download);
    EXPECT_EQ(saved.Local.version, local);
    EXPECT_EQ(controller_->Record().Download.version, download);
    EXPECT_EQ(controller_->Record().Local.version, local);
  }

  bool Shown(const std::string& text) const {
    for (const std::string& s : statuses_)
      if (s == text) return true;
    return false;
  }

  std::string Remote() {
    const auto object = server_.Object(kObject);
    if (!object) return {};
    const auto file = dir_ / "inflated";
    ExtractToFile(&object->body, file);
    return ReadFile(file);
  }

  FakeS3Server server_;
  TempDir dir_;
  std::filesystem::path defaultFile_ = dir_ / "default.xbel";
  TXMLAppSettingType settings_;
  TXbelBuilder builder_;
  FakeQuestions questions_;
  TQueueDispatcher dispatcher_;
  std::vector<std::string> statuses_;
  int documentChanges_ = 0;
  std::unique_ptr<TSyncController> controller_;
};

// ---------------------------------------------------------------- decisions

enum class Action { Upload, Download, Nothing };

struct DecisionCase {
  const char* name;
  int32_t download, local;
  bool remoteExists;
  std::optional<std::string> remoteVersion;
  SyncDecision decision;
  Action action;
  int32_t recordAfter;  // both versions
};
void PrintTo(const DecisionCase& c, std::ostream* os) { *os << c.name; }

class SyncDecisionRows : public SyncControllerTest, public ::testing::WithParamInterface<DecisionCase> {};

TEST_P(SyncDecisionRows, LeadToTheirTransferAndRecord) {
  const DecisionCase& c = GetParam();
  const std::string remote = OneBookmarkXbel("Remote", "http://remote.example/");
  if (c.remoteExists) server_.PutObject(kObject, CompressBytes(remote), c.remoteVersion);
  Controller(c.download, c.local);
  Run(&TSyncController::Synchronize);

  ASSERT_EQ(controller_->LastDecision(), c.decision);
  EXPECT_FALSE(controller_->Failed()) << controller_->LastStatus();
  EXPECT_EQ(statuses_.front(), "Begin to get remote file information...");
  EXPECT_TRUE(Shown(DecisionStatusText(c.decision)));
  EXPECT_EQ(questions_.conflicts, 0);
  ExpectRecord(c.recordAfter, c.recordAfter);
  switch (c.action) {
    case Action::Upload: {
      EXPECT_EQ(controller_->LastStatus(), "Upload succeeded.");
      const auto object = server_.Object(kObject);
      ASSERT_TRUE(object);
      EXPECT_EQ(object->version, std::to_string(c.local));
      EXPECT_EQ(Remote(), ReadFile(defaultFile_));
      break;
    }
    case Action::Download:
      EXPECT_EQ(controller_->LastStatus(), "Download succeeded.");
      EXPECT_EQ(ReadFile(defaultFile_), remote);
      EXPECT_TRUE(Has(builder_.Document().SaveText(XbelSaveMode::Ordinary), "http://remote.example/"));
      EXPECT_EQ(documentChanges_, 1);
      break;
    case Action::Nothing:
      EXPECT_EQ(server_.Puts(), 0);
      EXPECT_TRUE(Has(ReadFile(defaultFile_), "http://local.example/"));
      EXPECT_EQ(documentChanges_, 0);
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SyncDecisionRows,
    ::testing::Values(DecisionCase{"FreshRecordNoObject", 0, 0, false, std::nullopt, SyncDecision::RemoteMissing,
                                   Action::Upload, 0},
                      DecisionCase{"ChangedNoObject", 2, 3, false, std::nullopt, SyncDecision::RemoteMissing,
                                   Action::Upload, 3},
                      DecisionCase{"LocalNewer", 2, 3, true, "2", SyncDecision::LocalNewer, Action::Upload, 3},
                      DecisionCase{"RemoteNewer", 2, 2, true, "5", SyncDecision::RemoteNewer, Action::Download, 5},
                      DecisionCase{"Identical", 2, 2, true, "2", SyncDecision::Identical, Action::Nothing, 2},
                      DecisionCase{"NoVersionHeaderIsNeverNewer", 2, 2, true, std::nullopt, SyncDecision::Identical,
                                   Action::Nothing, 2}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- conflicts

class SyncConflict : public SyncControllerTest {
 protected:
  void RunConflict(SyncChoice choice) {
    server_.PutObject(kObject, CompressBytes(remote_), "5");
    Controller(2, 3);
    questions_.choice = choice;
    Run(&TSyncController::Synchronize);
    EXPECT_EQ(controller_->LastDecision(), SyncDecision::Conflict);
    EXPECT_EQ(questions_.conflicts, 1);
    EXPECT_TRUE(Shown("Local file was updated but not uploaded"));
  }
  std::string remote_ = OneBookmarkXbel("Remote", "http://remote.example/");
};

TEST_F(SyncConflict, DownloadOverwritesTheLocalFile) {
  RunConflict(SyncChoice::Download);
  EXPECT_EQ(ReadFile(defaultFile_), remote_);
  ExpectRecord(5, 5);
  EXPECT_EQ(server_.Puts(), 0);
}

TEST_F(SyncConflict, UploadOverwritesTheRemoteWithTheLocalVersion) {
  RunConflict(SyncChoice::Upload);
  const auto object = server_.Object(kObject);
  ASSERT_TRUE(object);
  EXPECT_EQ(object->version, "3");
  EXPECT_EQ(Remote(), ReadFile(defaultFile_));
  ExpectRecord(3, 3);
}

TEST_F(SyncConflict, MergeUploadsTheNextVersionAndThenBothSidesAreIdentical) {
  RunConflict(SyncChoice::Merge);
  EXPECT_FALSE(controller_->Failed()) << controller_->LastStatus();
  EXPECT_TRUE(Shown("Begin to download..."));
  EXPECT_EQ(controller_->LastStatus(), "Synchronize succeed");
  const auto object = server_.Object(kObject);
  ASSERT_TRUE(object);
  EXPECT_EQ(object->version, "6");
  for (const std::string& text : {ReadFile(defaultFile_), Remote()}) {
    EXPECT_TRUE(Has(text, "http://local.example/")) << text;
    EXPECT_TRUE(Has(text, "http://remote.example/")) << text;
  }
  EXPECT_TRUE(Has(builder_.Document().SaveText(XbelSaveMode::Ordinary), "http://remote.example/"));
  EXPECT_EQ(documentChanges_, 1);
  ExpectRecord(6, 6);

  Run(&TSyncController::Synchronize);
  EXPECT_EQ(controller_->LastDecision(), SyncDecision::Identical);
  EXPECT_EQ(server_.Puts(), 1);
}

TEST_F(SyncConflict, CancelChangesNothing) {
  const std::string before = ReadFile(defaultFile_);
  RunConflict(SyncChoice::Cancel);
  EXPECT_TRUE(controller_->Cancelled());
  EXPECT_EQ(ReadFile(defaultFile_), before);
  EXPECT_EQ(server_.Puts(), 0);
  ExpectRecord(2, 3);
}

// ---------------------------------------------------------------- failures

TEST_F(SyncControllerTest, FailedHeaderRequestIsANetworkError) {
  server_.FailStorage(500, "<Error><Code>InternalError</Code></Error>");
  Controller(2, 3);
  Run(&TSyncController::Synchronize);
  EXPECT_EQ(controller_->LastDecision(), SyncDecision::NetworkError);
  EXPECT_TRUE(controller_->Failed());
  EXPECT_TRUE(controller_->LastStatus().starts_with("Can not get remote file information.")) << controller_->LastStatus();
  bool networkError = false;
  for (const std::string& s : statuses_) networkError |= s.starts_with("Network error.");
  EXPECT_TRUE(networkError);
  ExpectRecord(2, 3);
}

TEST_F(SyncControllerTest, RefusedSigningReportsTheServiceMessage) {
  server_.RefuseSigning("Authentication failed.");
  Controller(2, 3);
  Run(&TSyncController::Synchronize);
  EXPECT_EQ(controller_->LastDecision(), SyncDecision::NetworkError);
  EXPECT_TRUE(Has(controller_->LastStatus(), "Authentication failed.")) << controller_->LastStatus();
  EXPECT_TRUE(server_.Log().empty());
  ExpectRecord(2, 3);
}

TEST_F(SyncControllerTest, FailedUploadLeavesTheRecord) {
  server_.PutObject(kObject, CompressBytes(OneBookmarkXbel("Remote", "http://remote.example/")), "2");
  server_.FailUploads(403, "<Error><Code>AccessDenied</Code></Error>");
  Controller(2, 3);
  Run(&TSyncController::Synchronize);
  EXPECT_EQ(controller_->LastDecision(), SyncDecision::LocalNewer);
  EXPECT_TRUE(controller_->Failed());
  EXPECT_TRUE(controller_->LastStatus().starts_with("Upload failed.")) << controller_->LastStatus();
  ExpectRecord(2, 3);
}

TEST_F(SyncControllerTest, CorruptDownloadLeavesFileAndRecord) {
  server_.PutObject(kObject, "not a zlib stream", "5");
  Controller(2, 2);
  const std::string before = ReadFile(defaultFile_);
  Run(&TSyncController::Synchronize);
  EXPECT_EQ(controller_->LastDecision(), SyncDecision::RemoteNewer);
  EXPECT_TRUE(controller_->Failed());
  EXPECT_EQ(questions_.errors, std::vector<std::string>{"Extract file error"});
  EXPECT_EQ(ReadFile(defaultFile_), before);
  EXPECT_EQ(documentChanges_, 0);
  ExpectRecord(2, 2);
}

TEST_F(SyncControllerTest, FailedMergeUploadLeavesTheRecord) {
  server_.PutObject(kObject, CompressBytes(OneBookmarkXbel("Remote", "http://remote.example/")), "5");
  server_.FailUploads(500);
  questions_.choice = SyncChoice::Merge;
  Controller(2, 3);
  Run(&TSyncController::Synchronize);
  EXPECT_TRUE(controller_->Failed());
  EXPECT_TRUE(controller_->LastStatus().starts_with("Synchronize failed.")) << controller_->LastStatus();
  EXPECT_EQ(server_.Object(kObject)->version, "5");
  ExpectRecord(2, 3);
}

TEST_F(SyncControllerTest, MissingObjectDownloadReportsTheErrorsAlone) {
  Controller(2, 2);
  Run(&TSyncController::DownloadFile);
  EXPECT_TRUE(controller_->Failed());
  EXPECT_FALSE(controller_->LastStatus().empty());
  EXPECT_FALSE(controller_->LastStatus().starts_with("Download"));
  ExpectRecord(2, 2);
}

// ---------------------------------------------------------------- the default file

TEST_F(SyncControllerTest, NoUserNameDoesNothing) {
  settings_.Tesselsync().SetUsername("");
  Controller(2, 3);
  EXPECT_FALSE(controller_->Synchronize());
  EXPECT_FALSE(controller_->UploadFile());
  EXPECT_FALSE(controller_->DownloadFile());
  EXPECT_FALSE(controller_->Busy());
  EXPECT_TRUE(questions_.asked.empty());
  EXPECT_TRUE(statuses_.empty());
}

TEST_F(SyncControllerTest, OpenFileDifferingOnlyInLetterCaseIsTheDefault) {
  Controller(2, 3);
  controller_->SetOpenFile(dir_ / "DEFAULT.XBEL");
  EXPECT_TRUE(controller_->EnsureDefaultFile());
  EXPECT_TRUE(questions_.asked.empty());
}

TEST_F(SyncControllerTest, AnotherOpenFileAsksToBecomeTheDefault) {
  Controller(2, 3);
  const auto other = dir_ / "other.xbel";
  controller_->SetOpenFile(other);

  questions_.answer = false;
  EXPECT_FALSE(controller_->EnsureDefaultFile());
  EXPECT_EQ(questions_.notices,
            std::vector<std::string>{"Please open default local file to upload or download. Check it in Option window."});
  EXPECT_EQ(settings_.DefaultFile(), defaultFile_.string());

  questions_.answer = true;
  EXPECT_TRUE(controller_->EnsureDefaultFile());
  EXPECT_EQ(questions_.asked.back(),
            "Current open file is not the default local file. Do you want to set it as default?");
  EXPECT_EQ(settings_.DefaultFile(), other.string());
  EXPECT_EQ(LoadAppSettingStrict(dir_ / kAppSettingFileName).DefaultFile(), other.string());
}

}  // namespace
}  // namespace tessellink
