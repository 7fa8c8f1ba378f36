#include "store/xbel_document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "common/atomic_file.h"
#include "common/text.h"
#include "settings/xml_file.h"

namespace tessellink {

namespace fs = std::filesystem;

using namespace std::literals;

namespace {

// Thrown by the parse step; the caller turns the offset into a line and column
// of the original bytes (parsing in place changes the buffer).
struct ParseFailure {
  std::size_t offset;
  std::string description;
};

// Declaration, doctype, comments and processing instructions are kept so that a
// save gives back what the program does not understand. Whitespace-only text is
// kept too: it may be content of an element the program does not know.
constexpr unsigned kParseFlags = pugi::parse_default | pugi::parse_declaration | pugi::parse_doctype |
                                 pugi::parse_comments | pugi::parse_pi | pugi::parse_ws_pcdata;
constexpr unsigned kSaveFlags = pugi::format_raw | pugi::format_no_declaration | pugi::format_skip_control_chars;

[[noreturn]] void Refuse(std::string_view source, const std::string& why) {
  throw XbelLoadError("Cannot open \"" + std::string(source) + "\": " + why);
}

struct LineColumn {
  std::size_t line = 1, column = 1;
};

LineColumn PositionOf(const char* bytes, std::size_t size, std::size_t offset) {
  LineColumn lc;
  for (std::size_t i = 0; i < offset && i < size; ++i) {
    if (bytes[i] == '\n') {
      ++lc.line;
      lc.column = 1;
    } else {
      ++lc.column;
    }
  }
  return lc;
}

std::string At(const char* bytes, std::size_t size, std::size_t offset) {
  const LineColumn lc = PositionOf(bytes, size, offset);
  return " at line " + std::to_string(lc.line) + ", column " + std::to_string(lc.column);
}

// Refuses byte-order marks and declarations of encodings other than UTF-8.
void CheckEncoding(std::string_view bytes, std::string_view source) {
  auto startsWith = [&](std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; };
  if (startsWith("\x00\x00\xFE\xFF"sv) || startsWith("\xFF\xFE\x00\x00"sv))
    Refuse(source, "the file is in UTF-32; bookmark files are UTF-8.");
  if (startsWith("\xFE\xFF") || startsWith("\xFF\xFE") || startsWith("\x00<"sv) || startsWith("<\x00"sv))
    Refuse(source, "the file is in UTF-16; bookmark files are UTF-8.");
  const std::string_view rest = bytes.substr(startsWith("\xEF\xBB\xBF") ? 3 : 0);
  if (rest.substr(0, 5) == "<?xml") {
    const std::size_t end = rest.find("?>");
    const std::string_view decl = rest.substr(0, end == std::string_view::npos ? rest.size() : end);
    const std::size_t enc = decl.find("encoding");
    if (enc != std::string_view::npos) {
      std::size_t q = decl.find_first_of("\"'", enc);
      if (q != std::string_view::npos) {
        const std::size_t close = decl.find(decl[q], q + 1);
        const std::string_view name = decl.substr(q + 1, close == std::string_view::npos ? 0 : close - q - 1);
        if (!SameAsciiText(name, "UTF-8") && !SameAsciiText(name, "UTF8") && !SameAsciiText(name, "US-ASCII") &&
            !SameAsciiText(name, "ASCII"))
          Refuse(source, "the file declares the encoding \"" + std::string(name) + "\"; bookmark files are UTF-8.");
      }
    }
  }
}

// Depth, value sizes and entity declarations, in one pass over the tree
// without recursion.
void CheckTree(const pugi::xml_document& dom, std::string_view source) {
  for (pugi::xml_node n = dom.first_child(); n; n = n.next_sibling()) {
    if (n.type() == pugi::node_doctype && std::strstr(n.value(), "<!ENTITY"))
      Refuse(source, "the file declares its own entities, which bookmark files do not use.");
  }
  const pugi::xml_node root = dom.document_element();
  std::size_t depth = 0;
  pugi::xml_node n = root;
  while (n) {
    if (std::strlen(n.value()) > kMaxXbelTextBytes)
      Refuse(source, "the file holds a text of more than 1 MiB.");
    for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute())
      if (std::strlen(a.value()) > kMaxXbelTextBytes) Refuse(source, "the file holds a text of more than 1 MiB.");
    if (pugi::xml_node child = n.first_child()) {
      if (++depth > kMaxXbelDepth) Refuse(source, "its elements are nested too deeply.");
      n = child;
      continue;
    }
    while (n && n != root && !n.next_sibling()) {
      n = n.parent();
      --depth;
    }
    if (!n || n == root) break;
    n = n.next_sibling();
  }
}

void EnsureDeclaration(pugi::xml_document& dom) {
  pugi::xml_node decl = dom.first_child();
  if (decl.type() != pugi::node_declaration) {
    decl = dom.prepend_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
  }
}

}  // namespace

TXbelDocument::TXbelDocument() {
  EnsureDeclaration(dom_);
  dom_.append_child("xbel");
}

std::unique_ptr<TXbelDocument> TXbelDocument::ParseOwnedBuffer(char* buffer, std::size_t size,
                                                               std::string_view sourceName) {
  const std::string_view bytes(buffer, size);
  auto freeBuffer = [&] { pugi::get_memory_deallocation_function()(buffer); };
  try {
    CheckEncoding(bytes, sourceName);
    const std::size_t bad = FindInvalidUtf8(bytes);
    if (bad != std::string_view::npos) Refuse(sourceName, "the file is not valid UTF-8" + At(buffer, size, bad) + ".");
  } catch (...) {
    freeBuffer();
    throw;
  }
  auto doc = std::unique_ptr<TXbelDocument>(new TXbelDocument());
  doc->dom_.reset();
  // The document takes the buffer over, parses it in place, and frees it.
  const pugi::xml_parse_result result =
      doc->dom_.load_buffer_inplace_own(buffer, size, kParseFlags, pugi::encoding_utf8);
  if (!result) throw ParseFailure{static_cast<std::size_t>(result.offset), result.description()};
  const pugi::xml_node root = doc->dom_.document_element();
  if (!root) Refuse(sourceName, "the file holds no XML element.");
  if (!IsXbelRootNode(root))
    Refuse(sourceName, "it is not an XBEL bookmark file (its root element is <" + std::string(root.name()) + ">).");
  CheckTree(doc->dom_, sourceName);
  return doc;
}

std::unique_ptr<TXbelDocument> TXbelDocument::Parse(std::string_view bytes, std::string_view sourceName) {
  if (bytes.empty()) Refuse(sourceName, "the file is empty.");
  char* buffer = static_cast<char*>(pugi::get_memory_allocation_function()(bytes.size()));
  if (!buffer) Refuse(sourceName, "out of memory.");
  std::memcpy(buffer, bytes.data(), bytes.size());
  try {
    return ParseOwnedBuffer(buffer, bytes.size(), sourceName);
  } catch (const ParseFailure& f) {
    Refuse(sourceName, "the file is not well-formed XML (" + f.description + ")" +
                           At(bytes.data(), bytes.size(), f.offset) + ".");
  }
}

std::unique_ptr<TXbelDocument> TXbelDocument::Load(const fs::path& file) {
  const std::string source = file.string();
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Refuse(source, std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    Refuse(source, "it is not a regular file.");
  }
  const auto size = static_cast<std::size_t>(st.st_size);
  if (size == 0) {
    ::close(fd);
    Refuse(source, "the file is empty.");
  }
  char* buffer = static_cast<char*>(pugi::get_memory_allocation_function()(size));
  if (!buffer) {
    ::close(fd);
    Refuse(source, "out of memory.");
  }
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, buffer + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (done != size) {
    pugi::get_memory_deallocation_function()(buffer);
    Refuse(source, "the file could not be read whole.");
  }
  try {
    return ParseOwnedBuffer(buffer, size, source);
  } catch (const ParseFailure& f) {
    std::string original;
    try {
      original = ReadFileBytes(file);
    } catch (const FileReadError&) {
    }
    Refuse(source, "the file is not well-formed XML (" + f.description + ")" +
                       At(original.data(), original.size(), f.offset) + ".");
  }
}

namespace {

// Hands pugixml's output to any sink; an exception from the sink is held until
// pugixml has returned, so it never unwinds through the library.
template <typename Sink>
class ForwardingWriter : public pugi::xml_writer {
 public:
  explicit ForwardingWriter(Sink& sink) : sink_(sink) {}
  void write(const void* data, std::size_t size) override {
    if (error_) return;
    try {
      sink_(std::string_view(static_cast<const char*>(data), size));
    } catch (...) {
      error_ = std::current_exception();
    }
  }
  void Check() const {
    if (error_) std::rethrow_exception(error_);
  }

 private:
  Sink& sink_;
  std::exception_ptr error_;
};

}  // namespace

template <typename Sink>
void TXbelDocument::WriteTo(Sink& sink, XbelSaveMode mode) const {
  ForwardingWriter<Sink> writer(sink);
  if (mode == XbelSaveMode::SaveAs) {
    sink(kXmlDeclarationLine);
    sink("\r\n");
    Root().Node().print(writer, "", kSaveFlags, pugi::encoding_utf8);
    writer.Check();
    sink("\r\n");
    return;
  }
  // Ordinary save: the declaration as loaded with the encoding name "UTF-8";
  // everything else at the top level (doctype, comments) as it stands.
  std::string decl = "<?xml";
  const pugi::xml_node node =
      dom_.first_child().type() == pugi::node_declaration ? dom_.first_child() : pugi::xml_node();
  bool wroteEncoding = false;
  auto attribute = [&](std::string_view name, std::string_view value) {
    decl += ' ';
    decl += name;
    decl += "=\"";
    decl += value;
    decl += '"';
  };
  if (!node || !node.attribute("version")) attribute("version", "1.0");
  for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
    const std::string_view name = a.name();
    if (name == "encoding" || (name == "standalone" && !wroteEncoding)) {
      attribute("encoding", "UTF-8");
      wroteEncoding = true;
      if (name == "encoding") continue;
    }
    attribute(name, a.value());
  }
  if (!wroteEncoding) attribute("encoding", "UTF-8");
  decl += "?>\r\n";
  sink(decl);
  for (pugi::xml_node n = dom_.first_child(); n; n = n.next_sibling()) {
    if (n.type() == pugi::node_declaration) continue;
    n.print(writer, "", kSaveFlags, pugi::encoding_utf8);
    writer.Check();
    sink("\r\n");
  }
}

std::string TXbelDocument::SaveText(XbelSaveMode mode) const {
  std::string out;
  auto sink = [&](std::string_view bytes) { out.append(bytes); };
  WriteTo(sink, mode);
  return out;
}

void TXbelDocument::Save(const fs::path& file, XbelSaveMode mode) const {
  TAtomicFileWriter writer(file);
  auto sink = [&](std::string_view bytes) { writer.Write(bytes); };
  WriteTo(sink, mode);
  writer.Commit();
}

fs::path WithXbelExtension(const fs::path& chosen) {
  if (chosen.extension() == ".xbel") return chosen;
  fs::path result = chosen;
  result += ".xbel";
  return result;
}

}  // namespace tessellink
