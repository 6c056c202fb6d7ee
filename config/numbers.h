// Reading numbers from text and the number forms of stored and printed text.
// One implementation for the whole program: every amount, count and rounding
// goes through here.
#pragma once

#include <string>

namespace quarvel {

// The value of the number with which the text begins (leading blanks and
// tabs skipped; sign, digits, a decimal point, an exponent); 0 when the text
// begins with no number.
double readNumber(const std::string& text);

// How many characters readNumber takes: the leading blanks and tabs and the
// number itself; 0 when the text begins with no number.
std::size_t leadingNumberLength(const std::string& text);

// Nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
long long roundHalfEven(double value);

// readNumber, then roundHalfEven: "a whole number" read from text.
long long readWholeNumber(const std::string& text);

// Times ten, to the nearest whole number (halves to even), divided by ten.
double roundOneDecimal(double value);

// Integer form: digits, "-" in front when negative.
std::string integerForm(long long value);

// Plain form: at most 15 significant digits, no trailing zeros, a whole value
// without decimal point, "0" before the point below 1 (0.5, -0.25).
std::string plainForm(double value);

// One-decimal form ("#.0"): rounded to one decimal, halves to even, exactly
// one digit after the point and at least one before it (0.5, 0.0, -3.5).
std::string oneDecimalForm(double value);

}  // namespace quarvel
