// Test helper for the settings file under SIGKILL:
//   settings_saver save a|b PATH   saves one of two known settings once
//   settings_saver loop PATH       saves them in turn until killed
//   settings_saver check PATH      prints "a" or "b" when PATH holds one of
//                                  them, exits 1 otherwise
// Both settings are large, so that a kill often lands while the file is
// being written.

#include <cstdio>
#include <cstring>
#include <string>

#include "settings/SettingsFile.h"

namespace {

Settings Known(char which) {
  Settings settings;
  settings.localFolder = which == 'a' ? "/srv/www/a" : "/srv/www/とても長い名前のフォルダ/b";
  settings.inputs.baseUrl = which == 'a' ? "https://a.example.jp/" : "https://b.example.jp/site/";
  settings.inputs.priority = which == 'a';
  settings.inputs.changeFreq = which != 'a';
  settings.inputs.lastMod = true;
  settings.inputs.mobile = which != 'a';
  settings.inputs.extensions = {"html", "htm"};
  for (int n = 0; n < 4000; ++n) settings.inputs.extensions.push_back(which + std::to_string(n));
  return settings;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "save") == 0) return SettingsFile(argv[3]).Save(Known(argv[2][0])) ? 0 : 1;
  if (argc == 3 && std::strcmp(argv[1], "loop") == 0) {
    SettingsFile file(argv[2]);
    for (unsigned long n = 0;; ++n)
      if (!file.Save(Known(n % 2 ? 'a' : 'b'))) return 1;
  }
  if (argc == 3 && std::strcmp(argv[1], "check") == 0) {
    Settings loaded;
    if (!SettingsFile(argv[2]).Load(&loaded)) return 1;
    for (char which : {'a', 'b'})
      if (loaded == Known(which)) return std::printf("%c\n", which) < 0;
    return 1;
  }
  std::fprintf(stderr, "usage: settings_saver save a|b PATH | loop PATH | check PATH\n");
  return 2;
}
