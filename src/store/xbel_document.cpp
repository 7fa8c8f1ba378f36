#include "store/xbel_document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
                                 pugi::parse_comments | pugi::parse_pi | pugi::parse_ws_pcdata |
                                 pugi::parse_embed_pcdata;
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

// Refuses byte-order marks of other encodings before anything is parsed.
void CheckByteOrder(std::string_view bytes, std::string_view source) {
  auto startsWith = [&](std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; };
  if (startsWith("\x00\x00\xFE\xFF"sv) || startsWith("\xFF\xFE\x00\x00"sv))
    Refuse(source, "the file is in UTF-32; bookmark files are UTF-8.");
  if (startsWith("\xFE\xFF") || startsWith("\xFF\xFE") || startsWith("\x00<"sv) || startsWith("<\x00"sv))
    Refuse(source, "the file is in UTF-16; bookmark files are UTF-8.");
}

// The declared encoding, read from the parsed declaration.
void CheckDeclaredEncoding(const pugi::xml_document& dom, std::string_view source) {
  for (pugi::xml_node n = dom.first_child(); n; n = n.next_sibling()) {
    if (n.type() != pugi::node_declaration) continue;
    const pugi::xml_attribute encoding = n.attribute("encoding");
    if (!encoding) continue;
    const std::string_view name = encoding.value();
    if (!SameAsciiText(name, "UTF-8") && !SameAsciiText(name, "UTF8") && !SameAsciiText(name, "US-ASCII") &&
        !SameAsciiText(name, "ASCII"))
      Refuse(source, "the file declares the encoding \"" + RepairUtf8(name) + "\"; bookmark files are UTF-8.");
  }
}

// A numeric character reference must stand for a character XML allows text to
// hold; the parser would turn the others into bytes that are not UTF-8, or into
// a NUL that cuts the text short. `pos` is at "&#".
void CheckReferenceAt(std::string_view bytes, std::size_t pos, std::string_view source) {
  const std::size_t start = pos;
  pos += 2;
  const bool hex = pos < bytes.size() && bytes[pos] == 'x';
  if (hex) ++pos;
  uint64_t value = 0;
  std::size_t digits = 0;
  for (; pos < bytes.size() && digits <= 8; ++pos, ++digits) {
    const int d = HexDigitValue(bytes[pos]);
    if (d < 0 || (!hex && d > 9)) break;
    value = value * (hex ? 16 : 10) + static_cast<uint64_t>(d);
  }
  if (digits == 0) return;  // not a reference; the parser keeps it as text
  if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF) || digits > 8)
    Refuse(source, "the character reference \"" + RepairUtf8(bytes.substr(start, pos - start + 1)) + "\"" +
                       At(bytes.data(), bytes.size(), start) + " stands for no character.");
}

// One pass over the raw bytes before parsing: the text must be UTF-8, its
// character references sound, and no text or attribute value longer than the
// limit (each lies between two "<", so the longest run without one bounds them).
class RawScan {
 public:
  RawScan(std::string_view bytes, std::string_view source) : bytes_(bytes), source_(source) {}

  void Run() {
    const char* p = bytes_.data();
    const std::size_t n = bytes_.size();
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i amp = _mm_set1_epi8('&');
    const __m128i lt = _mm_set1_epi8('<');
    for (; i + 16 <= n; i += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(block));
      const unsigned amps = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, amp)));
      const unsigned lts = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, lt)));
      if (lts) {
        GapAt(i + static_cast<std::size_t>(__builtin_ctz(lts)));
        lastLt_ = i + 31 - static_cast<std::size_t>(__builtin_clz(lts));
      } else {
        GapAt(i + 16);
      }
      unsigned others = high | amps;
      // Bytes of a run outside ASCII that an earlier block already checked.
      if (checkedUpTo_ > i) others &= checkedUpTo_ - i >= 16 ? 0u : ~((1u << (checkedUpTo_ - i)) - 1);
      for (; others; others &= others - 1) Byte(i + static_cast<std::size_t>(__builtin_ctz(others)));
    }
#endif
    for (; i < n; ++i) {
      const auto c = static_cast<unsigned char>(p[i]);
      if (c >= 0x80 || c == '&' || c == '<') Byte(i);
    }
    GapAt(n);
  }

 private:
  void Byte(std::size_t pos) {
    const char c = bytes_[pos];
    if (c == '<') {
      GapAt(pos);
      lastLt_ = pos;
    } else if (c == '&') {
      if (pos + 1 < bytes_.size() && bytes_[pos + 1] == '#') CheckReferenceAt(bytes_, pos, source_);
    } else if (pos >= checkedUpTo_) {
      // A run of bytes outside ASCII holds whole sequences when it is valid.
      std::size_t end = pos;
      while (end < bytes_.size() && static_cast<unsigned char>(bytes_[end]) >= 0x80) ++end;
      const std::size_t bad = FindInvalidUtf8(bytes_.substr(pos, end - pos));
      if (bad != std::string_view::npos)
        Refuse(source_, "the file is not valid UTF-8" + At(bytes_.data(), bytes_.size(), pos + bad) + ".");
      checkedUpTo_ = end;
    }
  }

  void GapAt(std::size_t pos) const {
    if (pos - lastLt_ > kMaxXbelTextBytes) Refuse(source_, "the file holds a text of more than 1 MiB.");
  }

  std::string_view bytes_;
  std::string_view source_;
  std::size_t lastLt_ = 0;
  std::size_t checkedUpTo_ = 0;
};

// Entity declarations and nesting depth, in one pass over the elements without
// recursion.
void CheckTree(const pugi::xml_document& dom, std::string_view source) {
  for (pugi::xml_node n = dom.first_child(); n; n = n.next_sibling()) {
    if (n.type() == pugi::node_doctype && std::strstr(n.value(), "<!ENTITY"))
      Refuse(source, "the file declares its own entities, which bookmark files do not use.");
  }
  // pugixml's own walk visits a node with one call, far cheaper than stepping
  // through the tree with its accessors.
  struct DepthWalker : pugi::xml_tree_walker {
    bool tooDeep = false;
    bool for_each(pugi::xml_node&) override {
      tooDeep = depth() >= static_cast<int>(kMaxXbelDepth);
      return !tooDeep;
    }
  } walker;
  dom.document_element().traverse(walker);
  if (walker.tooDeep) Refuse(source, "its elements are nested too deeply.");
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
    CheckByteOrder(bytes, sourceName);
    RawScan(bytes, sourceName).Run();
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
  CheckDeclaredEncoding(doc->dom_, sourceName);
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
  // Ordinary save: the declaration with the encoding name "UTF-8" (its version
  // and standalone kept when they are well-formed); everything else at the top
  // level (doctype, comments) as it stands.
  std::string version = "1.0", standalone;
  for (pugi::xml_node n = dom_.first_child(); n; n = n.next_sibling()) {
    if (n.type() != pugi::node_declaration) continue;
    const std::string_view v = n.attribute("version").value();
    if (v.size() > 2 && v.substr(0, 2) == "1." && v.find_first_not_of("0123456789", 2) == std::string_view::npos)
      version = v;
    const std::string_view sa = n.attribute("standalone").value();
    if (sa == "yes" || sa == "no") standalone = sa;
    break;
  }
  std::string decl = "<?xml version=\"" + version + "\" encoding=\"UTF-8\"";
  if (!standalone.empty()) decl += " standalone=\"" + standalone + "\"";
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
