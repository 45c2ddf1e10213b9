#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "pack/archive_writer.h"
#include "pack/config_block.h"
#include "pack/file_io.h"
#include "pack/payload_writer.h"
#include "pack/source_tree.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;
using vpack_test::ScratchDir;

// Every kind of entry the builder meets, two of them over the default
// large-entry threshold of 4 MiB.
void write_mixed_tree(const ScratchDir& dir) {
  std::string text;
  for (unsigned i = 0; text.size() < (5u << 20); ++i) text += "line " + std::to_string(i % 977 * i) + "\n";
  dir.write("src/big/text.log", text);
  dir.write("src/big/noise.bin", vpack_test::noise((4u << 20) + 4097, 3));
  dir.write("src/a.txt", std::string(3000, 'a'));
  dir.write("src/small/noise.bin", vpack_test::noise(2000, 4));
  dir.write("src/small/empty.dat", "");
  dir.write("src/empty.dat", "");
  fs::create_directories(dir.path() / "src/no files/inside");
}

vpack::Payload payload_of(const ScratchDir& dir, int level) {
  vpack::Payload payload;
  payload.stub = vpack_test::fake_stub();
  payload.keys = {{"Name", "test"}};
  std::string error;
  vpack::TimeZone utc{false, 0};
  EXPECT_TRUE(vpack::collect_directory(dir.path() / "src", &payload.entries, &error, utc))
      << error;
  payload.options.level = level;
  payload.options.store_if_larger = true;
  return payload;
}

std::string read_all(const fs::path& path) {
  std::string bytes, error;
  EXPECT_TRUE(vpack::read_file(path, &bytes, &error)) << error;
  return bytes;
}

// Every entry streamed, in chunks that divide none of the sizes, one entry
// per batch.
vpack::StreamLimits tiny_limits() {
  vpack::StreamLimits limits;
  limits.large_entry = 0;
  limits.chunk = 4099;
  limits.batch_bytes = 1;
  limits.batch_spool = 1;
  return limits;
}

TEST(StreamedPayload, HoldsTheBytesOfTheInMemoryArchive) {
  ScratchDir dir;
  write_mixed_tree(dir);
  vpack::StreamLimits guess_short, guess_long = tiny_limits();
  guess_short.size_guess = 1;  // the archive moves forward in the file
  guess_long.size_guess = 999999999;  // and back
  struct {
    const char* what;
    int level;
    bool store_if_larger;
    vpack::StreamLimits limits;
  } cases[] = {
      {"default limits", 6, true, vpack::StreamLimits()},
      {"every entry streamed", 6, true, tiny_limits()},
      {"stored, every entry streamed", 0, true, tiny_limits()},
      {"ZipSize guessed short", 1, true, guess_short},
      {"ZipSize guessed long", 9, true, guess_long},
      {"deflated even when larger", 6, false, tiny_limits()},
  };
  for (const auto& c : cases) {
    vpack::Payload payload = payload_of(dir, c.level);
    payload.options.store_if_larger = c.store_if_larger;
    payload.limits = c.limits;
    std::string zip, error;
    ASSERT_TRUE(vpack::build_archive(payload.entries, payload.options, &zip, &error)) << error;
    std::string expected =
        payload.stub + vpack::build_config_block_for(payload.keys, zip) + zip;

    fs::path out = dir.path() / "out.exe";
    ASSERT_TRUE(vpack::write_payload_file(out, payload, &error)) << c.what << ": " << error;
    std::string written = read_all(out);
    EXPECT_EQ(written.size(), expected.size()) << c.what;
    EXPECT_TRUE(written == expected) << c.what;
    std::set<std::string> left;
    for (const auto& item : fs::directory_iterator(dir.path()))
      left.insert(item.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"out.exe", "src"})) << c.what;
  }
}

TEST(StreamedPayload, FailuresLeaveNoFileBehind) {
  ScratchDir dir, aside;
  write_mixed_tree(dir);
  const fs::path out = dir.path() / "out.exe";
  const fs::path moved = aside.path() / "moved";
  const fs::path temp = vpack::temporary_path(out);
  auto spool_of = [&](const vpack::Payload& p, const std::string& name) {
    for (size_t i = 0; i < p.entries.size(); ++i)
      if (p.entries[i].name == name) return fs::path(temp.string() + "." + std::to_string(i));
    return fs::path();
  };
  auto entry_source = [&](const vpack::Payload& p, const std::string& name) {
    for (const vpack::Entry& e : p.entries)
      if (e.name == name) return e.source;
    return fs::path();
  };
  struct Case {
    const char* what;
    int level;
    // Breaks something and returns the paths it made, which stay.
    std::function<std::vector<fs::path>(vpack::Payload*)> setup;
    const char* message_part;
  };
  const Case cases[] = {
      {"temporary name taken by a folder", 6,
       [&](vpack::Payload*) {
         fs::create_directory(temp);
         return std::vector<fs::path>{temp};
       },
       "cannot create"},
      {"spool name taken by a folder", 6,
       [&](vpack::Payload* p) {
         fs::path spool = spool_of(*p, "big/text.log");
         fs::create_directory(spool);
         return std::vector<fs::path>{spool};
       },
       "cannot create"},
      {"disk full under the output", 6,
       [&](vpack::Payload*) {
         fs::create_symlink("/dev/full", temp);
         return std::vector<fs::path>{};
       },
       "No space left on device"},
      {"disk full under a spool file", 6,
       [&](vpack::Payload* p) {
         fs::create_symlink("/dev/full", spool_of(*p, "big/text.log"));
         return std::vector<fs::path>{};
       },
       "No space left on device"},
      {"large source gone", 6,
       [&](vpack::Payload* p) {
         fs::rename(entry_source(*p, "big/text.log"), moved);
         return std::vector<fs::path>{};
       },
       "cannot open"},
      {"large source unreadable", 6,
       [&](vpack::Payload* p) {
         for (vpack::Entry& e : p->entries)
           if (e.name == "big/text.log") e.source = dir.path() / "src" / "big";
         return std::vector<fs::path>{};
       },
       "cannot read"},
      {"stored large source unreadable", 0,
       [&](vpack::Payload* p) {
         for (vpack::Entry& e : p->entries)
           if (e.name == "big/noise.bin") e.source = dir.path() / "src" / "big";
         return std::vector<fs::path>{};
       },
       "cannot read"},
      {"comment the stub cannot reach", 6,
       [&](vpack::Payload* p) {
         p->options.comment = std::string(65518, 'c');
         return std::vector<fs::path>{};
       },
       "cannot reach the end record"},
  };
  for (const Case& c : cases) {
    vpack::Payload payload = payload_of(dir, c.level);
    std::vector<fs::path> made = c.setup(&payload);
    std::string error;
    EXPECT_FALSE(vpack::write_payload_file(out, payload, &error)) << c.what;
    EXPECT_NE(error.find(c.message_part), std::string::npos) << c.what << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << c.what << ": " << error;
    std::set<fs::path> left;
    for (const auto& item : fs::directory_iterator(dir.path())) left.insert(item.path());
    for (const fs::path& p : made) {
      EXPECT_EQ(left.erase(p), 1u) << c.what << ": " << p;
      fs::remove(p);
    }
    EXPECT_EQ(left, (std::set<fs::path>{dir.path() / "src"})) << c.what;
    if (fs::exists(moved)) fs::rename(moved, dir.path() / "src/big/text.log");
  }
}

// The read-back check refusing or throwing: the temporary file goes both ways.
TEST(StreamedPayload, RefusedOrThrowingCheckRemovesTheWrittenFile) {
  ScratchDir dir;
  dir.write("src/f.txt", "data");
  const fs::path out = dir.path() / "out.exe";
  struct {
    const char* what;
    vpack::WrittenCheck check;
  } cases[] = {
      {"refuses",
       [](const fs::path& written, void*, std::string* error) {
         *error = "refused " + written.filename().string();
         return false;
       }},
      {"throws",
       [](const fs::path&, void*, std::string*) -> bool { throw std::runtime_error("thrown"); }},
  };
  for (const auto& c : cases) {
    vpack::Payload payload = payload_of(dir, 6);
    std::string error;
    try {
      EXPECT_FALSE(vpack::write_payload_file(out, payload, &error, c.check)) << c.what;
      EXPECT_EQ(error, "refused " + vpack::temporary_path(out).filename().string());
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "thrown");
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
        << c.what;
  }
}

}  // namespace
