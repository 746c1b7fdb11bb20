#include "fuzz_support.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace ostrel::fuzz {

std::FILE* NullOutput() {
  cookie_io_functions_t io{};
  io.write = [](void*, const char*, std::size_t size) -> ssize_t {
    return static_cast<ssize_t>(size);
  };
  std::FILE* f = fopencookie(nullptr, "w", io);
  if (f == nullptr) std::abort();
  return f;
}

std::string EnterScratchDirectory() {
  const char* tmp = std::getenv("TMPDIR");
  std::string templ =
      std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/ostrel-fuzz-XXXXXX";
  if (mkdtemp(templ.data()) == nullptr || chdir(templ.c_str()) != 0) {
    std::perror("scratch directory");
    std::abort();
  }
  return templ;
}

void EmptyWorkingDirectory() {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(".", ec)) {
    std::filesystem::remove_all(entry.path(), ec);
  }
}

void WriteFile(const char* name, const std::string& content) {
  // Removed first: truncating a file that holds data makes some file systems write it out at
  // once, which slows every run down to the disk's pace.
  std::remove(name);
  std::ofstream(name, std::ios::binary | std::ios::trunc) << content;
}

void AbortOnBrokenInvariant(const EditorState& s, const char* when, long cycle) {
  std::string why;
  if (CheckInvariants(s, &why)) return;
  std::fprintf(stderr, "broken invariant %s %ld: %s\n", when, cycle, why.c_str());
  std::abort();
}

}  // namespace ostrel::fuzz
