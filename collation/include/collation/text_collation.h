#pragma once

// Comparing UTF-8 texts the way the server's default collation family does
// (case-insensitive, accent-sensitive): ICU's root collation. Letters and
// their accents decide first; case decides only between texts otherwise
// equal, a lower-case letter before its capital ("adams" < "Adams" < "Brown",
// "ecole" < "école" < "École" < "ecoles"). Canonically equivalent spellings
// are the same text: "é" and "e" + U+0301 compare equal at every level.
// Invalid UTF-8 compares as U+FFFD.
//
// Texts of printable ASCII are compared by a byte loop over weights read
// from ICU once, which gives ICU's answer without a call into it; anything
// else goes to a collator of the calling thread's own (ICU collators must
// not be used by two threads at once). Any thread.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tessel::collation {

// What an equality test looks at: letters and accents only, or their case
// too (ICU's secondary and tertiary strengths).
enum class Level : std::uint8_t { IgnoreCase, Case };

// For each byte, its place among the printable ASCII characters in ICU's
// order: Primary counts a letter and its capital as one, Tertiary tells
// them apart. 0 for every other byte, which the byte loops leave to ICU.
struct AsciiWeights {
  std::array<std::uint8_t, 256> Primary{};
  std::array<std::uint8_t, 256> Tertiary{};
};

// Built from the collator on first use. Here and below, a failure of ICU
// (it cannot open its root collation) raises std::runtime_error.
const AsciiWeights& Weights();

// A number that changes whenever ICU's root collation may order texts
// differently (another ICU): kept with stored indexes, which are rebuilt
// when it differs. Never 0.
std::int32_t Version();

// The same answers as Compare, Equal and StartsWith below from ICU alone,
// without the byte loops: those fall back on them, and tests hold the loops
// to them. StartsWithByCollator looks only at beginnings of text at least
// `from` bytes long (a code point boundary): shorter ones are known not to
// match.
int CompareByCollator(std::string_view a, std::string_view b, Level level);
bool StartsWithByCollator(std::string_view text, std::string_view prefix, Level level,
                          std::size_t from = 0);

// Appends the bytes whose order (as unsigned bytes) is the order Compare
// gives text: sorting many texts by them calls ICU once per text instead of
// once per comparison. Two texts have the same key at a level exactly when
// Equal holds for them at that level.
void AppendSortKey(std::string_view text, std::string& out, Level level = Level::Case);

namespace ascii {

// The answer of a byte loop that cannot decide without ICU.
inline constexpr int kUndecided = 2;

inline std::uint8_t Byte(char c) {
  return static_cast<std::uint8_t>(c);
}

// How many leading bytes a and b (n bytes each at least) share before the
// first that differs or lies outside ASCII; eight bytes at a time.
inline std::size_t SharedAscii(const char* a, const char* b, std::size_t n) {
  std::size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + 8 <= n; i += 8) {
      std::uint64_t x, y;
      std::memcpy(&x, a + i, sizeof x);
      std::memcpy(&y, b + i, sizeof y);
      // The bytes loop below finds which byte of these eight stops it.
      if (x != y || (x & 0x8080808080808080u) != 0) break;
    }
  }
  while (i < n && a[i] == b[i] && Byte(a[i]) < 0x80) ++i;
  return i;
}

// Whether the byte loops can weigh every character of text.
inline bool Plain(std::string_view text, const AsciiWeights& w) {
  for (const char c : text) {
    if (w.Primary[Byte(c)] == 0) return false;
  }
  return true;
}

// The byte loop's order of a and b at level, or kUndecided. Each printable
// ASCII character has one weight at each level in ICU's root collation, so
// the first primary difference decides; failing one, a text that goes on
// with another printable character is the greater; failing that, the first
// tertiary difference decides. Identical leading bytes weigh the same in
// both texts as long as they are ASCII (control characters weigh nothing);
// a character outside ASCII before the decision leaves it to ICU.
inline int Compare(std::string_view a, std::string_view b, Level level, const AsciiWeights& w) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  std::size_t k = SharedAscii(a.data(), b.data(), n);
  int case_order = 0;
  for (; k < n; ++k) {
    const std::uint8_t pa = w.Primary[Byte(a[k])];
    const std::uint8_t pb = w.Primary[Byte(b[k])];
    if (pa == 0 || pb == 0) return kUndecided;
    if (pa != pb) return pa < pb ? -1 : 1;
    if (case_order == 0 && a[k] != b[k]) {
      case_order = w.Tertiary[Byte(a[k])] < w.Tertiary[Byte(b[k])] ? -1 : 1;
    }
  }
  if (a.size() != b.size()) {
    // Control characters weigh nothing, marks weigh at the second level only.
    if (w.Primary[Byte(a.size() > n ? a[n] : b[n])] == 0) return kUndecided;
    return a.size() < b.size() ? -1 : 1;
  }
  return level == Level::Case ? case_order : 0;
}

// Whether text begins with prefix at level (1 or 0), or kUndecided. The
// character after the prefix must be printable ASCII to be sure that it
// starts a character of its own rather than adding a mark to the last one.
// Undecided, `matched` bytes of printable ASCII at the start of both are
// the same at level: no beginning of text shorter than that can be prefix.
inline int StartsWith(std::string_view text, std::string_view prefix, Level level,
                      const AsciiWeights& w, std::size_t& matched) {
  std::size_t& k = matched;
  for (k = 0; k < prefix.size(); ++k) {
    const std::uint8_t pp = w.Primary[Byte(prefix[k])];
    if (pp == 0) return kUndecided;
    if (k == text.size()) return 0;
    const std::uint8_t pt = w.Primary[Byte(text[k])];
    if (pt == 0) return kUndecided;
    if (pt != pp) return 0;
    if (level == Level::Case && w.Tertiary[Byte(text[k])] != w.Tertiary[Byte(prefix[k])]) return 0;
  }
  if (k == text.size() || w.Primary[Byte(text[k])] != 0) return 1;
  return kUndecided;
}

}  // namespace ascii

// Each of these takes the weights, as Weights() returns them, from a caller
// that compares many texts, or looks them up itself.

// -1, 0 or 1 as a sort orders a and b: case decides only ties.
inline int Compare(std::string_view a, std::string_view b, const AsciiWeights& w = Weights()) {
  const int order = ascii::Compare(a, b, Level::Case, w);
  if (order != ascii::kUndecided) return order;
  return a == b ? 0 : CompareByCollator(a, b, Level::Case);
}

// -1, 0 or 1 as a sort orders a and b, looking at level only: ignoring case,
// texts that differ only in case are the same (0).
inline int Compare(std::string_view a, std::string_view b, Level level,
                   const AsciiWeights& w = Weights()) {
  const int order = ascii::Compare(a, b, level, w);
  if (order != ascii::kUndecided) return order;
  return a == b ? 0 : CompareByCollator(a, b, level);
}

// Whether a and b are the same text at level.
inline bool Equal(std::string_view a, std::string_view b, Level level,
                  const AsciiWeights& w = Weights()) {
  const int order = ascii::Compare(a, b, level, w);
  if (order != ascii::kUndecided) return order == 0;
  return a == b || CompareByCollator(a, b, level) == 0;
}

// Whether text begins with whole characters that are the same text as
// prefix at level: "ÉC" begins "école" ignoring case; "e" does not begin
// "e" + U+0301, whose first character is "é".
inline bool StartsWith(std::string_view text, std::string_view prefix, Level level,
                       const AsciiWeights& w = Weights()) {
  std::size_t matched = 0;
  const int found = ascii::StartsWith(text, prefix, level, w, matched);
  if (found != ascii::kUndecided) return found == 1;
  return StartsWithByCollator(text, prefix, level, matched);
}

}  // namespace tessel::collation
