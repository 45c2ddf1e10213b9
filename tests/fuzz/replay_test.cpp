// Replays, through the fuzz targets' own bodies, the inputs that once broke
// one of their promises, so that the host tree checks them on every run
// (a broken promise aborts the test). Each input is also checked for the
// behaviour it showed.
#include <gtest/gtest.h>

#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "archive/entry_name.h"
#include "fuzz_bodies.h"
#include "util/text.h"

namespace {

const uint8_t* bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// A lead byte takes the byte after it as its trail, as the system's own
// character steps do, even a "/" that no character of the code page has.
TEST(FuzzReplay, LeadByteBeforeSlashMakesOneCharacter) {
  const std::string name = "\x97/";
  fuzz_entry_name(bytes(name), name.size());
  bool has_separator = true;
  EXPECT_STREQ(entry_last_component(name.c_str(), &has_separator), name.c_str());
  EXPECT_FALSE(has_separator);
  EXPECT_TRUE(entry_name_escapes("\x97/../../x"));
}

// A value that starts with the separator keeps it in its link field, and
// the target field is read from the first separator on: the two overlap.
TEST(FuzzReplay, ShortcutValueStartingWithBarOverlapsItsFields) {
  const std::string input = std::string("\x1e\x64") + "|lead|";
  fuzz_shortcut_split(bytes(input), input.size());
  EXPECT_STREQ(str_field(L"|lead|", L"|", 0), L"|lead");
  EXPECT_STREQ(str_field(L"|lead|", L"|", 1), L"lead");
}

// A short run of the path targets on every build: random inputs whose
// environment values and paths run from nothing to many times a path's
// length (the full fuzzers run in a tree of their own).
TEST(FuzzShortRun, PathExpansionStaysWithinItsBuffersForValuesOfAnyLength) {
  std::mt19937 random(20261208);
  for (int run = 0; run < 4000; ++run) {
    std::vector<uint8_t> input(random() % 700);
    for (uint8_t& b : input) b = static_cast<uint8_t>(random());
    // Half of the paths name the environment variable.
    if (input.size() > 20 && run % 2 == 0) memcpy(&input[8], "%temp%\\", 7);
    fuzz_folder_path(input.data(), input.size());
    fuzz_shortcut_split(input.data(), input.size());
  }
}

}  // namespace
