#include "archive/output_writer.h"
#include "util/text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The writer announces an entry before it creates anything of it; the
// announcement waits there until the test lets it go, so that the run is
// abandoned exactly between the announcement and the creation.
HANDLE g_reached;
HANDLE g_go;
HANDLE g_done;

void hold_entry(const char*) {
  SetEvent(g_reached);
  WaitForSingleObject(g_go, 10000);
}

void entry_done(DWORD) { SetEvent(g_done); }

TEST(OutputWriter, CreatesNoQueuedFolderOnceAbandoned) {
  char temp[MAX_PATH];
  ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
  // A failed run leaves its folders: each run has its own.
  std::string root = std::string(temp) + "vandrel-writer-" + std::to_string(GetCurrentProcessId()) +
                     "-" + std::to_string(GetTickCount());
  g_reached = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  g_go = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  g_done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  // Abandoned, the writer's thread waits for good: the writer is never freed.
  OutputWriter* writer = new OutputWriter();
  ASSERT_TRUE(writer->start(OutputProgress{hold_entry, entry_done}));
  OutputBlock* block = writer->claim();
  ASSERT_NE(block, nullptr);
  block->makes_directory = block->ends_entry = true;
  block->entry_number = 1;
  text_copy(block->name, sizeof block->name, "sub\\");
  text_copy(block->path, sizeof block->path, (root + "\\sub").c_str());
  writer->submit(block);
  ASSERT_EQ(WaitForSingleObject(g_reached, 10000), WAIT_OBJECT_0);
  writer->abandon();
  SetEvent(g_go);
  // Left to go on, the writer makes the folders within milliseconds.
  EXPECT_EQ(WaitForSingleObject(g_done, 1000), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(GetFileAttributesA(root.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
