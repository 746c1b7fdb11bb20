// The one way a failure of a call on the system travels: every call of files/, settings/ and
// console/ that can fail gives a SysResult, which holds either what the call produced or a
// SysError: the errno value (or a reason of the room's own, in a category of its own) and what
// was being done. errno is read only where a failure is turned into one.
#pragma once

#include <cerrno>
#include <cstring>
#include <new>
#include <span>
#include <string>
#include <system_error>
#include <type_traits>
#include <utility>

namespace ostrel {

// Reasons of a room's own, beside the system's errno values ("not a regular file", "changed
// meanwhile"): value n is the text texts[n-1].
class ReasonCategory final : public std::error_category {
 public:
  ReasonCategory(const char* name, std::span<const char* const> texts)
      : name_(name), texts_(texts) {}
  const char* name() const noexcept override { return name_; }
  std::string message(int value) const override {
    const auto index = static_cast<std::size_t>(value - 1);
    return value >= 1 && index < texts_.size() ? texts_[index] : "unknown reason";
  }

 private:
  const char* name_;
  std::span<const char* const> texts_;
};

// Why a call did not do what was asked, and what was being done then: a short fixed text
// ("write", "open the folder") for the reader of a test or a debugger, never shown to the user.
struct SysError {
  std::error_code code;
  const char* doing = "";

  // The errno value the failed call just set.
  static SysError FromErrno(const char* doing) { return Of(errno, doing); }
  // A failure always has a reason: a call that set no errno value counts as an I/O error.
  static SysError Of(int error, const char* doing) {
    return {.code = std::error_code(error != 0 ? error : EIO, std::generic_category()),
            .doing = doing};
  }
  // The errno value; 0 for a reason of a room's own.
  int Errno() const { return code.category() == std::generic_category() ? code.value() : 0; }
  bool Is(int error) const { return Errno() == error; }
  // What the user reads: the system's text for an errno value, or the room's own text.
  std::string Reason() const {
    return code.category() == std::generic_category() ? std::strerror(code.value())
                                                      : code.message();
  }
};

// What a call produced, or why it failed. A failed result holds a default-made T, which is
// never to be read.
template <typename T = void>
class [[nodiscard]] SysResult {
 public:
  SysResult(T value) : value_(std::move(value)) {}  // NOLINT(google-explicit-constructor)
  SysResult(SysError error) : error_(error) {}      // NOLINT(google-explicit-constructor)

  bool ok() const { return !error_.code; }
  const SysError& error() const { return error_; }
  T& value() { return value_; }
  const T& value() const { return value_; }

 private:
  T value_{};
  SysError error_;
};

// A call that produces nothing but may fail.
template <>
class [[nodiscard]] SysResult<void> {
 public:
  SysResult() = default;
  SysResult(SysError error) : error_(error) {}  // NOLINT(google-explicit-constructor)

  bool ok() const { return !error_.code; }
  const SysError& error() const { return error_; }

 private:
  SysError error_;
};

// The one place where running out of memory is caught: does `work` (which gives nothing or a
// SysResult<>), and turns memory that could not be had on the way (std::bad_alloc) into a
// failure like a call's ENOMEM. Whatever `work` left half done is its to keep safe: each user
// asks for its memory before it changes anything.
template <typename Work>
SysResult<> CatchNoMemory(const char* doing, Work&& work) {
  try {
    if constexpr (std::is_void_v<std::invoke_result_t<Work>>) {
      std::forward<Work>(work)();
      return {};
    } else {
      return std::forward<Work>(work)();
    }
  } catch (const std::bad_alloc&) {
    return SysError::Of(ENOMEM, doing);
  }
}

}  // namespace ostrel
