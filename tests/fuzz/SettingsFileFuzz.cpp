// The settings reader on any file, and the round trip of any value: every
// byte string reads back unchanged after a save, whatever else the file
// held before, and no value adds a key or a section.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <fstream>

#include "FuzzCheck.h"
#include "settings/SettingsFile.h"

namespace {

std::string Describe(const Settings& s) {
  const GenerationInputs& in = s.inputs;
  std::string text = "folder=" + Printable(s.localFolder) + " url=" + Printable(in.baseUrl) + " flags=" +
                     std::to_string(in.priority) + std::to_string(in.changeFreq) + std::to_string(in.lastMod) +
                     std::to_string(in.mobile) + " ext=";
  for (const auto& e : in.extensions) text += "[" + Printable(e) + "]";
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string path = FuzzFolder() + "/Setting.ini";
  const std::string before = in.ConsumeRandomLengthString(4096);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << before;

  SettingsFile file(path);
  Settings loaded;
  FUZZ_CHECK(file.Load(&loaded), "a readable file must load");

  Settings wanted;
  wanted.localFolder = in.ConsumeRandomLengthString(300);
  wanted.inputs.baseUrl = in.ConsumeRandomLengthString(300);
  wanted.inputs.priority = in.ConsumeBool();
  wanted.inputs.changeFreq = in.ConsumeBool();
  wanted.inputs.lastMod = in.ConsumeBool();
  wanted.inputs.mobile = in.ConsumeBool();
  for (int count = in.ConsumeIntegralInRange(0, 8); count > 0; --count) {
    std::string extension = in.ConsumeRandomLengthString(16);
    std::erase(extension, ',');  // the list's separator
    if (!extension.empty() &&
        std::find(wanted.inputs.extensions.begin(), wanted.inputs.extensions.end(), extension) == wanted.inputs.extensions.end())
      wanted.inputs.extensions.push_back(extension);
  }

  if (in.ConsumeBool()) {
    WindowPlace place;
    place.left = in.ConsumeIntegralInRange(-100000, 100000);
    place.top = in.ConsumeIntegralInRange(-100000, 100000);
    place.width = in.ConsumeIntegralInRange(1, 100000);
    place.height = in.ConsumeIntegralInRange(1, 100000);
    place.maximized = in.ConsumeBool();
    wanted.window = place;
  }

  FUZZ_CHECK(file.Save(wanted), file.error());
  std::ifstream saved(path, std::ios::binary);
  int sections = 0;
  for (std::string line; std::getline(saved, line);) sections += !line.empty() && line[0] == '[';
  int sectionsBefore = 0;
  for (std::size_t at = 0; (at = before.find('[', at)) != std::string::npos; ++at) ++sectionsBefore;
  FUZZ_CHECK(sections <= sectionsBefore + 3, "a value added a section");  // at most SETTING, OPTIONS, WINDOW
  Settings back;
  FUZZ_CHECK(file.Load(&back), "the saved file must load");
  // Without a place of its own the save left the file's as it was.
  if (!wanted.window) wanted.window = loaded.window;
  FUZZ_CHECK(back == wanted, "wanted " + Describe(wanted) + "\n  read " + Describe(back) +
                                 "\n  file before: " + Printable(before));
  return 0;
}
