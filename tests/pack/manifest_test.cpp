#include "pack/manifest.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

namespace {

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

}  // namespace
