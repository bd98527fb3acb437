#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "settings/SettingsFile.h"

namespace {

using Placement = SettingsFile::Placement;

// Sets or unsets an environment variable for one test.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedVariable() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::string ExecutableFolder() {
  char buffer[4096];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  const std::string path(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
  return path.substr(0, path.rfind('/'));
}

// The tests run from the build tree, whose folder is writable: exactly the
// case in which an installed copy must still not write beside itself.
TEST(SettingsLocationTest, AnInstalledCopyKeepsItsSettingsInTheConfigFolderOnly) {
  ScopedVariable home("HOME", "/home/someone");
  {
    ScopedVariable xdg("XDG_CONFIG_HOME", "/srv/config");
    EXPECT_EQ(SettingsFile::DefaultPath(Placement::kConfigFolder), "/srv/config/nubika-sitemap/Setting.ini");
  }
  {
    ScopedVariable xdg("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(SettingsFile::DefaultPath(Placement::kConfigFolder), "/home/someone/.config/nubika-sitemap/Setting.ini");
  }
  // A relative XDG_CONFIG_HOME is invalid and ignored, as is an empty one.
  for (const char* invalid : {"relative/config", ""}) {
    ScopedVariable xdg("XDG_CONFIG_HOME", invalid);
    EXPECT_EQ(SettingsFile::DefaultPath(Placement::kConfigFolder), "/home/someone/.config/nubika-sitemap/Setting.ini")
        << "XDG_CONFIG_HOME=" << invalid;
  }
  {
    // Without HOME (a service, a cron job) the home folder is the user's
    // entry in the password database, not the root folder.
    ScopedVariable xdg("XDG_CONFIG_HOME", nullptr);
    ScopedVariable noHome("HOME", nullptr);
    const passwd* user = getpwuid(getuid());
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(SettingsFile::DefaultPath(Placement::kConfigFolder),
              std::string(user->pw_dir) + "/.config/nubika-sitemap/Setting.ini");
  }
}

TEST(SettingsLocationTest, ACopyInAWritableFolderKeepsItsSettingsBesideItself) {
  ScopedVariable xdg("XDG_CONFIG_HOME", "/srv/config");
  EXPECT_EQ(SettingsFile::DefaultPath(Placement::kBesideProgram), ExecutableFolder() + "/Setting.ini");
}

}  // namespace
