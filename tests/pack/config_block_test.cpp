#include "pack/config_block.h"

#include <gtest/gtest.h>

namespace {

using vpack::KeyList;

TEST(ConfigBlock, WritesMarkerThenOneLinePerKeyWithLineFeeds) {
  EXPECT_EQ(vpack::build_config_block({}), "[QV]\n");
  EXPECT_EQ(vpack::build_config_block({{"Name", "\xD6\xD0"}, {"NoGUI", "1"}}),
            "[QV]\nName=\xD6\xD0\nNoGUI=1\n");
}

TEST(ConfigBlock, ZipSizeComesFirstAndReplacesAnOldValue) {
  KeyList keys = vpack::with_zip_size({{"Name", "a"}, {"zipsize", "7"}}, 1234);
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0], (std::pair<std::string, std::string>("ZipSize", "1234")));
  EXPECT_EQ(keys[1].first, "Name");
  EXPECT_EQ(vpack::build_config_block_for({{"Exec", "a.exe"}}, std::string(99, 'z')),
            "[QV]\nZipSize=99\nExec=a.exe\n");
}

struct Accepted {
  KeyList in;
  KeyList out;
};

TEST(PrepareKeys, ConvertsAndOrdersWhatTheStubReads) {
  const Accepted cases[] = {
      // Canonical spelling and order.
      {{{"delete", "1"}, {"NAME", u8"测试"}, {"Shortcut1", "b|c|"}, {"Shortcut0", "a|b|"},
        {"url", "http://x"}, {"openfolder", "0"}, {"NoGUI", "0"}},
       {{"Name", "\xB2\xE2\xCA\xD4"}, {"URL", "http://x"}, {"OpenFolder", "0"}, {"NoGUI", "0"},
        {"Delete", "1"}, {"Shortcut0", "a|b|"}, {"Shortcut1", "b|c|"}}},
      // Line breaks of the introduction become backslash and n; a backslash
      // at the end of a line stays a backslash.
      {{{"Intro", "one\ntwo\r\nC:\\\nthree"}}, {{"Intro", "one\\ntwo\\nC:\\\\nthree"}}},
      // 乗 ends in a backslash's byte; the stub reads no line break there.
      {{{"Intro", u8"乗n"}}, {{"Intro", "\x81\x5cn"}}},
      // Variables: a folder variable as the first component, environment
      // names anywhere, either delimiter.
      {{{"DefaultPath", "%ProgramFiles(x86)%\\App"}, {"Exec", "$targetdir$\\setup.exe"}},
       {{"Exec", "$targetdir$\\setup.exe"}, {"DefaultPath", "%ProgramFiles(x86)%\\App"}}},
      {{{"DefaultPath", "D:\\Apps\\$USERNAME$\\x"}}, {{"DefaultPath", "D:\\Apps\\$USERNAME$\\x"}}},
      // Environment names a few letters from a folder variable are no slips.
      {{{"DefaultPath", "%windir%\\Fonts\\x"}}, {{"DefaultPath", "%windir%\\Fonts\\x"}}},
      {{{"DefaultPath", "$programfiles$"}}, {{"DefaultPath", "$programfiles$"}}},
      {{{"Shortcut0", "$StartMenu$\\Group\\A.lnk|$temp$\\a.exe|"}},
       {{"Shortcut0", "$StartMenu$\\Group\\A.lnk|$temp$\\a.exe|"}}},
      // A '$' in texts that are not paths is text.
      {{{"Name", "Price $5"}, {"URL", "http://x/?a=$b"}},
       {{"Name", "Price $5"}, {"URL", "http://x/?a=$b"}}},
      // Folder variables and bars after the second pass through.
      {{{"DefaultPath", "$programfiles$\\App"}, {"Shortcut0", "$desktop$\\A.lnk|x.exe|args"}},
       {{"DefaultPath", "$programfiles$\\App"}, {"Shortcut0", "$desktop$\\A.lnk|x.exe|args"}}},
      // 億 ends in the byte of a bar, which the stub steps over.
      {{{"Shortcut0", u8"C:\\億.lnk|C:\\億.exe|"}}, {{"Shortcut0", "C:\\\x83\x7c.lnk|C:\\\x83\x7c.exe|"}}},
      // Longest values kept by the stub, counted in code page 936 bytes.
      {{{"Name", std::string(254, 'n')}, {"URL", std::string(127, 'u')}},
       {{"Name", std::string(254, 'n')}, {"URL", std::string(127, 'u')}}},
      {{{"Shortcut0", std::string(259, 'l') + "|" + std::string(259, 't') + "|"}},
       {{"Shortcut0", std::string(259, 'l') + "|" + std::string(259, 't') + "|"}}},
  };
  for (const Accepted& c : cases) {
    KeyList out;
    std::string error;
    ASSERT_TRUE(vpack::prepare_keys(c.in, &out, &error)) << error;
    EXPECT_EQ(out, c.out);
  }
}

std::string repeat(const std::string& s, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

struct Refused {
  KeyList in;
  const char* message_part;
};

TEST(PrepareKeys, RefusesWhatTheStubWouldCutOrMisread) {
  const Refused cases[] = {
      {{{"Name", std::string(255, 'n')}}, "at most 254"},
      {{{"Exec", std::string(255, 'e')}}, "at most 254"},
      {{{"DefaultPath", std::string(260, 'p')}}, "at most 259"},
      {{{"URL", std::string(128, 'u')}}, "at most 127"},
      // 512 Chinese characters are 1,024 bytes although 512 characters.
      {{{"Intro", repeat(u8"中", 512)}}, "1024 bytes"},
      {{{"Shortcut0", "a|" + std::string(1022, 't')}}, "at most 1023"},
      {{{"Shortcut0", std::string(260, 'l') + "|t|"}}, "Shortcut0: the link is 260 bytes"},
      {{{"Shortcut0", "l|" + repeat(u8"中", 130) + "|"}}, "the target is 260 bytes"},
      {{{"Name", u8"smile 😀"}}, u8"😀"},
      {{{"Name", "bad \xFF"}}, "UTF-8"},
      {{{"Shortcut0", "link only"}}, "both bars"},
      {{{"Shortcut0", "link|target"}}, "both bars"},
      {{{"Shortcut0", "|target|"}}, "empty"},
      {{{"Shortcut0", "link||"}}, "empty"},
      {{{"Shortcut0", "a|b|"}, {"Shortcut2", "c|d|"}}, "Shortcut1 is missing"},
      {{{"Shortcut1", "a|b|"}}, "Shortcut0 is missing"},
      {{{"Shortcut01", "a|b|"}}, "Shortcut0, Shortcut1"},
      {{{"ZipSize", "5"}}, "writes this key itself"},
      {{{"Name", "a"}, {"name", "b"}}, "twice"},
      {{{"Name", " padded"}}, "blank"},
      {{{"Exec", "\"quoted.exe\""}}, "double quotes"},
      {{{"URL", "a\nb"}}, "line break"},
      // Keys the stub would ignore, with the key meant when one is close.
      {{{"DefualtPath", "C:\\x"}}, "DefualtPath: unknown key; did you mean DefaultPath?"},
      {{{"NoGUl", "1"}}, "NoGUl: unknown key; did you mean NoGUI?"},
      {{{"Nmae", "x"}}, "did you mean Name?"},
      {{{"OpenFolders", "1"}}, "did you mean OpenFolder?"},
      {{{"Shortcut", "a|b|"}}, "did you mean Shortcut0?"},
      {{{"Author", "me"}}, "Author: unknown key; the stub reads only Name,"},
      // Switches are 1 or 0; the message says what the stub would make of it.
      {{{"OpenFolder", "01"}},
       "OpenFolder: '01' is neither 1 (on) nor 0 (off); the stub would read it as off"},
      {{{"AutoExtract", "TRUE"}}, "read it as off"},
      {{{"NoGUI", "2"}}, "NoGUI: '2' is neither 1 (on) nor 0 (off); the stub would read it as on"},
      {{{"Delete", "10"}}, "read it as on"},
      {{{"Delete", "yes"}}, "read it as off"},
      {{{"NoGUI", ""}}, "neither 1 (on) nor 0 (off)"},
      // A '$' or '%' in a path setting that opens no variable.
      {{{"DefaultPath", "C:\\My$Dir\\x"}},
       "DefaultPath: the '$' at character 6 opens no variable such as $desktop$ or $temp$; the "
       "stub reads every '$' as '%' and would make 'C:\\My%Dir\\x' of it"},
      {{{"Exec", u8"安装$.exe"}}, "Exec: the '$' at character 3"},
      {{{"Exec", "100%.exe"}},
       "Exec: the '%' at character 4 opens no variable such as $desktop$ or $temp$; the stub "
       "takes every '%' for a variable's delimiter"},
      {{{"DefaultPath", "$$\\x"}}, "the '$' at character 1 opens no variable"},
      {{{"DefaultPath", "$1$\\x"}}, "opens no variable"},
      {{{"DefaultPath", "$temp"}}, "opens no variable"},
      {{{"DefaultPath", "D:\\a\\$desktop$\\b"}}, "$desktop$ must be the whole first component"},
      {{{"Exec", "$targetdir$setup.exe"}}, "$targetdir$ must be the whole first component"},
      {{{"DefaultPath", "$targetdir$\\x"}}, "empty while the destination is being chosen"},
      // A folder variable misspelt, wherever the stub expands variables.
      {{{"DefaultPath", "$programfile$\\Typo"}},
       "DefaultPath: $programfile$ is no folder variable the stub knows; did you mean "
       "$programfiles$?"},
      {{{"Shortcut0", "$desktp$\\A.lnk|a.exe|"}}, "Shortcut0 link: $desktp$ is no folder"},
      {{{"Shortcut0", "$desktop$\\A.lnk|$targtedir$\\a.exe|"}}, "did you mean $targetdir$?"},
      {{{"Shortcut0", "$desktop$\\A.lnk|$targetdir\\a.exe|"}},
       "Shortcut0 target: the '$' at character 1"},
      {{{"Shortcut0", "x$desktop$\\A.lnk|a.exe|"}}, "Shortcut0 link: $desktop$ must be"},
      // A literal backslash-n in the welcome text.
      {{{"Intro", "Files go to C:\\new\\app"}},
       "Intro: the backslash and 'n' at character 15 would show as a line break"},
      {{{"Intro", u8"第一行\\n第二行"}}, "at character 4"},
      {{{"Bad Key", "x"}}, "key name"},
  };
  for (const Refused& c : cases) {
    KeyList out;
    std::string error;
    EXPECT_FALSE(vpack::prepare_keys(c.in, &out, &error)) << c.in[0].first;
    EXPECT_NE(error.find(c.message_part), std::string::npos)
        << "message '" << error << "' lacks '" << c.message_part << "'";
  }
}

// A name near a folder variable: refused as a slip only in '$' and one
// letter off; otherwise packed as the environment's, with a warning.
TEST(PrepareKeys, NearMissOfAFolderVariableWarnsUnlessADollarSlip) {
  struct NearMiss {
    KeyList in;
    const char* refusal;  // nullptr: packed
    const char* warning;  // nullptr: none
  };
  const NearMiss cases[] = {
      {{{"DefaultPath", "%outdir%\\MyApp"}}, nullptr,
       "DefaultPath: %outdir% is no folder variable the stub knows; did you mean %curdir%? "
       "(kept as the environment variable outdir)"},
      {{{"Exec", "%srcdir%\\a.exe"}}, nullptr, "did you mean %sysdir%?"},
      {{{"Exec", "%TargetDri%\\a.exe"}}, nullptr, "did you mean %targetdir%?"},
      {{{"DefaultPath", "$outdir$\\MyApp"}}, nullptr, "did you mean $curdir$?"},
      {{{"Shortcut0", "%destkop%\\A.lnk|a.exe|"}}, nullptr, "Shortcut0 link: %destkop%"},
      {{{"DefaultPath", "$programfile$\\x"}}, "did you mean $programfiles$?", nullptr},
      {{{"Shortcut0", "$desktop$\\A.lnk|$targtedir$\\a.exe|"}}, "did you mean $targetdir$?",
       nullptr},
      {{{"DefaultPath", "%temp%\\MyApp"}}, nullptr, nullptr},
  };
  for (const NearMiss& c : cases) {
    KeyList out;
    std::string error;
    std::vector<std::string> warnings;
    bool packed = vpack::prepare_keys(c.in, &out, &error, {}, &warnings);
    EXPECT_EQ(packed, c.refusal == nullptr) << c.in[0].second << ": " << error;
    if (c.refusal) {
      EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
    }
    ASSERT_EQ(warnings.size(), c.warning && packed ? 1u : 0u) << c.in[0].second;
    if (!warnings.empty()) {
      EXPECT_NE(warnings[0].find(c.warning), std::string::npos) << warnings[0];
    }
  }
}

TEST(IniText, ReadsKeysOfTheQvSectionWithCommentsAndBom) {
  KeyList keys;
  std::string error;
  ASSERT_TRUE(vpack::parse_ini_text(
      "\xEF\xBB\xBF; comment\r\n[qv]\r\nName = " + std::string(u8"包") + "\n# x\n\nURL=http://a\n",
      "extra.ini", &keys, &error))
      << error;
  EXPECT_EQ(keys, (KeyList{{"Name", u8"包"}, {"URL", "http://a"}}));
}

TEST(IniText, RefusesOtherSectionsBadLinesAndRepeatedKeysWithTheLineNumber) {
  const std::pair<const char*, const char*> cases[] = {
      {"Name=a\n[Other]\n", "extra.ini:2: only the [QV] section"},
      {"Name=a\nnonsense\n", "extra.ini:2: a line must be"},
      {"Name=a\nNAME=b\n", "extra.ini:2: NAME is given twice"},
      {"Name=a\n\nDefualtPath=b\n",
       "extra.ini:3: DefualtPath: unknown key; did you mean DefaultPath?"},
      {"ZipSize=3\n", "extra.ini:1: ZipSize: the builder writes this key itself"},
  };
  for (const auto& c : cases) {
    KeyList keys;
    std::string error;
    EXPECT_FALSE(vpack::parse_ini_text(c.first, "extra.ini", &keys, &error));
    EXPECT_EQ(error.find(c.second), 0u) << error;
  }
}

TEST(MergeKeys, OptionsWinAndReplaceTheWholeShortcutList) {
  KeyList file = {{"Name", "file"}, {"Author", "a"}, {"Shortcut0", "f|0|"}, {"Shortcut1", "f|1|"}};
  EXPECT_EQ(vpack::merge_keys(file, {{"name", "option"}}),
            (KeyList{{"Name", "option"}, {"Author", "a"}, {"Shortcut0", "f|0|"},
                     {"Shortcut1", "f|1|"}}));
  EXPECT_EQ(vpack::merge_keys(file, {{"Shortcut0", "o|0|"}}),
            (KeyList{{"Name", "file"}, {"Author", "a"}, {"Shortcut0", "o|0|"}}));
  // Where each value came from follows it: the file's line, or none for an option.
  std::vector<std::string> places;
  vpack::merge_keys(file, {{"name", "o"}, {"URL", "u"}}, {"f:1: ", "f:2: ", "f:3: ", "f:4: "},
                    &places);
  EXPECT_EQ(places, (std::vector<std::string>{"", "f:2: ", "f:3: ", "f:4: ", ""}));
}

}  // namespace
