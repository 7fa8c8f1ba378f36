#pragma once
// One XBEL bookmark document held in memory: load, new, and the two ways of
// saving. Loading refuses anything that is not a sound UTF-8 XBEL file with a
// clear message and leaves the caller's document untouched.

#include <pugixml.hpp>

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "common/errors.h"
#include "store/xbel_elements.h"

namespace tessellink {

class XbelLoadError : public FileReadError {
 public:
  using FileReadError::FileReadError;
};

enum class XbelSaveMode {
  Ordinary,  // the declaration's encoding set to "UTF-8", the rest of the tree as it stands
  SaveAs,    // the fixed declaration line, then the root element
};

// Limits that keep hostile files out; real bookmark files stay far below them.
inline constexpr std::size_t kMaxXbelDepth = 512;          // nested elements
inline constexpr std::size_t kMaxXbelTextBytes = 1 << 20;  // one text or attribute value

class TXbelDocument {
 public:
  TXbelDocument();  // a new, empty document: declaration and an empty `xbel`
  TXbelDocument(const TXbelDocument&) = delete;
  TXbelDocument& operator=(const TXbelDocument&) = delete;

  // Throw XbelLoadError naming the source and what is wrong with it.
  static std::unique_ptr<TXbelDocument> Load(const std::filesystem::path& file);
  static std::unique_ptr<TXbelDocument> Parse(std::string_view bytes, std::string_view sourceName);

  TXMLXbelType Root() const { return TXMLXbelType(dom_.document_element()); }
  pugi::xml_document& Dom() { return dom_; }
  const pugi::xml_document& Dom() const { return dom_; }

  // The bytes a save writes.
  std::string SaveText(XbelSaveMode mode) const;
  // Writes atomically; throws FileWriteError and leaves the old file whole.
  void Save(const std::filesystem::path& file, XbelSaveMode mode) const;

 private:
  template <typename Sink>
  void WriteTo(Sink& sink, XbelSaveMode mode) const;
  static std::unique_ptr<TXbelDocument> ParseOwnedBuffer(char* buffer, std::size_t size,
                                                         std::string_view sourceName);
  pugi::xml_document dom_;
};

// The name "Save As" writes to: ".xbel" is appended unless the extension is
// exactly ".xbel" (so "a.XBEL" becomes "a.XBEL.xbel").
std::filesystem::path WithXbelExtension(const std::filesystem::path& chosen);

}  // namespace tessellink
