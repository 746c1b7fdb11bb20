#include "files/save.h"

#include <sys/stat.h>

#include <cstring>

#include "buffer/memory.h"
#include "console/console.h"
#include "files/write_file.h"

namespace ostrel {
namespace {

bool IsAnswer(const char* answer, const char* word) {
  return std::strcmp(answer, word) == 0;
}

void GiveUp(Console& con) {
  con.Line("Not saved: no file name was given");
}

}  // namespace

int32_t DocLength(const TextBuffer& buffer) {
  // The last line that is not empty is the first one found from the end of the text. A slot
  // never written is empty without a look, so a short document in a large grid reads only its
  // own pages.
  for (int32_t i = buffer.TextEnd() - 1; i > 0; --i) {
    if (buffer.HoldsText(i)) return i;
  }
  return 0;
}

std::size_t AssembledBound(const TextBuffer& buffer, int32_t last) {
  return (static_cast<std::size_t>(last) + 1) * static_cast<std::size_t>(buffer.lsize());
}

std::size_t AssembleInto(const TextBuffer& buffer, int32_t last, char* out) {
  const auto lsize = static_cast<std::size_t>(buffer.lsize());
  char* end = out;
  for (int32_t i = 0; i <= last; ++i) {
    const char* slot = buffer.Slot(i);
    const std::size_t length = strnlen(slot, lsize);
    std::memcpy(end, slot, length);
    end[length] = '\n';
    end += length + 1;
  }
  return static_cast<std::size_t>(end - out);
}

std::string AssembleDocument(const TextBuffer& buffer) {
  const int32_t last = DocLength(buffer);
  std::string out(AssembledBound(buffer, last), '\0');
  out.resize(AssembleInto(buffer, last, out.data()));
  return out;
}

bool NameExists(const char* name) {
  struct stat info {};
  return lstat(name, &info) == 0;
}

bool Save(char* file_name, const TextBuffer& buffer, Console& con) {
  // Assembled in a block of its own pages: a document of megabytes then costs a few page faults.
  const int32_t last = DocLength(buffer);
  PageBlock block;
  if (!block.Allocate(AssembledBound(buffer, last))) {
    con.Line("Not saved: not enough memory");
    return false;
  }
  const std::string_view output(block.data(), AssembleInto(buffer, last, block.data()));
  while (file_name[0] == '\0') {
    con.Line("Enter a filename to save to");
    if (!con.ReadAnswer(file_name, kNameSize)) {
      GiveUp(con);
      return false;
    }
  }
  std::string error;
  if (!WriteDocument(file_name, output, error)) {
    con.Print("Cannot save to %s: %s\n", file_name, error.c_str());
    return false;
  }
  con.Print("Saved to %s\n", file_name);
  return true;
}

bool DefineSaveName(char* file_name, Console& con) {
  char original[kNameSize];
  CopyName(original, file_name);
  char answer[kNameSize];
  con.Line("Enter a filename to save to, or 'x' to return");
  if (!con.ReadAnswer(answer, kNameSize)) {
    GiveUp(con);
    return false;
  }
  if (IsAnswer(answer, "x")) return false;
  CopyName(file_name, answer);
  if (!NameExists(file_name)) return true;

  con.Line("The file already exists.");
  con.Line("Enter a new filename or 'o' to overwrite");
  if (!con.ReadAnswer(answer, kNameSize)) {
    CopyName(file_name, original);
    GiveUp(con);
    return false;
  }
  if (IsAnswer(answer, "o")) return true;
  CopyName(file_name, answer);
  // From here on 'o' and 'x' are names like any other: only a free name leads out.
  while (NameExists(file_name)) {
    con.Line("File exists. Try again");
    if (!con.ReadAnswer(file_name, kNameSize)) {
      CopyName(file_name, original);
      GiveUp(con);
      return false;
    }
  }
  return true;
}

}  // namespace ostrel
