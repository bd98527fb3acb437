#pragma once
#include <string>
#include <vector>

// What the user chose for one sitemap, as the writer reads it. The window
// hands the writer a snapshot taken when writing starts; the command line
// builds one from its options and the settings file.
struct GenerationInputs {
  std::string baseUrl;                  // as typed; the writer trims it
  bool priority = false;                // <priority> per URL
  bool changeFreq = false;              // <changefreq> per URL
  bool lastMod = false;                 // <lastmod> with the day of the run
  bool mobile = false;                  // the mobile marker and namespace
  std::vector<std::string> extensions;  // without their dot, in list order

  bool operator==(const GenerationInputs&) const = default;
};
