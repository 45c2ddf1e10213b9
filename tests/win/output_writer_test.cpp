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

void hold_entry(const wchar_t*) {
  SetEvent(g_reached);
  WaitForSingleObject(g_go, 10000);
}

void entry_done(DWORD) { SetEvent(g_done); }

TEST(OutputWriter, CreatesNoQueuedFolderOnceAbandoned) {
  wchar_t temp[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
  // A failed run leaves its folders: each run has its own.
  std::wstring root = std::wstring(temp) + L"vandrel-writer-" +
                      std::to_wstring(GetCurrentProcessId()) + L"-" +
                      std::to_wstring(GetTickCount());
  g_reached = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  g_go = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  g_done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  // Abandoned, the writer's thread waits for good: the writer is never freed.
  OutputWriter* writer = new OutputWriter();
  ASSERT_TRUE(writer->start(OutputProgress{hold_entry, entry_done}));
  OutputBlock* block = writer->claim(0);
  ASSERT_NE(block, nullptr);
  block->makes_directory = block->ends_entry = true;
  block->entry_number = 1;
  text_copy(block->name, MAX_PATH, L"sub\\");
  text_copy(block->path, MAX_PATH, (root + L"\\sub").c_str());
  writer->submit(block);
  ASSERT_EQ(WaitForSingleObject(g_reached, 10000), WAIT_OBJECT_0);
  writer->abandon();
  SetEvent(g_go);
  // Left to go on, the writer makes the folders within milliseconds.
  EXPECT_EQ(WaitForSingleObject(g_done, 1000), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(GetFileAttributesW(root.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
