#include "util/fs.h"
#include "util/text.h"
#include "gbk_text.h"
#include "../host/forge.h"

#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The operations take UTF-16 paths; these tests name theirs in code page 936.
int is_directory(const std::string& path) { return ::is_directory(wide(path).c_str()); }
int create_directory_chain(const std::string& path) {
  return ::create_directory_chain(wide(path).c_str());
}
int is_pe_executable(const std::string& path) { return ::is_pe_executable(wide(path).c_str()); }

void remove_tree(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        remove_tree(child);
      } else {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

int count_entries(const std::string& path) {
  int count = 0;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return -1;
  do {
    std::string name = data.cFileName;
    if (name != "." && name != "..") ++count;
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return count;
}

bool write_file(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = bytes.empty() ||
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

// A folder of the test's own below the temporary directory, removed at the end.
class FsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
    root_ = std::string(temp) + "vandrel-fs-" + std::to_string(GetCurrentProcessId());
    remove_tree(root_);
    ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
  }
  void TearDown() override {
    remove_tree(root_);
    EXPECT_EQ(GetFileAttributesA(root_.c_str()), INVALID_FILE_ATTRIBUTES);
  }
  std::string at(const std::string& name) const { return root_ + "\\" + name; }

  std::string root_;
};

TEST_F(FsTest, IsDirectoryOnlyForExistingDirectories) {
  ASSERT_TRUE(write_file(at("file.txt"), "text"));
  EXPECT_EQ(is_directory(root_), 1);
  EXPECT_EQ(is_directory(at("file.txt")), 0);
  EXPECT_EQ(is_directory(at("missing")), 0);
}

TEST_F(FsTest, PathExistsUnquotedRemovesTheFirstTwoQuotes) {
  ASSERT_TRUE(write_file(at("file.txt"), "text"));
  struct Case {
    std::string path;
    int expected;
    std::string after;
  };
  const Case cases[] = {
      {"\"" + at("file.txt") + "\"", 1, at("file.txt")},
      {at("file.txt"), 1, at("file.txt")},
      {"\"" + root_ + "\"", 1, root_},
      {"\"" + at("missing") + "\"", 0, at("missing")},
      {"\"" + at("file.txt") + "\"\"", 0, at("file.txt") + "\""},  // only two are removed
  };
  for (const Case& c : cases) {
    wchar_t path[MAX_PATH];
    ASSERT_LT(c.path.size(), static_cast<size_t>(MAX_PATH));
    lstrcpyW(path, wide(c.path).c_str());
    EXPECT_EQ(path_exists_unquoted(path), c.expected) << c.path;
    EXPECT_EQ(gbk(path), c.after);
  }
}

TEST_F(FsTest, CreateDirectoryChainCreatesEveryMissingLevel) {
  ASSERT_TRUE(CreateDirectoryA(at("a").c_str(), nullptr));
  EXPECT_NE(create_directory_chain(at("a\\b\\c\\d")), 0);
  for (const char* level : {"a\\b", "a\\b\\c", "a\\b\\c\\d"}) {
    EXPECT_EQ(is_directory(at(level)), 1) << level;
  }
  // A trailing backslash names the same chain.
  EXPECT_NE(create_directory_chain(at("e\\f\\")), 0);
  EXPECT_EQ(is_directory(at("e\\f")), 1);
}

TEST_F(FsTest, CreateDirectoryChainOfExistingDirectoryCreatesNothing) {
  ASSERT_TRUE(CreateDirectoryA(at("a").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(at("a\\b").c_str(), nullptr));
  EXPECT_NE(create_directory_chain(at("a\\b")), 0);
  EXPECT_EQ(count_entries(root_), 1);
  EXPECT_EQ(count_entries(at("a")), 1);
  EXPECT_EQ(count_entries(at("a\\b")), 0);
}

TEST_F(FsTest, CreateDirectoryChainThroughOrOntoAFileFails) {
  ASSERT_TRUE(write_file(at("a"), "not a directory"));
  // Through the file, the file itself, and the file named with a backslash.
  for (const char* chain : {"a\\b\\c", "a", "a\\"}) {
    EXPECT_EQ(create_directory_chain(at(chain)), 0) << chain;
    EXPECT_EQ(is_directory(at("a")), 0) << chain;
    EXPECT_EQ(count_entries(root_), 1) << chain;
  }
}

TEST(PathParent, CopiesTheDirectoryPartWithinTheOutputSize) {
  struct Case {
    const char* path;
    size_t out_size;
    const char* expected;
  };
  const Case cases[] = {
      {"C:\\dir\\file.lnk", MAX_PATH, "C:\\dir"},
      {"file.lnk", MAX_PATH, "file.lnk"},
      {"C:\\file.lnk", MAX_PATH, "C:"},
      {"C:\\dir\\", MAX_PATH, "C:\\dir"},
      {"C:\\dir\\file.lnk", 4, "C:\\"},  // cut to the output
      {"file.lnk", 5, "file"},
      // 奬 and 乗 end in the byte of a backslash in code page 936.
      {"C:\\dir\\一等奬", MAX_PATH, "C:\\dir"},
      {"C:\\奬狀\\乗", MAX_PATH, "C:\\奬狀"},
  };
  for (const Case& c : cases) {
    std::wstring path = wide(c.path);
    std::vector<wchar_t> out(c.out_size + 8, L'G');
    EXPECT_EQ(path_parent(path.c_str(), out.data(), c.out_size), path.c_str());
    EXPECT_EQ(gbk(out.data()), c.expected) << c.path;
    for (size_t i = c.out_size; i < out.size(); ++i) ASSERT_EQ(out[i], L'G') << c.path;
  }
  wchar_t out[4] = {L'G', L'G', L'G', L'G'};
  path_parent(L"C:\\x", out, 0);
  EXPECT_EQ(out[0], L'G');
}

TEST(GbkScan, PortableLeadBytesAreTheSystemsForCodePage936) {
  for (int c = 0; c < 256; ++c) {
    EXPECT_EQ(is_gbk_lead_byte(static_cast<unsigned char>(c)) != 0,
              IsDBCSLeadByteEx(936, static_cast<BYTE>(c)) != 0)
        << c;
  }
}

using forge::dos_image;

TEST_F(FsTest, IsPeExecutableChecksHeadersAndReleasesTheFile) {
  struct Case {
    const char* name;
    std::string bytes;
    int expected;
    ULONGLONG extended_to = 0;  // a sparse end makes the file this long
  };
  std::string no_signature = dos_image(64, 64 + 248);
  no_signature[64] = 'X';
  const Case cases[] = {
      {"text", "This is a text file, long enough to hold a DOS header somewhere. 0123456789", 0},
      {"one-byte", "M", 0},
      {"empty", "", 0},
      {"mz-only", "MZ", 0},
      {"offset-outside", dos_image(0x7FFFFFF0u, 512), 0},
      {"offset-negative", dos_image(0xFFFFFFF0u, 512), 0},
      {"headers-cut-by-one", dos_image(64, 64 + 247), 0},
      {"no-pe-signature", no_signature, 0},
      {"minimal-headers", dos_image(64, 64 + 248), 1},
      // Larger than a 32-bit address space can map.
      {"five-gib-program", dos_image(64, 64 + 248), 1, 5ull << 30},
  };
  for (const Case& c : cases) {
    std::string path = at(c.name);
    ASSERT_TRUE(write_file(path, c.bytes)) << c.name;
    if (c.extended_to) {
      HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(file, INVALID_HANDLE_VALUE) << c.name;
      DWORD sparse = 0;
      DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &sparse, nullptr);
      LARGE_INTEGER end;
      end.QuadPart = static_cast<LONGLONG>(c.extended_to);
      EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file)) << c.name;
      CloseHandle(file);
    }
    EXPECT_EQ(is_pe_executable(path), c.expected) << c.name;
    EXPECT_TRUE(DeleteFileA(path.c_str())) << c.name << " is still open";
  }
  EXPECT_EQ(is_pe_executable(at("missing")), 0);
}

TEST_F(FsTest, IsPeExecutableRecognisesAWindowsProgram) {
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
  ASSERT_GT(n, 0u);
  ASSERT_LT(n, static_cast<DWORD>(MAX_PATH));
  EXPECT_EQ(is_pe_executable(std::string(self)), 1);

  std::string copy = at("copy.exe");
  ASSERT_TRUE(CopyFileA(self, copy.c_str(), FALSE));
  EXPECT_EQ(is_pe_executable(copy), 1);
  EXPECT_TRUE(DeleteFileA(copy.c_str()));
}

}  // namespace
