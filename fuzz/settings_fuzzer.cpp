// The settings reader over arbitrary text: applied in memory and read back from a file, the two
// must agree, and every setting must come out usable (keys of one character, a launch command
// that ends inside its buffer, limits that can size a grid).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "console/console.h"
#include "fuzz_support.h"
#include "settings/settings.h"

namespace {

using namespace ostrel;

KeyNameTable g_names;
std::FILE* g_out = nullptr;

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "settings fuzzer: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterScratchDirectory();
  MakeKeys(g_names);
  g_out = fuzz::NullOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  Settings applied;
  SetDefaultValues(applied.keys);
  ApplySettings(text, g_names, applied);
  for (const auto& key : applied.keys) Check(key[0] != '\0' && key[1] == '\0', "key not one char");
  Check(std::memchr(applied.launch_command.data(), 0, applied.launch_command.size()) != nullptr,
        "launch command not terminated");
  Check(applied.limits.lsize >= 2 && applied.limits.lines >= 1, "limits out of range");
  Check(applied.anchor_pos >= 0, "negative anchor");
  Check(applied.page_length >= 1, "page length below 1");

  fuzz::WriteFile(kSettingsFileName, text);
  Settings read;
  SetDefaultValues(read.keys);
  Console con(nullptr, g_out);
  const int result = ReadRC(g_names, read, con);
  Check(result == 1, "ReadRC did not read the file");
  Check(read == applied, "ReadRC and ApplySettings disagree");
  return 0;
}
