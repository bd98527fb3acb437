// The settings reader on any file, and the round trip of any value a user
// can keep in it: without white space around it, line breaks or a leading
// quote, a value reads back unchanged after a save, whatever else the file
// held before.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <fstream>

#include "FuzzCheck.h"
#include "app/SettingsFile.h"

namespace {

// The nearest value that the file format promises to keep.
std::string Storable(std::string text) {
  std::erase_if(text, [](char c) { return c == '\0' || c == '\r' || c == '\n'; });
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; };
  while (!text.empty() && space(text.back())) text.pop_back();
  std::size_t begin = 0;
  while (begin < text.size() && (space(text[begin]) || text[begin] == '"')) ++begin;
  return text.substr(begin);
}

std::string Describe(const Settings& s) {
  std::string text = "folder=" + Printable(s.localFolder) + " url=" + Printable(s.baseUrl) + " flags=" +
                     std::to_string(s.priority) + std::to_string(s.changeFreq) + std::to_string(s.lastMod) +
                     std::to_string(s.mobile) + " ext=";
  for (const auto& e : s.extensions) text += "[" + Printable(e) + "]";
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
  wanted.localFolder = Storable(in.ConsumeRandomLengthString(300));
  wanted.baseUrl = Storable(in.ConsumeRandomLengthString(300));
  wanted.priority = in.ConsumeBool();
  wanted.changeFreq = in.ConsumeBool();
  wanted.lastMod = in.ConsumeBool();
  wanted.mobile = in.ConsumeBool();
  for (int count = in.ConsumeIntegralInRange(0, 8); count > 0; --count) {
    std::string extension = Storable(in.ConsumeRandomLengthString(16));
    std::erase(extension, ',');
    extension = Storable(extension);
    if (!extension.empty() &&
        std::find(wanted.extensions.begin(), wanted.extensions.end(), extension) == wanted.extensions.end())
      wanted.extensions.push_back(extension);
  }

  FUZZ_CHECK(file.Save(wanted), file.error());
  Settings back;
  FUZZ_CHECK(file.Load(&back), "the saved file must load");
  FUZZ_CHECK(back == wanted, "wanted " + Describe(wanted) + "\n  read " + Describe(back) +
                                 "\n  file before: " + Printable(before));
  return 0;
}
