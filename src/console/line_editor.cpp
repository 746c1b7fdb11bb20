#include "console/line_editor.h"

#ifdef OSTREL_WITH_LIBEDIT

#include <dirent.h>
#include <dlfcn.h>
#include <histedit.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "signals/signals.h"

namespace ostrel {
namespace {

// The line-editing library's functions. The library is loaded only when a terminal asks for
// line editing, so that a run through pipes or files never pays for loading it and the
// libraries it needs. Loaded once and never unloaded: the table only ever points into it.
struct EditLibrary {
  decltype(&::el_init) el_init = nullptr;
  decltype(&::el_set) el_set = nullptr;
  decltype(&::el_wset) el_wset = nullptr;
  decltype(&::el_get) el_get = nullptr;
  decltype(&::el_gets) el_gets = nullptr;
  decltype(&::el_line) el_line = nullptr;
  decltype(&::el_end) el_end = nullptr;
  decltype(&::el_resize) el_resize = nullptr;
  decltype(&::el_cursor) el_cursor = nullptr;
  decltype(&::el_deletestr) el_deletestr = nullptr;
  decltype(&::el_insertstr) el_insertstr = nullptr;
  decltype(&::history_init) history_init = nullptr;
  decltype(&::history_end) history_end = nullptr;
  decltype(&::history) history = nullptr;
  bool loaded = false;
};

template <typename F>
F Symbol(void* handle, const char* name) {
  return reinterpret_cast<F>(dlsym(handle, name));
}

EditLibrary LoadEditLibrary() {
  EditLibrary lib;
  void* handle = dlopen(OSTREL_LIBEDIT_SONAME, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return lib;
  lib.el_init = Symbol<decltype(&::el_init)>(handle, "el_init");
  lib.el_set = Symbol<decltype(&::el_set)>(handle, "el_set");
  lib.el_wset = Symbol<decltype(&::el_wset)>(handle, "el_wset");
  lib.el_get = Symbol<decltype(&::el_get)>(handle, "el_get");
  lib.el_gets = Symbol<decltype(&::el_gets)>(handle, "el_gets");
  lib.el_line = Symbol<decltype(&::el_line)>(handle, "el_line");
  lib.el_end = Symbol<decltype(&::el_end)>(handle, "el_end");
  lib.el_resize = Symbol<decltype(&::el_resize)>(handle, "el_resize");
  lib.el_cursor = Symbol<decltype(&::el_cursor)>(handle, "el_cursor");
  lib.el_deletestr = Symbol<decltype(&::el_deletestr)>(handle, "el_deletestr");
  lib.el_insertstr = Symbol<decltype(&::el_insertstr)>(handle, "el_insertstr");
  lib.history_init = Symbol<decltype(&::history_init)>(handle, "history_init");
  lib.history_end = Symbol<decltype(&::history_end)>(handle, "history_end");
  lib.history = Symbol<decltype(&::history)>(handle, "history");
  lib.loaded = lib.el_init != nullptr && lib.el_set != nullptr && lib.el_wset != nullptr &&
               lib.el_get != nullptr && lib.el_gets != nullptr && lib.el_line != nullptr &&
               lib.el_end != nullptr && lib.el_resize != nullptr && lib.el_cursor != nullptr &&
               lib.el_deletestr != nullptr && lib.el_insertstr != nullptr &&
               lib.history_init != nullptr && lib.history_end != nullptr && lib.history != nullptr;
  return lib;
}

// The table, loaded by the first call.
const EditLibrary& Edit() {
  static const EditLibrary lib = LoadEditLibrary();
  return lib;
}

// Keys beyond the library's emacs defaults: the readline meanings of Ctrl-U and Ctrl-W, the
// forms Home, End and Delete take on common terminals, and Tab.
constexpr const char* kBindings[][2] = {
    {"^U", "vi-kill-line-prev"},        {"^W", "ed-delete-prev-word"},
    {"\033[1~", "ed-move-to-beg"},      {"\033[7~", "ed-move-to-beg"},
    {"\033[H", "ed-move-to-beg"},       {"\033OH", "ed-move-to-beg"},
    {"\033[4~", "ed-move-to-end"},      {"\033[8~", "ed-move-to-end"},
    {"\033[F", "ed-move-to-end"},       {"\033OF", "ed-move-to-end"},
    {"\033[3~", "ed-delete-next-char"}, {"^I", "ostrel-tab"},
    {"^D", "ostrel-end-or-delete"},     {"^L", "ostrel-redraw"},
};

// History entries kept per kind.
constexpr int kHistorySize = 500;

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// The entries of `dir` whose names start with `base`, directories with a '/' appended, in
// byte order. Hidden entries only when `base` starts with a dot.
std::vector<std::string> Candidates(const std::string& dir, const std::string& base) {
  std::vector<std::string> names;
  const std::unique_ptr<DIR, DirCloser> d(opendir(dir.empty() ? "." : dir.c_str()));
  if (!d) return names;
  while (const dirent* entry = readdir(d.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (name[0] == '.' && base.empty()) continue;
    if (name.compare(0, base.size(), base) != 0) continue;
    struct stat st {};
    const bool is_dir = stat((dir + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    names.push_back(is_dir ? name + "/" : name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Whether the encoding of LC_CTYPE knows ASCII only: it cannot read the first character of "é"
// in UTF-8, which UTF-8, every 8-bit encoding and the common multibyte ones can.
bool KnowsAsciiOnly() {
  std::mbstate_t state{};
  wchar_t character = 0;
  return std::mbrtowc(&character, "\xc3\xa9", 2, &state) == static_cast<std::size_t>(-1);
}

}  // namespace

// Every call into the library below runs within Open, after the library was found loaded, or
// on an editor that Open made, which it makes only then: no function pointer of the table is
// null there, which the analyzer cannot see through the table's one-time load.
// NOLINTBEGIN(clang-analyzer-core.CallAndMessage)
std::unique_ptr<LineEditor> LineEditor::Open(std::FILE* in, std::FILE* out) {
  if (isatty(fileno(in)) == 0 || isatty(fileno(out)) == 0) return nullptr;
  const char* term = std::getenv("TERM");
  if (term == nullptr || term[0] == '\0' || std::strcmp(term, "dumb") == 0) return nullptr;
  // Typed characters beyond ASCII are read in the user's encoding; where none is set (the C
  // locale may know ASCII only, and would drop every other byte), as UTF-8.
  (void)std::setlocale(LC_CTYPE, "");
  // Not every system has C.UTF-8; where neither it nor en_US.UTF-8 exists the C locale stays,
  // and the editor's own character rules do not depend on it.
  if (KnowsAsciiOnly() && std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) {
    (void)std::setlocale(LC_CTYPE, "en_US.UTF-8");
  }
  // Without the library a terminal is read as a pipe is.
  if (!Edit().loaded) return nullptr;
  auto editor = std::make_unique<LineEditor>();
  // The editor writes nothing to standard error: the library's warnings go nowhere.
  editor->errors_ = std::fopen("/dev/null", "we");
  editor->el_ =
      Edit().el_init("ostrel", in, out, editor->errors_ != nullptr ? editor->errors_ : out);
  if (editor->el_ == nullptr) return nullptr;
  editor->in_fd_ = fileno(in);
  EditLine* el = editor->el_;
  Edit().el_set(el, EL_CLIENTDATA, editor.get());
  Edit().el_set(el, EL_EDITOR, "emacs");
  // The library's own handlers would pass every signal on to the whole process group (the
  // shell script that started the editor included): the editor's handlers note them instead,
  // and the key wait acts on them (TerminalSignals).
  Edit().el_set(el, EL_SIGNAL, 0);
  Edit().el_set(el, EL_PROMPT, &LineEditor::Prompt);
  Edit().el_set(el, EL_GETCFN, &LineEditor::ReadKey);
  // Added through the wide interface: the narrow one copies the names and never frees them.
  Edit().el_wset(el, EL_ADDFN, L"ostrel-tab", L"Complete a file name, or insert a tab",
                 &LineEditor::Tab);
  Edit().el_wset(el, EL_ADDFN, L"ostrel-end-or-delete",
                 L"End of input on an empty line, else delete", &LineEditor::EndOrDelete);
  Edit().el_wset(el, EL_ADDFN, L"ostrel-redraw", L"Clear the screen and draw the view again",
                 &LineEditor::Redraw);
  for (const auto& binding : kBindings) Edit().el_set(el, EL_BIND, binding[0], binding[1], nullptr);
  for (History** h : {&editor->commands_, &editor->answers_}) {
    *h = Edit().history_init();
    if (*h == nullptr) return nullptr;
    HistEvent event;
    Edit().history(*h, &event, H_SETSIZE, kHistorySize);
    Edit().history(*h, &event, H_SETUNIQUE, 1);
  }
  return editor;
}

LineEditor::~LineEditor() {
  if (commands_ != nullptr) Edit().history_end(commands_);
  if (answers_ != nullptr) Edit().history_end(answers_);
  if (el_ != nullptr) Edit().el_end(el_);
  if (errors_ != nullptr) (void)std::fclose(errors_);
}

EditResult LineEditor::Read(std::string_view prompt, InputKind kind, std::string& line) {
  prompt_.assign(prompt);
  kind_ = kind;
  History* const h = kind == InputKind::kCommand ? commands_ : answers_;
  Edit().el_set(el_, EL_HIST, Edit().history, h);
  // The terminal is put into the line editor's mode before the prompt is shown, so a key
  // typed as soon as the prompt appears is read by the line editor, not by the terminal's
  // line discipline; afterwards the terminal is back in its own mode. Meanwhile a stop, a
  // continuation, a resize or a quit is acted on in the key wait.
  int count = 0;
  const char* got = nullptr;
  int read_errno = 0;
  {
    const TerminalSignals terminal_signals;
    Edit().el_set(el_, EL_PREP_TERM, 1);
    errno = 0;
    got = Edit().el_gets(el_, &count);
    read_errno = errno;
    Edit().el_set(el_, EL_PREP_TERM, 0);
  }
  const LineInfo* info = Edit().el_line(el_);
  left_text_ = info->lastchar != info->buffer;
  if (got == nullptr || count <= 0) {
    if (count == 0) return EditResult::kEnd;
    return read_errno == EINTR ? EditResult::kInterrupted : EditResult::kFailed;
  }
  // A read cut short hands back the unfinished line without its newline; it is dropped, as
  // the terminal drops what was typed when Ctrl-C is pressed.
  const std::size_t length = std::strlen(got);
  if (length == 0 || got[length - 1] != '\n') {
    return read_errno == EINTR || PendingSignal() != 0 ? EditResult::kInterrupted
                                                       : EditResult::kFailed;
  }
  line.assign(got);
  const std::string entry = line.substr(0, line.find('\n'));
  if (!entry.empty()) {
    HistEvent event;
    Edit().history(h, &event, H_ENTER, entry.c_str());
  }
  return EditResult::kLine;
}

// Reads one key (a character in the user's encoding). A noted signal ends the read at once,
// also one that came while no key was awaited: the read then fails as interrupted. Terminal
// signals are acted on and the wait goes on, and so does a pause's idle work.
int LineEditor::ReadKey(EditLine* el, wchar_t* key) {
  void* data = nullptr;
  Edit().el_get(el, EL_CLIENTDATA, &data);
  auto* editor = static_cast<LineEditor*>(data);
  while (true) {
    const IdleWork* idle = editor->idle_;
    const WaitResult waited = WaitForInput(editor->in_fd_, idle != nullptr ? idle->Timeout() : -1);
    if (waited == WaitResult::kTimedOut && idle != nullptr) {
      idle->run();
      continue;
    }
    if (waited != WaitResult::kReady) {
      if (PendingSignal() == 0) editor->ActOnTerminalSignal(TakeTerminalSignal());
      // A quit is noted as a signal of the editor's own: the read ends for it.
      if (PendingSignal() == 0) continue;
      errno = EINTR;
      return -1;
    }
    char byte = 0;
    const ssize_t got = read(editor->in_fd_, &byte, 1);
    if (got == 0) return 0;
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return -1;
    }
    const std::size_t used = std::mbrtowc(key, &byte, 1, &editor->key_state_);
    if (used == static_cast<std::size_t>(-2)) continue;  // more bytes to come
    if (used == static_cast<std::size_t>(-1)) {          // not a character: dropped
      editor->key_state_ = std::mbstate_t{};
      continue;
    }
    return 1;
  }
}

// A quit is noted for the loop, which rescues the text and ends the editor. A stop stops it,
// with the terminal in its normal mode; once continued, the terminal is put back in the line
// editor's mode (the shell may have changed it meanwhile) and the prompt and line are drawn
// again. A new window size is taken on.
void LineEditor::ActOnTerminalSignal(int sig) {
  switch (sig) {
    case SIGQUIT:
      NoteSignal(SIGQUIT);
      break;
    case SIGTSTP:
      Edit().el_set(el_, EL_PREP_TERM, 0);
      StopByTerminal();
      [[fallthrough]];
    case SIGCONT:
      Edit().el_set(el_, EL_PREP_TERM, 0);
      Edit().el_set(el_, EL_PREP_TERM, 1);
      Edit().el_set(el_, EL_REFRESH);
      break;
    case SIGWINCH:
      Edit().el_resize(el_);
      break;
    default:
      break;
  }
}

// Clears the screen with the terminal's own sequence (its padding left out), draws the view
// kept by the console, then the prompt and the line from scratch below it.
unsigned char LineEditor::Redraw(EditLine* el, int /*ch*/) {
  void* data = nullptr;
  Edit().el_get(el, EL_CLIENTDATA, &data);
  auto* editor = static_cast<LineEditor*>(data);
  std::string out;
  const char* clear = nullptr;
  if (Edit().el_get(el, EL_GETTC, "cl", &clear, nullptr) == 0 && clear != nullptr) {
    for (const char* p = clear; *p != '\0'; ++p) {
      const char* end = p[0] == '$' && p[1] == '<' ? std::strchr(p, '>') : nullptr;
      if (end != nullptr) {
        p = end;
      } else {
        out += *p;
      }
    }
  }
  if (editor->screen_ != nullptr) out += *editor->screen_;
  editor->Show(out);
  Edit().el_set(el, EL_REFRESH);
  return CC_NORM;
}

char* LineEditor::Prompt(EditLine* el) {
  void* data = nullptr;
  Edit().el_get(el, EL_CLIENTDATA, &data);
  return static_cast<LineEditor*>(data)->prompt_.data();
}

// Ctrl-D on an empty line is the end of input, shown as the terminal shows it: not at all.
// Elsewhere it deletes the character under the cursor.
unsigned char LineEditor::EndOrDelete(EditLine* el, int /*ch*/) {
  const LineInfo* info = Edit().el_line(el);
  if (info->buffer == info->lastchar) return CC_EOF;
  if (info->cursor == info->lastchar) return CC_ERROR;
  Edit().el_cursor(el, 1);
  Edit().el_deletestr(el, 1);
  return CC_REFRESH;
}

unsigned char LineEditor::Tab(EditLine* el, int /*ch*/) {
  void* data = nullptr;
  Edit().el_get(el, EL_CLIENTDATA, &data);
  auto* editor = static_cast<LineEditor*>(data);
  if (editor->kind_ == InputKind::kFileName) return editor->CompleteFileName();
  return Edit().el_insertstr(el, "\t") == 0 ? CC_REFRESH : CC_ERROR;
}

// The answer is one file name, blanks included: everything before the cursor is the name
// typed so far. Completes it as far as the matching entries agree; when they agree no further,
// lists them below the line and shows the line again.
unsigned char LineEditor::CompleteFileName() {
  const LineInfo* info = Edit().el_line(el_);
  const std::string typed(info->buffer, info->cursor);
  const auto slash = typed.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : typed.substr(0, slash + 1);
  const std::string base = typed.substr(dir.size());
  const std::vector<std::string> names = Candidates(dir, base);
  if (names.empty()) return CC_REFRESH_BEEP;
  std::string common = names.front();
  for (const auto& name : names) {
    std::size_t k = 0;
    while (k < common.size() && k < name.size() && common[k] == name[k]) ++k;
    common.resize(k);
  }
  if (common.size() > base.size()) {
    return Edit().el_insertstr(el_, common.c_str() + base.size()) == 0 ? CC_REFRESH : CC_ERROR;
  }
  if (names.size() == 1) return CC_REFRESH;
  std::string listing = "\n";
  std::size_t width = 0;
  for (const auto& name : names) {
    if (width > 0 && width + 2 + name.size() > 78) {
      listing += '\n';
      width = 0;
    }
    if (width > 0) {
      listing += "  ";
      width += 2;
    }
    listing += name;
    width += name.size();
  }
  listing += '\n';
  Show(listing);
  return CC_REDISPLAY;
}

// Writes `text` through the console's output, after whatever the library has drawn so far.
void LineEditor::Show(std::string_view text) {
  std::FILE* drawn = nullptr;
  if (Edit().el_get(el_, EL_GETFP, 1, &drawn) == 0 && drawn != nullptr) (void)std::fflush(drawn);
  if (output_ == nullptr) return;
  output_->Append(text);
  (void)output_->Send(output_->Pending().size());
}

// NOLINTEND(clang-analyzer-core.CallAndMessage)

}  // namespace ostrel

#else  // built without libedit: the console reads every stream as it reads a pipe

namespace ostrel {

std::unique_ptr<LineEditor> LineEditor::Open(std::FILE* /*in*/, std::FILE* /*out*/) {
  return nullptr;
}

LineEditor::~LineEditor() = default;

EditResult LineEditor::Read(std::string_view /*prompt*/, InputKind /*kind*/,
                            std::string& /*line*/) {
  return EditResult::kEnd;
}

}  // namespace ostrel

#endif
