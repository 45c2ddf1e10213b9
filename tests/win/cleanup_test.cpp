#include <gtest/gtest.h>

#include <string>

#include "core/state.h"
#include "actions/cleanup.h"

namespace {

bool exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool make_file(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

// Names that the extraction would have refused, given to the cleanup anyway:
// each would delete something outside target_dir, or at a path cut to fit.
TEST(Cleanup, DeletesNothingOutsideTargetDirNorAtACutPath) {
  char temp[MAX_PATH];
  ASSERT_NE(0u, GetTempPathA(MAX_PATH, temp));
  const std::string root = std::string(temp) + "vandrel-cleanup-test\\";
  const std::string out = root + "out\\";
  CreateDirectoryA(root.c_str(), nullptr);
  CreateDirectoryA(out.c_str(), nullptr);
  CreateDirectoryA((out + "sub").c_str(), nullptr);
  // The name that fills a path exactly, and one longer whose cut it would be.
  const std::string fitting(MAX_PATH - 1 - out.size(), 'n');
  const std::string longer = fitting + "-longer";
  ASSERT_TRUE(make_file(out + fitting));
  ASSERT_TRUE(make_file(root + "outside.txt"));
  ASSERT_TRUE(make_file(out + "inside.txt"));

  lstrcpyA(g_state.target_dir, out.c_str());
  const char* const names[] = {
      "inside.txt",
      "..\\outside.txt",
      "../outside.txt",
      "sub/../../outside.txt",
      "sub\\..\\..\\outside.txt",
      "\\outside.txt",
      "/outside.txt",
      longer.c_str(),
  };
  std::string absolute = root + "outside.txt";
  item_list_push(&g_state.extracted_list, absolute.c_str());
  for (const char* name : names) item_list_push(&g_state.extracted_list, name);

  delete_extracted_entries();
  EXPECT_EQ(0, item_list_count(&g_state.extracted_list));
  EXPECT_FALSE(exists(out + "inside.txt"));
  EXPECT_TRUE(exists(root + "outside.txt"));
  EXPECT_TRUE(exists(out + fitting));

  DeleteFileA((out + fitting).c_str());
  RemoveDirectoryA((out + "sub").c_str());
  RemoveDirectoryA(out.c_str());
  DeleteFileA((root + "outside.txt").c_str());
  RemoveDirectoryA(root.c_str());
  g_state.target_dir[0] = 0;
}

}  // namespace
