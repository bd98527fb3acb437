#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>

// A property that failed: say which and stop, so libFuzzer keeps the input.
#define FUZZ_CHECK(condition, detail)                                                  \
  do {                                                                                 \
    if (!(condition)) {                                                                \
      std::fprintf(stderr, "%s:%d: %s does not hold: %s\n", __FILE__, __LINE__,        \
                   #condition, std::string(detail).c_str());                           \
      std::abort();                                                                    \
    }                                                                                  \
  } while (false)

// A scratch folder for the whole fuzzing process, in memory when there is
// some: the targets sync every file they write. Removed when the process
// exits normally; a crashing input leaves it for inspection.
inline const std::string& FuzzFolder() {
  static const std::string* const folder = new std::string([] {
    std::string pattern = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    if (FILE* probe = std::fopen("/dev/shm/.nubika-probe", "w")) {
      std::fclose(probe);
      std::remove("/dev/shm/.nubika-probe");
      pattern = "/dev/shm";
    }
    pattern += "/nubika-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    std::atexit([] { (void)!std::system(("rm -rf '" + FuzzFolder() + "'").c_str()); });
    return pattern;
  }());
  return *folder;
}

// Shows bytes as C escapes, for messages about binary names.
inline std::string Printable(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    }
  }
  return out;
}
