#include "pack/manifest.h"

#include <string.h>

#include <unordered_set>
#include <vector>

#include "pack/zip_records.h"

namespace vpack {
namespace {

const uint32_t kManifestType = 24;
const uint32_t kProcessManifestId = 1;
const uint32_t kSubdirectory = 0x80000000u;

// The image's bytes, every read bounded by its size.
struct Image {
  const std::string& bytes;
  bool has(uint64_t offset, uint64_t size) const {
    return offset <= bytes.size() && size <= bytes.size() - offset;
  }
  uint32_t u32(uint64_t offset) const {
    return read_u32(reinterpret_cast<const unsigned char*>(bytes.data()) + offset);
  }
  uint16_t u16(uint64_t offset) const {
    return read_u16(reinterpret_cast<const unsigned char*>(bytes.data()) + offset);
  }
};

struct Section {
  uint32_t rva, size, raw;
};

bool file_offset(const std::vector<Section>& sections, uint32_t rva, uint32_t size,
                 uint64_t* offset) {
  for (const Section& s : sections) {
    if (rva >= s.rva && rva - s.rva <= s.size && size <= s.size - (rva - s.rva)) {
      *offset = static_cast<uint64_t>(s.raw) + (rva - s.rva);
      return true;
    }
  }
  return false;
}

// The number of entries of the resource directory at `dir` (0 when it lies
// outside the image).
uint32_t directory_size(const Image& image, uint64_t dir) {
  if (!image.has(dir, 16)) return 0;
  uint32_t count = image.u16(dir + 12) + image.u16(dir + 14);
  return image.has(dir + 16, 8ull * count) ? count : 0;
}

// The OffsetToData of the entry named by `id` in the resource directory at
// `dir`; false when there is none.
bool directory_entry(const Image& image, uint64_t dir, uint32_t id, uint32_t* data) {
  uint32_t count = directory_size(image, dir);
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t at = dir + 16 + 8 * static_cast<uint64_t>(i);
    uint32_t name = image.u32(at);
    if (!(name & kSubdirectory) && name == id) {
      *data = image.u32(at + 4);
      return true;
    }
  }
  return false;
}

// A well-formedness check of the XML a manifest may hold (no document type,
// so only the predefined entities), noting the level's element on the way.
class ManifestReader {
 public:
  explicit ManifestReader(const std::string& text) : text_(text) {}

  bool read(ExecutionLevel* level) {
    if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) at_ = 3;
    if (starts("<?xml") && !skip_past("?>")) return fail("unclosed declaration");
    bool root_seen = false;
    while (ok_) {
      skip_space();
      if (at_ >= text_.size()) break;
      if (!misc() && ok_) {
        if (root_seen || !starts("<") || starts("</"))
          return fail("content outside the root element");
        root_seen = true;
        element();
      }
    }
    if (!ok_) return false;
    if (!root_seen) return fail("no root element");
    if (levels_found_ != 1) {
      reason_ = std::to_string(levels_found_) + " requestedExecutionLevel elements under "
                "assembly/trustInfo/security/requestedPrivileges; one is needed";
      return false;
    }
    *level = level_;
    return true;
  }

  const std::string& reason() const { return reason_; }
  size_t work() const { return work_; }

 private:
  const std::string& text_;
  size_t at_ = 0;
  bool ok_ = true;
  std::string reason_;
  static const size_t kDeepest = 64;
  std::vector<std::string> open_;  // local names of the open elements
  int levels_found_ = 0;
  size_t work_ = 0;  // attributes checked against those seen before
  ExecutionLevel level_;

  bool fail(const std::string& why) {
    if (ok_) reason_ = why + " at byte " + std::to_string(at_);
    ok_ = false;
    return false;
  }
  bool starts(const char* s) const { return text_.compare(at_, strlen(s), s) == 0; }
  bool skip_past(const char* end) {
    size_t found = text_.find(end, at_);
    if (found == std::string::npos) return false;
    at_ = found + strlen(end);
    return true;
  }
  static bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
  void skip_space() {
    while (at_ < text_.size() && is_space(text_[at_])) ++at_;
  }
  static bool is_name_char(char c, bool first) {
    unsigned char u = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' ||
           u >= 0x80 || (!first && ((c >= '0' && c <= '9') || c == '-' || c == '.'));
  }
  std::string name() {
    size_t start = at_;
    while (at_ < text_.size() && is_name_char(text_[at_], at_ == start)) ++at_;
    if (at_ == start) fail("a name expected");
    return text_.substr(start, at_ - start);
  }
  static std::string local(const std::string& qualified) {
    size_t colon = qualified.find(':');
    return colon == std::string::npos ? qualified : qualified.substr(colon + 1);
  }

  // Text up to `stop` (a quote, or '<' for content): no markup, control
  // characters or unknown entities.
  void characters(char stop) {
    while (ok_ && at_ < text_.size() && text_[at_] != stop) {
      char c = text_[at_];
      if (static_cast<unsigned char>(c) < 0x20 && !is_space(c)) {
        fail("a control character");
      } else if (c == '<') {
        fail("'<' in an attribute value");
      } else if (c == '&') {
        size_t end = text_.find(';', at_);
        std::string ref = end == std::string::npos ? "" : text_.substr(at_ + 1, end - at_ - 1);
        bool hex = ref.compare(0, 2, "#x") == 0;
        size_t digits = hex ? 2 : 1;
        bool numeric = ref.size() > digits && ref[0] == '#' &&
                       ref.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789",
                                             digits) == std::string::npos;
        if (!numeric && ref != "lt" && ref != "gt" && ref != "amp" && ref != "quot" &&
            ref != "apos") {
          fail("an '&' that starts no entity");
          return;
        }
        at_ = end + 1;
      } else if (starts("]]>")) {
        fail("']]>' in text");
      } else {
        ++at_;
      }
    }
  }

  // A comment or processing instruction; false when neither starts here.
  bool misc() {
    if (starts("<!--")) {
      size_t start = at_ += 4;
      if (!skip_past("-->")) return fail("unclosed comment");
      if (text_.substr(start, at_ - 3 - start).find("--") != std::string::npos)
        return fail("'--' inside a comment");
      return true;
    }
    if (starts("<?")) {
      at_ += 2;
      std::string target = name();
      if (!ok_) return false;
      if (target == "xml" || target == "XML") return fail("a declaration past the start");
      if (!skip_past("?>")) return fail("unclosed processing instruction");
      return true;
    }
    if (starts("<!")) return fail("a document type or other declaration");
    return false;
  }

  void element() {
    ++at_;  // '<'
    std::string tag = name();
    if (!ok_) return;
    std::unordered_set<std::string> attributes;
    std::string level, ui_access;
    size_t level_at = 0, level_end = 0;
    char level_quote = '"';
    bool has_level = false;
    for (;;) {
      size_t before = at_;
      skip_space();
      if (starts("/>") || starts(">")) break;
      if (at_ == before) {
        fail("a space expected between attributes");
        return;
      }
      std::string attribute = name();
      if (!ok_) return;
      ++work_;
      if (!attributes.insert(attribute).second) {
        fail("attribute " + attribute + " given twice");
        return;
      }
      skip_space();
      if (!starts("=")) {
        fail("'=' expected after " + attribute);
        return;
      }
      ++at_;
      skip_space();
      if (at_ >= text_.size() || (text_[at_] != '"' && text_[at_] != '\'')) {
        fail("a quoted value expected for " + attribute);
        return;
      }
      char quote = text_[at_++];
      size_t value_at = at_;
      characters(quote);
      if (!ok_) return;
      if (at_ >= text_.size()) {
        fail("unclosed value of " + attribute);
        return;
      }
      std::string value = text_.substr(value_at, at_ - value_at);
      ++at_;
      if (attribute == "level") {
        level = value;
        level_quote = quote;
        level_at = value_at;
        level_end = at_;
        has_level = true;
      } else if (attribute == "uiAccess") {
        ui_access = value;
      }
    }
    if (local(tag) == "requestedExecutionLevel")
      note_level(has_level, level, level_quote, ui_access, level_at, level_end);
    if (!ok_) return;
    if (starts("/>")) {
      at_ += 2;
      return;
    }
    ++at_;  // '>'
    // Deep nesting would only exhaust the stack of this reader.
    if (open_.size() == kDeepest) {
      fail("elements nested too deep");
      return;
    }
    open_.push_back(local(tag));
    while (ok_) {
      characters('<');
      if (!ok_) return;
      if (at_ >= text_.size()) {
        fail("element " + tag + " is not closed");
        return;
      }
      if (starts("<![CDATA[")) {
        if (!skip_past("]]>")) fail("unclosed CDATA section");
      } else if (starts("</")) {
        at_ += 2;
        std::string closing = name();
        if (!ok_) return;
        skip_space();
        if (closing != tag || !starts(">")) {
          fail("</" + closing + "> closes <" + tag + ">");
          return;
        }
        ++at_;
        open_.pop_back();
        return;
      } else if (!misc() && ok_) {
        element();
      }
    }
  }

  void note_level(bool has_level, const std::string& level, char quote,
                  const std::string& ui_access, size_t level_at, size_t level_end) {
    static const char* const kPath[] = {"assembly", "trustInfo", "security", "requestedPrivileges"};
    bool placed = open_.size() == 4;
    for (size_t i = 0; placed && i < 4; ++i) placed = open_[i] == kPath[i];
    if (!placed) return;
    ++levels_found_;
    if (!has_level || (level != "asInvoker" && level != "highestAvailable" &&
                       level != "requireAdministrator")) {
      fail("requestedExecutionLevel has no level asInvoker, highestAvailable or "
           "requireAdministrator");
      return;
    }
    if (!ui_access.empty() && ui_access != "true" && ui_access != "false") {
      fail("uiAccess is neither true nor false");
      return;
    }
    level_.level = level;
    level_.value_offset = level_at;
    level_.quote = quote;
    // The value may grow into the blanks between its closing quote and the
    // tag's end; other attributes after it leave it no room.
    size_t end = level_end;
    while (end < text_.size() && is_space(text_[end])) ++end;
    bool last = text_.compare(end, 2, "/>") == 0 || text_.compare(end, 1, ">") == 0;
    level_.room = last ? end - level_end + level.size() : level.size();
  }
};

}  // namespace

ManifestLookup find_manifests(const std::string& bytes, std::vector<ManifestSpan>* spans,
                              std::string* error) {
  spans->clear();
  Image image{bytes};
  auto damaged = [&](const char* why) {
    *error = std::string("damaged resources: ") + why;
    return kManifestDamaged;
  };
  // What is no Windows program has no manifest.
  if (!image.has(0, 0x40) || bytes.compare(0, 2, "MZ") != 0) return kManifestAbsent;
  uint32_t pe = image.u32(0x3C);
  if (!image.has(pe, 24) || bytes.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
    return kManifestAbsent;
  uint32_t section_count = image.u16(pe + 6), optional_size = image.u16(pe + 20);
  uint64_t optional = pe + 24;
  if (!image.has(optional, optional_size) || optional_size < 2) return kManifestAbsent;
  uint16_t magic = image.u16(optional);
  // The data directories follow 96 bytes of a 32-bit header, 112 of a 64-bit one.
  uint32_t directories = magic == 0x10b ? 96 : magic == 0x20b ? 112 : 0;
  if (!directories) return kManifestAbsent;
  const uint32_t kResources = 2;
  if (optional_size < directories + 8 * (kResources + 1) ||
      image.u32(optional + directories - 4) <= kResources)
    return kManifestAbsent;
  uint32_t rsrc_rva = image.u32(optional + directories + 8 * kResources);
  uint32_t rsrc_size = image.u32(optional + directories + 8 * kResources + 4);
  if (rsrc_rva == 0 || rsrc_size == 0) return kManifestAbsent;

  std::vector<Section> sections;
  uint64_t table = optional + optional_size;
  // Headers that lead to no resource directory hold no manifest either.
  if (!image.has(table, 40ull * section_count)) return kManifestAbsent;
  for (uint32_t i = 0; i < section_count; ++i) {
    uint64_t s = table + 40ull * i;
    uint32_t virtual_size = image.u32(s + 8), raw_size = image.u32(s + 16);
    // Some linkers leave the virtual size 0: the loader then maps the raw size.
    if (virtual_size == 0) virtual_size = raw_size;
    sections.push_back({image.u32(s + 12), raw_size < virtual_size ? raw_size : virtual_size,
                        image.u32(s + 20)});
  }
  uint64_t root = 0;
  if (!file_offset(sections, rsrc_rva, rsrc_size, &root) || !image.has(root, rsrc_size))
    return kManifestAbsent;

  uint32_t type = 0, id = 0;
  if (!directory_entry(image, root, kManifestType, &type)) return kManifestAbsent;
  if (!(type & kSubdirectory) ||
      !directory_entry(image, root + (type & ~kSubdirectory), kProcessManifestId, &id))
    return kManifestAbsent;
  // Windows picks one language by the user's settings: each must say the same.
  uint64_t languages = root + (id & ~kSubdirectory);
  uint32_t count = (id & kSubdirectory) ? directory_size(image, languages) : 0;
  if (count == 0) return damaged("the manifest's entry is not a data entry");
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t language = image.u32(languages + 16 + 8ull * i + 4);
    if ((language & kSubdirectory) || !image.has(root + language, 16))
      return damaged("the manifest's entry is not a data entry");
    uint32_t data_rva = image.u32(root + language), data_size = image.u32(root + language + 4);
    uint64_t offset = 0;
    if (!file_offset(sections, data_rva, data_size, &offset) || !image.has(offset, data_size))
      return damaged("the manifest lies outside the file");
    spans->push_back({static_cast<size_t>(offset), data_size});
  }
  return kManifestFound;
}

bool read_execution_level(const std::string& manifest, ExecutionLevel* level,
                          std::string* error, size_t* work) {
  ManifestReader reader(manifest);
  bool read = reader.read(level);
  if (work) *work = reader.work();
  if (read) return true;
  *error = "manifest: " + reader.reason();
  return false;
}

bool image_execution_level(const std::string& image, std::string* level, std::string* error) {
  level->clear();
  std::vector<ManifestSpan> spans;
  ManifestLookup found = find_manifests(image, &spans, error);
  if (found == kManifestAbsent) return true;
  if (found == kManifestDamaged) return false;
  for (const ManifestSpan& span : spans) {
    ExecutionLevel read;
    if (!read_execution_level(image.substr(span.offset, span.size), &read, error))
      return false;
    if (!level->empty() && read.level != *level) {
      *error = "manifest: its languages ask for " + *level + " and " + read.level;
      return false;
    }
    *level = read.level;
  }
  return true;
}

ManifestLookup write_execution_level(std::string* image, const std::string& level,
                                     std::string* error) {
  std::vector<ManifestSpan> spans;
  ManifestLookup found = find_manifests(*image, &spans, error);
  if (found != kManifestFound) return found;
  // Every language is rewritten before any byte of the image changes.
  std::vector<std::string> rewritten;
  for (const ManifestSpan& span : spans) {
    std::string manifest = image->substr(span.offset, span.size);
    ExecutionLevel old;
    if (!read_execution_level(manifest, &old, error)) return kManifestDamaged;
    if (level.size() > old.room) {
      *error = "the manifest leaves " + std::to_string(old.room) +
               " bytes for the level, not the " + std::to_string(level.size()) + " " + level +
               " takes";
      return kManifestDamaged;
    }
    // The value keeps the quote it was written with.
    std::string value = level + old.quote + std::string(old.room - level.size(), ' ');
    manifest.replace(old.value_offset, value.size(), value);
    ExecutionLevel now;
    if (!read_execution_level(manifest, &now, error) || now.level != level) {
      *error = "the rewritten manifest does not read back: " + *error;
      return kManifestDamaged;
    }
    rewritten.push_back(manifest);
  }
  for (size_t i = 0; i < spans.size(); ++i)
    image->replace(spans[i].offset, spans[i].size, rewritten[i]);
  return kManifestFound;
}

}  // namespace vpack
