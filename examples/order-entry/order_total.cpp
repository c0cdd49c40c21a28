#include "order_total.h"

#include <algorithm>

#include "framework/exceptions.h"
#include "framework/field.h"

namespace order_entry {

using tessel::Decimal;

namespace {

using u128 = unsigned __int128;

// The value of a field holding a decimal, read from its text so that no
// double is in between; zero for null.
Decimal FieldDecimal(tessel::TField& field) {
  if (field.IsNull()) return {};
  return Decimal::FromString(field.AsString());
}

}  // namespace

Decimal Multiply(const Decimal& a, const Decimal& b) {
  const u128 x = a.Magnitude();
  const u128 y = b.Magnitude();
  if (x != 0 && y > ~u128{0} / x) {
    throw tessel::EConvertError("'" + a.ToString() + " * " + b.ToString() +
                                "' is too large for a decimal value");
  }
  return Decimal::FromParts(a.IsNegative() != b.IsNegative(), x * y, a.Scale() + b.Scale());
}

Decimal Add(const Decimal& a, const Decimal& b) {
  const int scale = std::max(a.Scale(), b.Scale());
  Decimal x;
  Decimal y;
  if (!a.Rescaled(scale, x) || !b.Rescaled(scale, y)) {
    throw tessel::EConvertError("'" + a.ToString() + " + " + b.ToString() +
                                "' is too large for a decimal value");
  }
  if (x.IsNegative() == y.IsNegative()) {
    // Two magnitudes below 10^38 add up to less than 2^128.
    return Decimal::FromParts(x.IsNegative(), x.Magnitude() + y.Magnitude(), scale);
  }
  if (x.Magnitude() >= y.Magnitude())
    return Decimal::FromParts(x.IsNegative(), x.Magnitude() - y.Magnitude(), scale);
  return Decimal::FromParts(y.IsNegative(), y.Magnitude() - x.Magnitude(), scale);
}

std::string MoneyText(const Decimal& value) {
  int scale = value.Scale();
  Decimal shorter;
  while (scale > 2 && value.Rescaled(scale - 1, shorter)) --scale;
  Decimal shown;
  value.Rescaled(std::max(scale, 2), shown);  // never drops a digit here
  return shown.ToString();
}

Decimal LineAmount(tessel::TDataSet& lines) {
  return Multiply(FieldDecimal(*lines.FieldByName("quantity")),
                  FieldDecimal(*lines.FieldByName("price")));
}

}  // namespace order_entry
