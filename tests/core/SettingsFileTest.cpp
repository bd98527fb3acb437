#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>

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
  settings.inputs.lastModFromContent = settings.inputs.lastModFromGit = true;
  ASSERT_TRUE(SettingsFile(path).Save(settings));
  EXPECT_NE(ReadFile(path).find("PRIORITY_AUTO=1\n"), std::string::npos);
  EXPECT_NE(ReadFile(path).find("LASTMOD_FROM=git\n"), std::string::npos);
  EXPECT_NE(ReadFile(path).find("KAKUCHO=htm,html,\n"), std::string::npos);
  Settings loaded;
  ASSERT_TRUE(SettingsFile(path).Load(&loaded));
  EXPECT_EQ(loaded, settings);
}

// The window's place follows the seven keys and the options, which stay
// as they were; it reads back only whole. Without a place a save leaves
// the section as it is.
TEST_F(SettingsFileTest, TheWindowsPlaceRoundTripsInASectionOfItsOwn) {
  Settings settings;
  settings.inputs.extensions = {"html"};
  settings.window = WindowPlace{-1200, 30, 700, 420, true};
  ASSERT_TRUE(SettingsFile(path).Save(settings));
  const std::string saved = ReadFile(path);
  EXPECT_EQ(saved.substr(0, saved.find("[OPTIONS]")),
            "[SETTING]\nLOCAL_FOLDER=\nBASE_URL=\nPRIORITY_AUTO=0\nUPDATE_FREQ_AUTO=0\n"
            "LAST_UPDATE_AUTO=0\nMOBILE=0\nKAKUCHO=html,\n\n\n");
  EXPECT_NE(saved.find("GZIP=0\n\n\n[WINDOW]\nLEFT=-1200\nTOP=30\nWIDTH=700\nHEIGHT=420\nMAXIMIZED=1\n"),
            std::string::npos) << saved;
  Settings loaded;
  ASSERT_TRUE(SettingsFile(path).Load(&loaded));
  EXPECT_EQ(loaded, settings);

  settings.window.reset();
  ASSERT_TRUE(SettingsFile(path).Save(settings));
  EXPECT_EQ(ReadFile(path), saved);

  const std::string whole = "[WINDOW]\nLEFT=10\nTOP=20\nWIDTH=600\nHEIGHT=300\n";
  EXPECT_EQ(Load(whole).window, (WindowPlace{10, 20, 600, 300, false}));
  EXPECT_EQ(Load("[window]\nleft = 0\nTOP=0\nWIDTH=1\nHEIGHT=1\nMAXIMIZED=2\n").window,
            (WindowPlace{0, 0, 1, 1, true}));
  for (const char* bad : {"[WINDOW]\nLEFT=10\nTOP=20\nWIDTH=600\n", "[WINDOW]\nLEFT=10\nTOP=20\nWIDTH=0\nHEIGHT=300\n",
                          "[WINDOW]\nLEFT=x\nTOP=20\nWIDTH=600\nHEIGHT=300\n",
                          "[WINDOW]\nLEFT=10\nTOP=20\nWIDTH=-600\nHEIGHT=300\n",
                          "[WINDOW]\nLEFT=10\nTOP=99999999999\nWIDTH=600\nHEIGHT=300\n",
                          "[WINDOW]\nLEFT=10\nTOP=20\nWIDTH=600\nHEIGHT=3000000\n", "[WINDOW]\n", ""})
    EXPECT_EQ(Load(bad).window, std::nullopt) << bad;
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

// Each kind of file that is there but cannot be read: the load says why
// and returns at once (a FIFO without a writer too), and no save replaces
// it. A read error's file keeps every byte.
TEST_F(SettingsFileTest, AFileThatCannotBeReadIsReportedAndNeverReplaced) {
  const std::string stored = "[SETTING]\nBASE_URL=https://kept.example/\n[MINE]\nA = 1\n";
  WriteFile(path, stored);
  FaultyFileLayer failing(FaultyFileLayer::Step::kReadWhole, 1, EIO);
  SettingsFile file(path, failing);
  Settings settings;
  EXPECT_FALSE(file.Load(&settings));
  EXPECT_EQ(file.error(), path + ": " + std::strerror(EIO));
  EXPECT_EQ(settings, Settings{});
  FaultyFileLayer failingAgain(FaultyFileLayer::Step::kReadWhole, 1, ENOMEM);
  SettingsFile saving(path, failingAgain);
  EXPECT_FALSE(saving.Save(Settings{}));
  EXPECT_NE(saving.error().find(std::strerror(ENOMEM)), std::string::npos) << saving.error();
  EXPECT_EQ(ReadFile(path), stored);
  ASSERT_EQ(unlink(path.c_str()), 0);

  const std::vector<std::pair<std::string, std::function<int()>>> kinds = {
      {"a folder, not a file", [&] { return mkdir(path.c_str(), 0755); }},
      {"not a regular file", [&] { return mkfifo(path.c_str(), 0644); }},
      {"not a regular file", [&] { return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)); }},  // /dev/null
  };
  for (const auto& [reason, make] : kinds) {
    ASSERT_EQ(make(), 0) << std::strerror(errno);
    struct stat before;
    ASSERT_EQ(lstat(path.c_str(), &before), 0);
    SettingsFile other(path);
    EXPECT_FALSE(other.Load(&settings));
    EXPECT_EQ(other.error(), path + ": " + reason);
    EXPECT_FALSE(other.Save(Settings{}));
    struct stat after;
    ASSERT_EQ(lstat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);
    ASSERT_EQ(std::system(("rm -rf '" + path + "'").c_str()), 0);
  }
  EXPECT_TRUE(folder.Names().empty());  // no temporary file left either
}

// SimpleIni would stop at a NUL; the keys after it still count, and the
// user's own sections come back byte for byte, NULs, blanks and CRs too.
TEST_F(SettingsFileTest, ANulEndsNeitherTheFileNorTheUsersSections) {
  using namespace std::string_literals;
  const std::string mine = "[MINE]\nX=\0\n\0\n  odd line \r\n\x01m\n; note\n"s;
  const std::string before = "; top\n[SETTING]\nBASE_URL=a\0b\nMOBILE=1\n"s + mine + "[options]\nGZIP=1\n[LAST]\nB=2";
  WriteFile(path, before);
  const Settings loaded = Load(before);
  EXPECT_EQ(loaded.inputs.baseUrl, std::string("a\0b", 3));
  EXPECT_TRUE(loaded.inputs.mobile);
  EXPECT_TRUE(loaded.inputs.gzip);
  ASSERT_TRUE(SettingsFile(path).Save(loaded));
  const std::string saved = ReadFile(path);
  EXPECT_EQ(saved.rfind("; top\n[SETTING]\n", 0), 0u) << saved;
  EXPECT_NE(saved.find(mine), std::string::npos) << saved;
  EXPECT_NE(saved.find("\n[LAST]\nB=2"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("GZIP="), saved.rfind("GZIP=")) << "one OPTIONS section, ours";
  Settings again;
  ASSERT_TRUE(SettingsFile(path).Load(&again));
  EXPECT_EQ(again, loaded);
}

// Only values a key cannot take are warned about: any whole number is a
// boolean, and an empty value stands for the default.
TEST_F(SettingsFileTest, AValueThatIsNoneOfItsKeysValuesIsAWarning) {
  WriteFile(path,
            "[SETTING]\nMOBILE=yes\nPRIORITY_AUTO=2\nLAST_UPDATE_AUTO=\nKAKUCHO= htm ,html\n"
            "[OPTIONS]\nGZIP=true\nLASTMOD_FROM=File\nFOLLOW_LINKS=0x\nSKIP_NOINDEX=$1F\n");
  SettingsFile file(path);
  Settings settings;
  ASSERT_TRUE(file.Load(&settings));
  std::vector<std::string> warned;
  for (const auto& warning : file.warnings()) warned.push_back(warning.key + "=" + warning.value + ">" + warning.readAs);
  EXPECT_EQ(warned, (std::vector<std::string>{"MOBILE=yes>0", "LASTMOD_FROM=File>run", "FOLLOW_LINKS=0x>0",
                                              "GZIP=true>0"}));
  EXPECT_EQ(file.warnings()[1].values, (std::vector<std::string>{"run", "file", "content", "git"}));
  EXPECT_FALSE(settings.inputs.mobile || settings.inputs.gzip || settings.inputs.lastModFromFile);
  EXPECT_TRUE(settings.inputs.priority && settings.inputs.skipNoindex);
  EXPECT_EQ(settings.inputs.extensions, (std::vector<std::string>{"htm ", "html"}));  // never trimmed
  ASSERT_TRUE(file.Save(settings));
  ASSERT_TRUE(file.Load(&settings));
  EXPECT_TRUE(file.warnings().empty());
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
  EXPECT_EQ(linked.error(), path + ": not a regular file; the file is left as it is");
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
  EXPECT_EQ(direct.error(), fifo + ": not a regular file; the file is left as it is");
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

namespace {

TEST(SettingsSearchOptionsTest, TheSearchEngineOptionsRoundTripAndABadAgentIsReadAsAny) {
  TempFolder folder;
  const std::string path = folder / "Setting.ini";
  Settings settings;
  settings.inputs.canonical = settings.inputs.robotsTxt = settings.inputs.robotsSitemapLine = true;
  settings.inputs.hreflang = true;
  settings.inputs.robotsAgent = "Googlebot";
  ASSERT_TRUE(SettingsFile(path).Save(settings));
  Settings loaded;
  ASSERT_TRUE(SettingsFile(path).Load(&loaded));
  EXPECT_EQ(loaded, settings);
  // Off again, the keys go: a file saved without them reads as it always did.
  settings.inputs = GenerationInputs{};
  ASSERT_TRUE(SettingsFile(path).Save(settings));
  ASSERT_TRUE(SettingsFile(path).Load(&loaded));
  EXPECT_EQ(loaded, settings);
  for (const char* key : {"CANONICAL", "ROBOTS_TXT", "ROBOTS_AGENT", "ROBOTS_SITEMAP_LINE", "HREFLANG"})
    EXPECT_EQ(ReadFile(path).find(key), std::string::npos) << key;
  WriteFile(path, "[OPTIONS]\nROBOTS_AGENT=Googlebot/2.1\n");
  SettingsFile file(path);
  ASSERT_TRUE(file.Load(&loaded));
  EXPECT_EQ(loaded.inputs.robotsAgent, "*");
  ASSERT_EQ(file.warnings().size(), 1u);
  EXPECT_EQ(file.warnings()[0].key, "ROBOTS_AGENT");
}

}  // namespace
