// The typed formatting behind Console::Print. A format is the editor's own text with a few
// conversions: %d and %i take an integer of any size ("%lld" reads as "%d"), %.Nf a floating
// value with N decimals, %s outside bytes marked with Visible(), and %% a percent sign. The
// format is checked against its arguments when the program is compiled: a conversion without
// its argument, an argument without its conversion, an unknown conversion, or a string that is
// not marked as outside text do not compile.
#pragma once

#include <concepts>
#include <cstddef>
#include <string_view>
#include <type_traits>

namespace ostrel {

// Bytes that come from outside the editor (the document, file names, the launch command,
// answers, keys from the settings file, the system's messages), for a %s: shown as
// Console::Text shows them.
class VisibleText {
 public:
  constexpr explicit VisibleText(std::string_view bytes) : bytes_(bytes) {}
  constexpr std::string_view bytes() const { return bytes_; }

 private:
  std::string_view bytes_;
};

constexpr VisibleText Visible(std::string_view bytes) {
  return VisibleText(bytes);
}

namespace format {

enum class Conversion { kText, kInteger, kReal, kPercent, kUnknown };

// One conversion of a format: what it takes, its precision (for %.Nf) and where the format
// goes on after it.
struct Directive {
  Conversion conversion;
  int precision;
  const char* next;
};

// The conversion at `percent`, which points at a '%'.
constexpr Directive ParseDirective(const char* percent) {
  const char* p = percent + 1;
  switch (*p) {
    case '%':
      return {Conversion::kPercent, 0, p + 1};
    case 's':
      return {Conversion::kText, 0, p + 1};
    case '.': {
      int precision = 0;
      for (++p; *p >= '0' && *p <= '9' && precision < 100; ++p)
        precision = precision * 10 + (*p - '0');
      return *p == 'f' ? Directive{Conversion::kReal, precision, p + 1}
                       : Directive{Conversion::kUnknown, 0, p};
    }
    default:
      break;
  }
  // The argument's own type gives its size: a length modifier changes nothing.
  for (int i = 0; i < 2 && *p == 'l'; ++i) ++p;
  if (*p == 'd' || *p == 'i') return {Conversion::kInteger, 0, p + 1};
  return {Conversion::kUnknown, 0, p};
}

template <typename T>
concept Integer = std::integral<T> && !std::same_as<T, bool> && !std::same_as<T, char> &&
                  !std::same_as<T, signed char> && !std::same_as<T, unsigned char>;

template <typename T>
concept Argument = Integer<T> || std::floating_point<T> || std::same_as<T, VisibleText>;

template <typename T>
consteval Conversion ConversionOf() {
  static_assert(Argument<T>, "a Print argument is a number, or outside text marked with Visible()");
  if constexpr (std::same_as<T, VisibleText>) {
    return Conversion::kText;
  } else if constexpr (std::floating_point<T>) {
    return Conversion::kReal;
  } else {
    return Conversion::kInteger;
  }
}

// Never defined: a format that does not fit its arguments calls it while it is checked, which
// stops the compilation there.
void FormatDoesNotFitItsArguments();

// One argument, as the formatter takes it.
struct Arg {
  Conversion conversion = Conversion::kUnknown;
  long long integer = 0;
  unsigned long long unsigned_integer = 0;
  bool is_unsigned = false;
  double real = 0;
  std::string_view text;

  Arg() = default;
  template <Integer T>
  explicit Arg(T value) : conversion(Conversion::kInteger) {
    if constexpr (std::is_signed_v<T>) {
      integer = value;
    } else {
      unsigned_integer = value;
      is_unsigned = true;
    }
  }
  template <std::floating_point T>
  explicit Arg(T value) : conversion(Conversion::kReal), real(static_cast<double>(value)) {}
  explicit Arg(VisibleText value) : conversion(Conversion::kText), text(value.bytes()) {}
};

}  // namespace format

// A format for the arguments `Args`, checked when the program is compiled.
template <typename... Args>
class Format {
 public:
  // Implicit, so that a string literal is a format where one is asked for.
  consteval Format(const char* text) : text_(text) {  // NOLINT(google-explicit-constructor)
    constexpr format::Conversion wanted[] = {format::ConversionOf<Args>()...,
                                             format::Conversion::kUnknown};
    std::size_t n = 0;
    for (const char* p = text; *p != '\0';) {
      if (*p != '%') {
        ++p;
        continue;
      }
      const format::Directive d = format::ParseDirective(p);
      p = d.next;
      if (d.conversion == format::Conversion::kPercent) continue;
      if (d.conversion == format::Conversion::kUnknown || n >= sizeof...(Args) ||
          wanted[n] != d.conversion) {
        format::FormatDoesNotFitItsArguments();
      }
      ++n;
    }
    if (n != sizeof...(Args)) format::FormatDoesNotFitItsArguments();
  }

  constexpr const char* text() const { return text_; }

 private:
  const char* text_;
};

}  // namespace ostrel
