#include "exact.h"

#include <array>

namespace tessel::sqld::engine::exact {
namespace {

using U128 = unsigned __int128;

// An unsigned 512-bit integer, least significant word first: room for a
// 38-digit value times 10^76, the widest intermediate a quotient needs.
struct Big {
  static constexpr int kWords = 8;
  std::array<std::uint64_t, kWords> w{};

  static Big of(U128 v) {
    Big b;
    b.w[0] = static_cast<std::uint64_t>(v);
    b.w[1] = static_cast<std::uint64_t>(v >> 64);
    return b;
  }
  bool isZero() const {
    for (auto x : w)
      if (x) return false;
    return true;
  }
  int bits() const {
    for (int i = kWords - 1; i >= 0; --i)
      if (w[i]) return i * 64 + 64 - __builtin_clzll(w[i]);
    return 0;
  }
  bool bit(int i) const { return (w[i / 64] >> (i % 64)) & 1; }
  void setBit(int i) { w[i / 64] |= std::uint64_t{1} << (i % 64); }
  // False if the value no longer fits 512 bits.
  bool mulSmall(std::uint64_t m) {
    U128 carry = 0;
    for (auto& x : w) {
      U128 p = static_cast<U128>(x) * m + carry;
      x = static_cast<std::uint64_t>(p);
      carry = p >> 64;
    }
    return carry == 0;
  }
  bool mulPow10(int n) {
    for (; n > 0; n -= 19)
      if (!mulSmall(static_cast<std::uint64_t>(pow10(n < 19 ? n : 19)))) return false;
    return true;
  }
  void shiftLeft1() {
    for (int i = kWords - 1; i > 0; --i) w[i] = (w[i] << 1) | (w[i - 1] >> 63);
    w[0] <<= 1;
  }
  // False if the value no longer fits 512 bits.
  bool add(const Big& o) {
    U128 carry = 0;
    for (int i = 0; i < kWords; ++i) {
      U128 s = static_cast<U128>(w[i]) + o.w[i] + carry;
      w[i] = static_cast<std::uint64_t>(s);
      carry = s >> 64;
    }
    return carry == 0;
  }
  void sub(const Big& o) {  // requires *this >= o
    std::uint64_t borrow = 0;
    for (int i = 0; i < kWords; ++i) {
      U128 d = static_cast<U128>(w[i]) - o.w[i] - borrow;
      w[i] = static_cast<std::uint64_t>(d);
      borrow = (d >> 64) ? 1 : 0;
    }
  }
  int cmp(const Big& o) const {
    for (int i = kWords - 1; i >= 0; --i)
      if (w[i] != o.w[i]) return w[i] < o.w[i] ? -1 : 1;
    return 0;
  }
  bool toU128(U128& out) const {
    for (int i = 2; i < kWords; ++i)
      if (w[i]) return false;
    out = (static_cast<U128>(w[1]) << 64) | w[0];
    return true;
  }
};

Big multiply(U128 a, U128 b) {
  Big r;
  std::uint64_t x[2] = {static_cast<std::uint64_t>(a), static_cast<std::uint64_t>(a >> 64)};
  std::uint64_t y[2] = {static_cast<std::uint64_t>(b), static_cast<std::uint64_t>(b >> 64)};
  for (int i = 0; i < 2; ++i) {
    U128 carry = 0;
    for (int j = 0; j < 2; ++j) {
      U128 p = static_cast<U128>(x[i]) * y[j] + r.w[i + j] + carry;
      r.w[i + j] = static_cast<std::uint64_t>(p);
      carry = p >> 64;
    }
    r.w[i + 2] = static_cast<std::uint64_t>(carry);
  }
  return r;
}

// Quotient and remainder by shifting and subtracting; den must not be zero.
void divide(const Big& num, const Big& den, Big& quotient, Big& remainder) {
  quotient = Big{};
  remainder = Big{};
  for (int i = num.bits() - 1; i >= 0; --i) {
    remainder.shiftLeft1();
    if (num.bit(i)) remainder.w[0] |= 1;
    if (remainder.cmp(den) >= 0) {
      remainder.sub(den);
      quotient.setBit(i);
    }
  }
}

// num / den rounded half away from zero (or truncated).
Big divideRounded(const Big& num, const Big& den, bool truncate) {
  Big q, r;
  divide(num, den, q, r);
  if (!truncate && !r.isZero()) {
    Big twice = r;
    if (!twice.add(r) || twice.cmp(den) >= 0) q.add(Big::of(1));
  }
  return q;
}

U128 magnitude(__int128 v) {
  return v < 0 ? -static_cast<U128>(v) : static_cast<U128>(v);
}

// A signed magnitude back to __int128; false if it does not fit.
bool signedOf(const Big& mag, bool negative, __int128& out) {
  U128 m;
  if (!mag.toU128(m)) return false;
  constexpr U128 kLimit = static_cast<U128>(1) << 127;
  if (m > kLimit || (m == kLimit && !negative)) return false;
  out = negative ? static_cast<__int128>(-m) : static_cast<__int128>(m);
  return true;
}

// mag * 10^(to - from) or mag / 10^(from - to), rounded.
bool rescaleBig(Big& mag, int from, int to, bool truncate) {
  if (to > from) return mag.mulPow10(to - from);
  if (to < from) {
    Big den = Big::of(1);
    den.mulPow10(from - to);
    mag = divideRounded(mag, den, truncate);
  }
  return true;
}

}  // namespace

__int128 pow10(int n) {
  __int128 r = 1;
  for (int i = 0; i < n && i < 38; ++i) r *= 10;
  return r;
}

bool isWide(const TypeInfo& t) {
  return (t.type == SqlType::Decimal || t.type == SqlType::Numeric) && t.precision > kNarrowDigits;
}

std::string toBytes(__int128 v) {
  U128 u = static_cast<U128>(v) ^ (static_cast<U128>(1) << 127);
  std::string out(16, '\0');
  for (int i = 15; i >= 0; --i) {
    out[i] = static_cast<char>(static_cast<std::uint8_t>(u));
    u >>= 8;
  }
  return out;
}

__int128 fromBytes(std::string_view bytes) {
  U128 u = 0;
  for (std::size_t i = 0; i < 16; ++i)
    u = (u << 8) | (i < bytes.size() ? static_cast<std::uint8_t>(bytes[i]) : 0);
  return static_cast<__int128>(u ^ (static_cast<U128>(1) << 127));
}

std::string toString(__int128 v, int scale) {
  U128 u = magnitude(v);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(u % 10)));
    u /= 10;
  } while (u);
  if (scale > 0) {
    if (static_cast<int>(digits.size()) <= scale)
      digits.insert(0, std::string(scale - digits.size() + 1, '0'));
    digits.insert(digits.size() - scale, ".");
  }
  return v < 0 ? "-" + digits : digits;
}

bool fits(__int128 v, const TypeInfo& t) {
  switch (t.type) {
    case SqlType::Decimal:
    case SqlType::Numeric: {
      __int128 limit = pow10(t.precision);
      return v < limit && v > -limit;
    }
    case SqlType::Money:
      return v >= INT64_MIN && v <= INT64_MAX;
    case SqlType::SmallMoney:
      return v >= INT32_MIN && v <= INT32_MAX;
    default:
      return true;
  }
}

bool rescale(__int128 v, int fromScale, int toScale, __int128& out, bool truncate) {
  Big m = Big::of(magnitude(v));
  return rescaleBig(m, fromScale, toScale, truncate) && signedOf(m, v < 0, out);
}

bool apply(Op op, __int128 a, int sa, __int128 b, int sb, int rs, __int128& out, bool truncate) {
  Big x = Big::of(magnitude(a)), y = Big::of(magnitude(b));
  bool xneg = a < 0, yneg = b < 0;
  switch (op) {
    case Op::Add:
    case Op::Subtract: {
      if (op == Op::Subtract) yneg = !yneg;
      int s = sa > sb ? sa : sb;
      x.mulPow10(s - sa);
      y.mulPow10(s - sb);
      bool neg;
      if (xneg == yneg) {
        x.add(y);
        neg = xneg;
      } else if (x.cmp(y) >= 0) {
        x.sub(y);
        neg = xneg;
      } else {
        y.sub(x);
        x = y;
        neg = yneg;
      }
      return rescaleBig(x, s, rs, false) && signedOf(x, neg && !x.isZero(), out);
    }
    case Op::Multiply: {
      Big p = multiply(magnitude(a), magnitude(b));
      return rescaleBig(p, sa + sb, rs, false) && signedOf(p, xneg != yneg && !p.isZero(), out);
    }
    case Op::Divide: {
      // (a / 10^sa) / (b / 10^sb) at scale rs: a * 10^(rs - sa + sb) / b.
      int shift = rs - sa + sb;
      if (shift >= 0) {
        if (!x.mulPow10(shift)) return false;
      } else if (!y.mulPow10(-shift)) {
        return false;
      }
      Big q = divideRounded(x, y, truncate);
      return signedOf(q, xneg != yneg && !q.isZero(), out);
    }
    case Op::Modulo: {
      // The remainder keeps the dividend's sign.
      int s = sa > sb ? sa : sb;
      x.mulPow10(s - sa);
      y.mulPow10(s - sb);
      Big q, r;
      divide(x, y, q, r);
      return rescaleBig(r, s, rs, false) && signedOf(r, xneg && !r.isZero(), out);
    }
  }
  return false;
}

int compare(__int128 a, int sa, __int128 b, int sb) {
  if ((a < 0) != (b < 0)) return a < 0 ? -1 : 1;
  Big x = Big::of(magnitude(a)), y = Big::of(magnitude(b));
  int s = sa > sb ? sa : sb;
  x.mulPow10(s - sa);
  y.mulPow10(s - sb);
  int c = x.cmp(y);
  return a < 0 ? -c : c;
}

}  // namespace tessel::sqld::engine::exact
