#include "pack/manifest.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

using vpack::ManifestLookup;

const char kManifest[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
    "<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security><requestedPrivileges>\n"
    "<requestedExecutionLevel uiAccess=\"false\" level=\"asInvoker\"   />\n"
    "</requestedPrivileges></security></trustInfo>\n"
    "<!-- note --></assembly>\n";

struct Case {
  const char* from;
  std::string to;
  const char* level;    // nullptr: refused
  size_t room;          // when read
  const char* message;  // part of the refusal
};

std::string nested(int depth) {
  std::string open, close;
  for (int i = 0; i < depth; ++i) open += "<a>", close += "</a>";
  return open + close;
}

TEST(Manifest, ReadsTheLevelAndItsRoomOnlyFromWellFormedXml) {
  const Case cases[] = {
      {"", "", "asInvoker", 12, ""},
      {"level=\"asInvoker\"   />", "level='requireAdministrator'/>", "requireAdministrator", 20,
       ""},
      // Another attribute after the level leaves it only its own bytes.
      {"uiAccess=\"false\" level=\"asInvoker\"   />", "level=\"asInvoker\" uiAccess=\"false\"/>",
       "asInvoker", 9, ""},
      {"<!-- note -->", "<x a=\"&lt;&#60;&#x3C;&amp;\">t&gt;<![CDATA[<&]]><?pi x?></x>",
       "asInvoker", 12, ""},
      {"<!-- note -->", nested(60), "asInvoker", 12, ""},
      {"</assembly>", "</assembly", nullptr, 0, "closes"},
      {"</security>", "</securty>", nullptr, 0, "</securty> closes <security>"},
      {"level=\"asInvoker\"", "level=\"asinvoker\"", nullptr, 0, "no level asInvoker"},
      {"level=\"asInvoker\"", "level=asInvoker", nullptr, 0, "a quoted value expected"},
      {"uiAccess=\"false\"", "uiAccess=\"no\"", nullptr, 0, "uiAccess"},
      {"uiAccess=\"false\"", "level=\"asInvoker\"", nullptr, 0, "level given twice"},
      {"uiAccess=\"false\" ", "uiAccess=\"false\"", nullptr, 0, "a space expected"},
      {"<requestedExecutionLevel", "<requestedLevel", nullptr, 0,
       "0 requestedExecutionLevel elements"},
      {"<requestedPrivileges>",
       "<requestedPrivileges><requestedExecutionLevel level=\"asInvoker\"/>", nullptr, 0,
       "2 requestedExecutionLevel elements"},
      {"<!-- note -->", "<!-- a -- b -->", nullptr, 0, "'--' inside a comment"},
      {"<!-- note -->", "&nbsp;", nullptr, 0, "no entity"},
      {"<!-- note -->", "<x a=\"<\"/>", nullptr, 0, "'<' in an attribute value"},
      {"<!-- note -->", "<!DOCTYPE x>", nullptr, 0, "document type"},
      {"<!-- note -->", "<?xml version=\"1.0\"?>", nullptr, 0, "declaration past the start"},
      {"<!-- note -->", "\x01", nullptr, 0, "control character"},
      {"<!-- note -->", "]]>", nullptr, 0, "']]>'"},
      {"<!-- note -->", nested(70), nullptr, 0, "nested too deep"},
      {"</assembly>\n", "</assembly><more/>", nullptr, 0, "outside the root element"},
      {"<!-- note --></assembly>\n", "<x a=\"b", nullptr, 0, "unclosed value of a"},
  };
  for (const Case& c : cases) {
    std::string text = kManifest;
    if (*c.from) {
      size_t at = text.find(c.from);
      ASSERT_NE(at, std::string::npos) << c.from;
      text.replace(at, strlen(c.from), c.to);
    }
    vpack::ExecutionLevel level;
    std::string error;
    bool read = vpack::read_execution_level(text, &level, &error);
    if (c.level) {
      ASSERT_TRUE(read) << c.to << ": " << error;
      EXPECT_EQ(level.level, c.level) << c.to;
      EXPECT_EQ(level.room, c.room) << c.to;
      EXPECT_EQ(text.compare(level.value_offset, level.level.size(), level.level), 0) << c.to;
    } else {
      EXPECT_FALSE(read) << c.to;
      EXPECT_NE(error.find(c.message), std::string::npos) << c.to << ": " << error;
    }
  }
}

// A 32-bit image whose one section holds resources: manifest 1 in each of
// `languages`. `virtual_size_zero` leaves the section's virtual size 0, as
// some linkers do.
std::string image_with_manifests(const std::vector<std::string>& languages,
                                 bool virtual_size_zero) {
  const uint32_t kRaw = 0x200, kRva = 0x1000;
  std::string rsrc;
  auto u16 = [](std::string* s, size_t at, uint32_t v) {
    (*s)[at] = static_cast<char>(v);
    (*s)[at + 1] = static_cast<char>(v >> 8);
  };
  auto u32 = [&](std::string* s, size_t at, uint32_t v) {
    u16(s, at, v & 0xFFFF);
    u16(s, at + 2, v >> 16);
  };
  auto directory = [&](uint32_t entries) {
    size_t at = rsrc.size();
    rsrc.resize(at + 16 + 8 * entries);
    u16(&rsrc, at + 14, entries);
    return at;
  };
  size_t root = directory(1), types = directory(1),
         names = directory(static_cast<uint32_t>(languages.size()));
  u32(&rsrc, root + 16, 24);
  u32(&rsrc, root + 20, 0x80000000u | static_cast<uint32_t>(types));
  u32(&rsrc, types + 16, 1);
  u32(&rsrc, types + 20, 0x80000000u | static_cast<uint32_t>(names));
  for (size_t i = 0; i < languages.size(); ++i) {
    size_t data = rsrc.size();
    rsrc.resize(data + 16);
    u32(&rsrc, names + 16 + 8 * i, 1033 + static_cast<uint32_t>(i));
    u32(&rsrc, names + 20 + 8 * i, static_cast<uint32_t>(data));
    u32(&rsrc, data, kRva + static_cast<uint32_t>(rsrc.size()));
    u32(&rsrc, data + 4, static_cast<uint32_t>(languages[i].size()));
    rsrc += languages[i];
  }
  std::string image(kRaw, '\0');
  image[0] = 'M', image[1] = 'Z';
  u32(&image, 0x3C, 0x40);
  image.replace(0x40, 4, std::string("PE\0\0", 4));
  u16(&image, 0x44, 0x14C);
  u16(&image, 0x46, 1);      // sections
  u16(&image, 0x54, 0xE0);   // optional header size
  u16(&image, 0x58, 0x10B);  // PE32
  u32(&image, 0x58 + 92, 16);
  u32(&image, 0x58 + 96 + 16, kRva);
  u32(&image, 0x58 + 96 + 20, static_cast<uint32_t>(rsrc.size()));
  size_t section = 0x58 + 0xE0;
  image.replace(section, 5, ".rsrc");
  u32(&image, section + 8, virtual_size_zero ? 0 : static_cast<uint32_t>(rsrc.size()));
  u32(&image, section + 12, kRva);
  u32(&image, section + 16, static_cast<uint32_t>(rsrc.size()));
  u32(&image, section + 20, kRaw);
  return image + rsrc;
}

// The level quoted as given, with room for the longest one.
std::string with_level(const char* level) {
  std::string text = kManifest;
  text.replace(text.find("\"asInvoker\"   "), 14, std::string(level) + std::string(12, ' '));
  return text;
}

TEST(Manifest, RewritesEveryLanguageKeepingTheQuoteInAnyLayout) {
  struct Rewrite {
    const char* what;
    std::vector<std::string> languages;
    bool virtual_size_zero;
    const char* read;  // the level image_execution_level reads first; nullptr: refused
    ManifestLookup written;
  };
  const std::string dq = with_level("\"asInvoker\""), sq = with_level("'asInvoker'");
  const Rewrite cases[] = {
      {"double quotes", {dq}, false, "asInvoker", vpack::kManifestFound},
      {"single quotes", {sq}, false, "asInvoker", vpack::kManifestFound},
      {"two languages", {dq, sq}, false, "asInvoker", vpack::kManifestFound},
      {"virtual size 0", {dq}, true, "asInvoker", vpack::kManifestFound},
      {"languages that disagree", {dq, with_level("'requireAdministrator'")}, false, nullptr,
       vpack::kManifestFound},
      {"a damaged second language", {dq, "<assembly"}, false, nullptr, vpack::kManifestDamaged},
  };
  for (const Rewrite& c : cases) {
    std::string image = image_with_manifests(c.languages, c.virtual_size_zero);
    std::string level, error;
    EXPECT_EQ(vpack::image_execution_level(image, &level, &error), c.read != nullptr)
        << c.what << ": " << error;
    if (c.read) {
      EXPECT_EQ(level, c.read) << c.what;
    }
    std::string written = image;
    ASSERT_EQ(vpack::write_execution_level(&written, vpack::kRequireAdministrator, &error),
              c.written)
        << c.what << ": " << error;
    if (c.written != vpack::kManifestFound) {
      EXPECT_EQ(written, image) << c.what << ": a refused rewrite changes nothing";
      continue;
    }
    EXPECT_EQ(written.size(), image.size()) << c.what;
    EXPECT_TRUE(vpack::image_execution_level(written, &level, &error)) << c.what << ": " << error;
    EXPECT_EQ(level, vpack::kRequireAdministrator) << c.what;
    // Each language reads back with the quote it had.
    std::vector<vpack::ManifestSpan> spans;
    ASSERT_EQ(vpack::find_manifests(written, &spans, &error), vpack::kManifestFound);
    ASSERT_EQ(spans.size(), c.languages.size()) << c.what;
    for (size_t i = 0; i < spans.size(); ++i) {
      std::string text = written.substr(spans[i].offset, spans[i].size);
      const std::string& before = c.languages[i];
      char quote = before[before.find("level=") + 6];
      EXPECT_NE(text.find(std::string("level=") + quote + "requireAdministrator" + quote),
                std::string::npos)
          << c.what << " language " << i << ": " << text;
    }
  }
}

// A crafted manifest of many attributes is read in work linear in their
// number: each attribute is checked against those seen once.
TEST(Manifest, RepeatedAttributeCheckWorkGrowsLinearly) {
  for (size_t count : {1000u, 40000u}) {
    std::string attributes;
    for (size_t i = 0; i < count; ++i) attributes += " a" + std::to_string(i) + "=\"v\"";
    std::string text = kManifest;
    text.replace(text.find("<!-- note -->"), 13, "<x" + attributes + "/>");
    vpack::ExecutionLevel level;
    std::string error;
    size_t work = 0;
    ASSERT_TRUE(vpack::read_execution_level(text, &level, &error, &work)) << error;
    EXPECT_LE(work, count + 16) << count << " attributes";
    text.replace(text.rfind("/>"), 0, " a0=\"w\"");
    EXPECT_FALSE(vpack::read_execution_level(text, &level, &error, &work));
    EXPECT_NE(error.find("attribute a0 given twice"), std::string::npos) << error;
  }
}

}  // namespace
