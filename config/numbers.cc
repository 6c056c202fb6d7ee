#include "config/numbers.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace quarvel {

std::size_t leadingNumberLength(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
  }
  if (digits == 0) return 0;
  // An exponent counts only when digits follow it.
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t e = i + 1;
    if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
    if (e < text.size() && std::isdigit(static_cast<unsigned char>(text[e]))) {
      i = e;
      while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
    }
  }
  return i;
}

double readNumber(const std::string& text) {
  std::size_t end = leadingNumberLength(text);
  if (end == 0) return 0;
  double value = std::strtod(text.substr(0, end).c_str(), nullptr);
  return std::isfinite(value) ? value : 0;
}

namespace {

// The nearest whole value, halves to the even neighbour.
double nearestEven(double value) {
  double floor = std::floor(value);
  double diff = value - floor;
  if (diff > 0.5) return floor + 1;
  if (diff < 0.5) return floor;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

}  // namespace

long long roundHalfEven(double value) {
  if (!std::isfinite(value)) return 0;
  double result = nearestEven(value);
  if (result >= 9.2e18) return 9200000000000000000LL;
  if (result <= -9.2e18) return -9200000000000000000LL;
  return static_cast<long long>(result);
}

long long readWholeNumber(const std::string& text) { return roundHalfEven(readNumber(text)); }

double roundOneDecimal(double value) {
  // Beyond about 1e307 the tenths overflow; such a value is whole anyway.
  if (!std::isfinite(value * 10)) return value;
  return nearestEven(value * 10) / 10;
}

std::string integerForm(long long value) { return std::to_string(value); }

// Fifteen significant digits, like the stored amounts have always had. Values
// that %g would write with an exponent (at or above 1e15, or below 1e-5) are
// written out in full instead, so every stored or printed amount is plain
// digits that any reader takes as a number: 1e20 gives
// "100000000000000000000", 0.000001 gives "0.000001".
std::string plainForm(double value) {
  if (!std::isfinite(value)) return "0";
  if (value == 0) return "0";
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  std::string text = buffer;
  std::size_t e = text.find('e');
  if (e != std::string::npos) {
    // Written out from the significant digits themselves: printing the
    // rounded double in fixed notation would show its binary tail
    // (1234567890123456789 as 1234567890123460096).
    int exponent = std::atoi(text.c_str() + e + 1);
    std::string digits;
    for (std::size_t i = 0; i < e; ++i) {
      if (std::isdigit(static_cast<unsigned char>(text[i]))) digits += text[i];
    }
    std::string sign = value < 0 ? "-" : "";
    if (exponent >= 0) {
      if (digits.size() < static_cast<std::size_t>(exponent) + 1) digits.resize(exponent + 1, '0');
      text = sign + digits;
    } else {
      text = sign + "0." + std::string(-exponent - 1, '0') + digits;
    }
  }
  if (text.find('.') != std::string::npos) {
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  return text;
}

std::string oneDecimalForm(double value) {
  if (!std::isfinite(value)) return "0.0";
  double rounded = roundOneDecimal(value);
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.1f", rounded);
  std::string text = buffer;
  if (text == "-0.0") text = "0.0";
  return text;
}

}  // namespace quarvel
