// Numbers to and from text. The GUI toolkit sets the process locale from the user's environment,
// so nothing here goes through printf or strtod: std::to_chars and std::from_chars always write and
// read a decimal point.

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "text/text.h"

namespace tarnisk {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Full-width forms typed with a Chinese input method read as their ASCII counterparts.
Text FoldFullWidth(std::string_view text) {
  Text folded;
  folded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      folded.push_back(static_cast<char>(lead));
      continue;
    }
    if (i + 1 == text.size()) {
      folded.push_back(static_cast<char>(lead));
      break;
    }
    const unsigned char trail = static_cast<unsigned char>(text[i + 1]);
    ++i;
    if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
      folded.push_back(static_cast<char>(trail - 0x80));
    } else if (lead == 0xA1 && trail == 0xA1) {
      folded.push_back(' ');
    } else if (lead == 0xA1 && trail == 0xAB) {
      folded.push_back('~');
    } else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) {
      folded.push_back('*');
    } else {
      folded.push_back(static_cast<char>(lead));
      folded.push_back(static_cast<char>(trail));
    }
  }
  return folded;
}

// from_chars leaves its output alone when the value lies beyond the doubles; the nearest double is
// then an infinity or zero, told apart by the decimal exponent of the first significant digit.
double OutOfRangeValue(std::string_view mantissa, std::string_view exponent, bool negative) {
  const std::size_t point = mantissa.find('.');
  const std::size_t integerDigits = point == std::string_view::npos ? mantissa.size() : point;
  const std::size_t firstSignificant = mantissa.find_first_of("123456789");
  if (firstSignificant == std::string_view::npos) return negative ? -0.0 : 0.0;
  const std::int64_t digitPosition =
      firstSignificant < integerDigits
          ? static_cast<std::int64_t>(integerDigits - firstSignificant)
          : -static_cast<std::int64_t>(firstSignificant - integerDigits - 1);
  constexpr std::int64_t Cap = std::int64_t{1} << 40;
  std::int64_t scale = 0;
  bool scaleNegative = false;
  for (char c : exponent) {
    if (c == '-') scaleNegative = true;
    if (IsDigit(c) && scale < Cap) scale = scale * 10 + (c - '0');
  }
  const std::int64_t magnitude = digitPosition + (scaleNegative ? -scale : scale);
  const double value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  return negative ? -value : value;
}

}  // namespace

double TextToNumber(std::string_view text) {
  const Text folded = FoldFullWidth(text);
  const std::string_view s(folded);
  std::size_t i = 0;
  while (i < s.size() && IsWhiteSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  const std::size_t mantissaStart = i;
  std::size_t digits = 0;
  while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return 0.0;
  const std::string_view mantissa = s.substr(mantissaStart, i - mantissaStart);

  std::string_view exponent;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    std::size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    const std::size_t exponentDigits = j;
    while (j < s.size() && IsDigit(s[j])) ++j;
    if (j > exponentDigits) exponent = s.substr(i + 1, j - i - 1);
  }

  // from_chars takes no '+' and knows only 'e' as the exponent marker.
  std::string number;
  number.reserve(mantissa.size() + exponent.size() + 2);
  if (negative) number.push_back('-');
  number.append(mantissa);
  if (!exponent.empty()) {
    number.push_back('e');
    number.append(exponent);
  }
  double value = 0.0;
  const auto [end, error] =
      std::from_chars(number.data(), number.data() + number.size(), value, std::chars_format::general);
  if (error == std::errc::result_out_of_range) return OutOfRangeValue(mantissa, exponent, negative);
  return value;
}

Text IntegerToText(std::int32_t value) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return Text(buffer, result.ptr);
}

Text NumberToText(double value) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 13);
  const std::string_view written(buffer, static_cast<std::size_t>(result.ptr - buffer));
  const std::size_t marker = written.find('e');
  if (marker == std::string_view::npos) return Text(written);
  // The exponent is written with at least three digits: 1e+013, 1e-005.
  const std::string_view exponentDigits = written.substr(marker + 2);
  Text text(written.substr(0, marker + 2));
  if (exponentDigits.size() < 3) text.append(3 - exponentDigits.size(), '0');
  text.append(exponentDigits);
  return text;
}

std::int32_t TruncateToInteger(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483648.0) return std::numeric_limits<std::int32_t>::max();
  if (value <= -2147483649.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

}  // namespace tarnisk
