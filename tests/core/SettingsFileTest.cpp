#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "FaultyFileLayer.h"
#include "TestSupport.h"
#include "settings/SettingsFile.h"

namespace {

class SettingsFileTest : public ::testing::Test {
 protected:
  Settings Load(const std::string& content) {
    WriteFile(path, content);
    Settings settings;
    EXPECT_TRUE(SettingsFile(path).Load(&settings));
    return settings;
  }

  TempFolder folder;
  std::string path = folder / "Setting.ini";
};

TEST_F(SettingsFileTest, AMissingFileReadsAsDefaultsAndIsNotCreated) {
  Settings settings;
  settings.inputs.baseUrl = "left over";
  EXPECT_TRUE(SettingsFile(path).Load(&settings));
  EXPECT_EQ(settings, Settings{});
  EXPECT_TRUE(folder.Names().empty());
  EXPECT_EQ(Load("[OTHER]\nBASE_URL=x\n"), Settings{});
}

TEST_F(SettingsFileTest, ANewFileHoldsTheSevenKeysInOrder) {
  ASSERT_TRUE(SettingsFile(path).Save(Settings{}));
  EXPECT_EQ(ReadFile(path),
            "[SETTING]\nLOCAL_FOLDER=\nBASE_URL=\nPRIORITY_AUTO=0\nUPDATE_FREQ_AUTO=0\n"
            "LAST_UPDATE_AUTO=0\nMOBILE=0\nKAKUCHO=\n\n\n"
            "[OPTIONS]\nLASTMOD_FROM=run\nEXCLUDE=\nSKIP_NOINDEX=0\nFOLDER_URLS=0\n"
            "INDEX_NAMES=index.html,index.htm\nFOLLOW_LINKS=0\nGZIP=0\n");
}

TEST_F(SettingsFileTest, RoundTripsEveryValue) {
  Settings settings;
  settings.localFolder = "/home/user/サイト";
  settings.inputs.baseUrl = "https://example.jp/";
  settings.inputs.priority = true;
  settings.inputs.mobile = true;
  settings.inputs.extensions = {"htm", "html"};
  ASSERT_TRUE(SettingsFile(path).Save(settings));
  EXPECT_NE(ReadFile(path).find("PRIORITY_AUTO=1\n"), std::string::npos);
  EXPECT_NE(ReadFile(path).find("KAKUCHO=htm,html,\n"), std::string::npos);
  Settings loaded;
  ASSERT_TRUE(SettingsFile(path).Load(&loaded));
  EXPECT_EQ(loaded, settings);
}

TEST_F(SettingsFileTest, KeepsLongListsAndBytesThatAreNotUtf8) {
  Settings settings;
  settings.localFolder = "/data/\x82\xb3\x82\xa2\x83\x67";  // Shift-JIS bytes
  for (int i = 0; i < 600; ++i) settings.inputs.extensions.push_back("ext" + std::to_string(i));
  ASSERT_TRUE(SettingsFile(path).Save(settings));
  Settings loaded;
  ASSERT_TRUE(SettingsFile(path).Load(&loaded));
  EXPECT_EQ(loaded, settings);
}

TEST_F(SettingsFileTest, ReadsHandEditedExtensionLists) {
  EXPECT_EQ(Load("[SETTING]\nKAKUCHO=htm,,htm,html\n").inputs.extensions, (std::vector<std::string>{"htm", "html"}));
  EXPECT_EQ(Load("[SETTING]\nKAKUCHO=htm, html\n").inputs.extensions, (std::vector<std::string>{"htm", " html"}));
  EXPECT_EQ(Load("[SETTING]\nKAKUCHO=,HTM,htm,\n").inputs.extensions, (std::vector<std::string>{"HTM", "htm"}));
  EXPECT_EQ(SettingsFile::JoinExtensions({"a,b"}), "a,b,");  // comes back as two entries next time
  EXPECT_EQ(SettingsFile::SplitExtensions("a,b,"), (std::vector<std::string>{"a", "b"}));
}

TEST_F(SettingsFileTest, BooleansFollowTheNumberRule) {
  for (const char* checked : {"1", "2", "-1", "+7", "$1F", "0x10", "0X1", "$FFFFFFFF"})
    EXPECT_TRUE(SettingsFile::ReadsAsChecked(checked)) << checked;
  for (const char* unchecked : {"0", "", "yes", "true", "1.0", "0x", "$", "1a", "99999999999", "0x0", "-0"})
    EXPECT_FALSE(SettingsFile::ReadsAsChecked(unchecked)) << unchecked;
  EXPECT_TRUE(Load("[SETTING]\nMOBILE = 2 \n").inputs.mobile);
  EXPECT_FALSE(Load("[SETTING]\nMOBILE=yes\n").inputs.mobile);
}

TEST_F(SettingsFileTest, ValuesAreReadWithoutSurroundingWhiteSpace) {
  const Settings settings = Load("[SETTING]\nBASE_URL =  https://example.jp/  \nLOCAL_FOLDER=\t/site\n");
  EXPECT_EQ(settings.inputs.baseUrl, "https://example.jp/");
  EXPECT_EQ(settings.localFolder, "/site");
}

TEST_F(SettingsFileTest, SavingKeepsWhatElseTheUserWrote) {
  WriteFile(path, "; my notes\n[SETTING]\nBASE_URL=old\nMY_KEY=mine\n[OTHER]\nA=1\n");
  Settings settings;
  settings.inputs.baseUrl = "new";
  ASSERT_TRUE(SettingsFile(path).Save(settings));
  const std::string saved = ReadFile(path);
  EXPECT_NE(saved.find("BASE_URL=new\n"), std::string::npos);
  EXPECT_EQ(saved.find("old"), std::string::npos);
  EXPECT_NE(saved.find("MY_KEY=mine"), std::string::npos);
  EXPECT_NE(saved.find("[OTHER]"), std::string::npos);
  EXPECT_NE(saved.find("; my notes"), std::string::npos);
}

// Every byte string reads back as it was, and no value can reach beyond
// its own line: not with a line break, a section header or a key.
TEST_F(SettingsFileTest, EveryTextReadsBackAndNoValueAddsAKeyOrASection) {
  const std::vector<std::string> texts = {
      "s\n[X]", "site\nKAKUCHO=exe,", "/srv/site ", " /srv/site", "\"quoted\"", "\"", "a\\b\\",
      "tab\there", "\t", std::string("nul\0byte", 8), "cr\rlf\n", "\x7f\x01", "\\x41", "plain \"inner\" quotes"};
  for (const std::string& text : texts) {
    Settings settings;
    settings.localFolder = text;
    settings.inputs.baseUrl = text;
    settings.inputs.extensions = {text};
    ASSERT_TRUE(SettingsFile(path).Save(settings));
    Settings loaded;
    ASSERT_TRUE(SettingsFile(path).Load(&loaded));
    EXPECT_EQ(loaded.localFolder, text);
    EXPECT_EQ(loaded.inputs.baseUrl, text);
    if (text.find(',') == std::string::npos) {
      EXPECT_EQ(loaded.inputs.extensions, settings.inputs.extensions);
    }
    const std::string saved = ReadFile(path);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 18) << saved;  // two sections of seven keys
    EXPECT_EQ(saved.find("\n[X]"), std::string::npos);
  }
  // Plain texts stay plain, as the file has always held them.
  EXPECT_EQ(SettingsFile::Encoded("https://example.jp/a b"), "https://example.jp/a b");
  EXPECT_EQ(SettingsFile::Encoded("/srv/site "), "\"/srv/site \"");
  EXPECT_EQ(SettingsFile::Encoded("s\n[X]"), "\"s\\n[X]\"");
}

TEST_F(SettingsFileTest, ASettingsFileThatIsALinkIsSavedThroughIt) {
  WriteFile(folder / "real/Setting.ini", "[SETTING]\nBASE_URL=old\n");
  ASSERT_EQ(symlink("real/Setting.ini", path.c_str()), 0);
  Settings settings;
  settings.inputs.baseUrl = "https://new.example/";
  ASSERT_TRUE(SettingsFile(path).Save(settings));
  struct stat status;
  ASSERT_EQ(lstat(path.c_str(), &status), 0);
  EXPECT_TRUE(S_ISLNK(status.st_mode));
  EXPECT_NE(ReadFile(folder / "real/Setting.ini").find("BASE_URL=https://new.example/"), std::string::npos);
}

// A link to /dev/null makes the program forget its settings; a save must
// leave the device a device. Nothing but a regular file is replaced, and
// what refuses is said.
TEST_F(SettingsFileTest, ASaveNeverReplacesAnythingButARegularFile) {
  ASSERT_EQ(symlink("/dev/null", path.c_str()), 0);
  SettingsFile linked(path);
  EXPECT_FALSE(linked.Save(Settings{}));
  EXPECT_EQ(linked.error(), path + ": leads to /dev/null: not a regular file; left as it is");
  struct stat status;
  ASSERT_EQ(stat("/dev/null", &status), 0);
  EXPECT_TRUE(S_ISCHR(status.st_mode));
  ASSERT_EQ(lstat(path.c_str(), &status), 0);
  EXPECT_TRUE(S_ISLNK(status.st_mode));

  const std::string fifo = folder / "fifo.ini";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  FaultyFileLayer counting(FaultyFileLayer::Step::kInspect, 0, 0);
  SettingsFile direct(fifo, counting);
  EXPECT_FALSE(direct.Save(Settings{}));
  EXPECT_EQ(direct.error(), fifo + ": not a regular file; left as it is");
  EXPECT_EQ(counting.CallsOf(FaultyFileLayer::Step::kCreateTemp), 0);
  EXPECT_EQ(counting.CallsOf(FaultyFileLayer::Step::kRename), 0);
  ASSERT_EQ(lstat(fifo.c_str(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"Setting.ini", "fifo.ini"}));
}

TEST_F(SettingsFileTest, SavesIntoAConfigFolderThatDoesNotExistYet) {
  const std::string nested = folder / "config/nubika-sitemap/Setting.ini";
  ASSERT_TRUE(SettingsFile(nested).Save(Settings{}));
  EXPECT_NE(ReadFile(nested).find("[SETTING]"), std::string::npos);
}

}  // namespace
