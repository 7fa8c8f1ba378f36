#pragma once
// The settings file "AppSetting.xml": one tree, loaded at start-up and shared by
// the whole program, written back whole by SaveSettings.
//
// Accessors are generated from the tables below: for a row X(Name, Kind, Initial)
// a section has `Name()` and `SetName(value)`, typed by the kind (Text and
// Scrambled: std::string / std::string_view; Number and Shortcut: int; Flag and
// TextFlag: bool). Password elements hold the scrambled text (password_scramble.h).

#include <pugixml.hpp>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "settings/settings_section.h"

namespace tessellink {

inline constexpr const char* kAppSettingFileName = "AppSetting.xml";
inline constexpr const char* kAppSettingElement = "AppSetting";
inline constexpr const char* kTesselsyncElement = "Tesselsync";
inline constexpr const char* kProxyElement = "Proxy";

// Root values. DefaultFile stays empty in a fresh tree: start-up fills it on the first run.
// Username and Password are the sharing account; PostsApiUrl is the address of the
// service's posts API without a final "/" ("/v1/posts/..." is appended to it).
#define TESSELLINK_APP_SETTING_FIELDS(X)   \
  X(Username, Text, "")                    \
  X(Password, Scrambled, "")               \
  X(PrivateBookmark, TextFlag, "false")    \
  X(AutoSych, TextFlag, "false")           \
  X(OpenBrowser, Text, "")                 \
  X(DefaultFile, Text, "")                 \
  X(Recent, Number, "20")                  \
  X(HotKey, Shortcut, "0")                 \
  X(MonitorIE, Flag, "False")              \
  X(LastUseFolderIndex, Number, "0")       \
  X(LastSortColumn, Number, "1")           \
  X(LastSortDirection, Number, "0")        \
  X(LastFolderPath, Text, "")              \
  X(OpenLinkInNewWindow, Flag, "False")    \
  X(AddBookmarkHotkey, Shortcut, "0")      \
  X(AddBookmarkHotkey2, Shortcut, "0")     \
  X(PostsApiUrl, Text, "https://api.tagpost.com")

// The online synchronisation account. BaseUrl (the account service) ends in "/"
// because request paths are appended to it; StorageUrl is the storage endpoint
// that path-style object addresses follow, without a final "/".
#define TESSELLINK_TESSELSYNC_FIELDS(X)           \
  X(Username, Text, "")                           \
  X(Password, Scrambled, "")                      \
  X(Email, Text, "")                              \
  X(Savedinlocal, Flag, "True")                   \
  X(Autosync, Flag, "False")                      \
  X(Usessl, Flag, "True")                         \
  X(Interval, Number, "30")                       \
  X(BaseUrl, Text, "http://127.0.0.1:8642/")     \
  X(StorageUrl, Text, "s3.amazonaws.com")

// Exactly one of the three flags is meant to be true; the manual values stay
// when another choice is made.
#define TESSELLINK_PROXY_FIELDS(X)    \
  X(Donotuseproxy, Flag, "True")      \
  X(Settingasie, Flag, "False")       \
  X(Manualsetting, Flag, "False")     \
  X(Servername, Text, "")             \
  X(Port, Text, "")                   \
  X(Username, Text, "")               \
  X(Password, Scrambled, "")

class TXMLTesselsyncType : public TXMLSettingsSection {
 public:
  explicit TXMLTesselsyncType(pugi::xml_node element) : TXMLSettingsSection(element) {}
  TESSELLINK_SETTINGS_SECTION(TESSELLINK_TESSELSYNC_FIELDS)
};

class TXMLProxyType : public TXMLSettingsSection {
 public:
  explicit TXMLProxyType(pugi::xml_node element) : TXMLSettingsSection(element) {}
  TESSELLINK_SETTINGS_SECTION(TESSELLINK_PROXY_FIELDS)
};

// Owns the document. Move-only; section views stay valid across a move.
class TXMLAppSettingType : public TXMLSettingsSection {
 public:
  // A fresh tree holding every element at its initial value.
  TXMLAppSettingType();
  TXMLAppSettingType(TXMLAppSettingType&&) noexcept = default;
  TXMLAppSettingType& operator=(TXMLAppSettingType&&) noexcept = default;

  // Parses the bytes of a settings file; throws FileReadError naming `source`
  // when they are not well-formed XML with the root element "AppSetting".
  static TXMLAppSettingType Parse(std::string_view bytes, const std::string& source);

  // The sections are created empty when missing.
  TXMLTesselsyncType Tesselsync() const { return TXMLTesselsyncType(ChildElement(kTesselsyncElement)); }
  TXMLProxyType Proxy() const { return TXMLProxyType(ChildElement(kProxyElement)); }

  TESSELLINK_SETTINGS_SECTION(TESSELLINK_APP_SETTING_FIELDS)

 private:
  explicit TXMLAppSettingType(std::unique_ptr<pugi::xml_document> document);
  std::unique_ptr<pugi::xml_document> document_;
};

using SettingsLog = std::function<void(const std::string& line)>;

// Start-up's loader: never fails on the file's contents. A missing file gives a
// fresh tree. A file that cannot be read or parsed is renamed to "<name>.bad"
// (replacing an older one), `log` gets a line saying so, and a fresh tree is
// returned. Throws FileReadError only when such a file cannot be moved aside,
// since saving over it would destroy it.
TXMLAppSettingType LoadAppSetting(const std::filesystem::path& file, const SettingsLog& log = {});

// For callers that want the error: throws FileReadError when the file is
// missing, unreadable or malformed, and leaves it alone.
TXMLAppSettingType LoadAppSettingStrict(const std::filesystem::path& file);

// Writes the whole tree to "<dataFolder>/AppSetting.xml", readable by the owner
// only. Throws FileWriteError and leaves the old file whole on failure.
void SaveSettings(const TXMLAppSettingType& settings, const std::filesystem::path& dataFolder);

// The first run is the one without a default bookmark file.
bool IsFirstRun(const TXMLAppSettingType& settings);

inline constexpr int kMinSyncIntervalMinutes = 10;
// Minutes between automatic synchronisations: Interval, at least 10.
int SyncIntervalMinutes(const TXMLTesselsyncType& tesselsync);

}  // namespace tessellink
