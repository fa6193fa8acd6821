// Text helpers of the BPM and beat display. Any thread.
#pragma once

#include <QString>
#include <string>

namespace player {

// The leading number of a text, read the way the period box is read: blanks anywhere are
// skipped, an optional sign, digits with one decimal point, an optional exponent (E or D), or a
// hexadecimal (&H) or octal (&O) integer; reading stops at the first character that cannot
// continue the number. A text without a leading number gives 0. "10 s" gives 10.
double leadingNumber(const std::string& text);

// A value with at least one integer digit and exactly two decimals, with the system's decimal
// separator and no grouping ("0.00").
QString twoDecimals(double value);

}  // namespace player
