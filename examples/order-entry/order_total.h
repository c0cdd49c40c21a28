#pragma once

// Exact sums of money for the order-entry example: quantity times price over
// an order's lines, in decimal arithmetic (never through a double), shown
// with at least two decimals and every further digit the value has.

#include <string>

#include "framework/dataset.h"
#include "framework/decimal.h"

namespace order_entry {

// a * b and a + b, exact; raise EConvertError when the result needs more
// than 38 digits.
tessel::Decimal Multiply(const tessel::Decimal& a, const tessel::Decimal& b);
tessel::Decimal Add(const tessel::Decimal& a, const tessel::Decimal& b);

// The value with its trailing zeros dropped down to two decimals:
// "77.94000000" -> "77.94", "0.88281250" -> "0.8828125", "5" -> "5.00".
std::string MoneyText(const tessel::Decimal& value);

// quantity * price of the current record; zero when either is null.
tessel::Decimal LineAmount(tessel::TDataSet& lines);

}  // namespace order_entry
