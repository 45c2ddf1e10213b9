// Entry names through the builder's --verify and, in the Windows trees,
// through the extraction's own decoding: both must say the same of each.
#include <gtest/gtest.h>

#include <string>

#include "archive/entry_name.h"
#include "core/config_limits.h"
#include "pack/archive_writer.h"
#include "pack/config_block.h"
#include "pack/layout.h"
#include "pack/payload_info.h"
#ifdef _WIN32
#include "util/payload_text.h"
#endif

namespace {

struct NameRow {
  const char* what;
  const char* stored;  // the bytes the archive holds
  bool utf8;           // flagged as UTF-8
  EntryNameVerdict verdict;
  const char* refusal;  // part of --verify's message, when refused
};

const NameRow kNames[] = {
    {"ASCII", "readme.txt", false, kEntryNameSound, nullptr},
    {"code page 936", "\xD6\xD0\xCE\xC4.txt", false, kEntryNameSound, nullptr},
    {"trail byte 0x5C", "\x81\x5C.txt", false, kEntryNameSound, nullptr},
    {"euro sign 0x80", "\x80.txt", false, kEntryNameSound, nullptr},
    {"UTF-8 bytes unflagged", "\xE4\xB8\xAD.txt", false, kEntryNameNotText, "code page 936"},
    {"lone lead byte", "abc\x81", false, kEntryNameNotText, "code page 936"},
    {"lead byte before a digit", "\x81\x30x.txt", false, kEntryNameNotText, "code page 936"},
    {"UTF-8 without a 936 form", "\xE0\xB8\x81.txt", true, kEntryNameSound, nullptr},
    {"UTF-8 beyond 16 bits", "\xF0\x9F\x98\x80.txt", true, kEntryNameSound, nullptr},
    {"UTF-8 Chinese", "\xE4\xB8\xAD/\xE6\x96\x87.txt", true, kEntryNameSound, nullptr},
    {"malformed UTF-8", "\xC3\x28.txt", true, kEntryNameNotText, "not valid UTF-8"},
    {"overlong UTF-8", "\xC0\xAF.txt", true, kEntryNameNotText, "not valid UTF-8"},
    {"code page 936 flagged as UTF-8", "\xD6\xD0.txt", true, kEntryNameNotText,
     "not valid UTF-8"},
    {"parent folder", "a/../../x.txt", false, kEntryNameEscapes, "outside the destination"},
    {"drive", "C:x.txt", true, kEntryNameEscapes, "outside the destination"},
    {"leading backslash", "\\x.txt", false, kEntryNameEscapes, "outside the destination"},
};

TEST(EntryNames, VerifySaysWhatTheExtractionDoesWithEachName) {
  for (const NameRow& row : kNames) {
    vpack::Entry entry;
    entry.name = row.stored;
    entry.utf8_flag = row.utf8;
    entry.data = "x";
    std::string zip, error;
    ASSERT_TRUE(vpack::build_archive({entry}, 6, &zip, &error)) << row.what << ": " << error;
    std::string file = vpack::assemble_raw(std::string(40000, 'x'),
                                           vpack::build_config_block_for({}, zip), zip);
    vpack::PayloadReport report;
    bool verified = vpack::inspect_bytes(file, true, &report, &error);
    EXPECT_EQ(verified, row.verdict == kEntryNameSound) << row.what << ": " << error;
    if (row.refusal) {
      EXPECT_NE(error.find(row.refusal), std::string::npos) << row.what << ": " << error;
    }
#ifdef _WIN32
    // What the extraction itself makes of the name.
    wchar_t name[kPathBufferSize];
    EXPECT_EQ(decode_entry_name(row.stored, row.utf8 ? kEntryNameUtf8Flag : 0,
                                decode_payload_name, name, kPathBufferSize),
              row.verdict)
        << row.what;
#endif
  }
}

}  // namespace
