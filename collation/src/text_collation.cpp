// ICU behind the text comparisons: one root collator per process, never used
// directly, and clones of it per thread at the two strengths, with a
// character break iterator per thread for the prefix test.

#include "collation/text_collation.h"

#include "collator_sort_key.h"

#include <unicode/brkiter.h>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/stringpiece.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessel::collation {
namespace {

void Check(UErrorCode status, const char* what) {
  if (U_FAILURE(status)) {
    throw std::runtime_error(std::string("ICU cannot ") + what + ": " + u_errorName(status));
  }
}

// The root collation with canonical equivalence checked for every input,
// so that marks in any order compare as their normal form does.
const icu::Collator& Prototype() {
  static const std::unique_ptr<icu::Collator> prototype = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> root(
        icu::Collator::createInstance(icu::Locale::getRoot(), status));
    Check(status, "open its root collation");
    root->setAttribute(UCOL_NORMALIZATION_MODE, UCOL_ON, status);
    Check(status, "set the collation's normalization");
    return root;
  }();
  return *prototype;
}

// The calling thread's own ICU objects, made on first use.
struct ThreadTools {
  std::unique_ptr<icu::Collator> Collators[2];  // by Level
  std::unique_ptr<icu::BreakIterator> Characters;
};

ThreadTools& Tools() {
  thread_local ThreadTools tools;
  return tools;
}

icu::Collator& CollatorAt(Level level) {
  std::unique_ptr<icu::Collator>& collator = Tools().Collators[static_cast<int>(level)];
  if (!collator) {
    std::unique_ptr<icu::Collator> copy(Prototype().clone());
    if (!copy) throw std::runtime_error("ICU cannot copy its root collation");
    copy->setStrength(level == Level::Case ? icu::Collator::TERTIARY : icu::Collator::SECONDARY);
    collator = std::move(copy);
  }
  return *collator;
}

int Order(icu::Collator& collator, std::string_view a, std::string_view b) {
  UErrorCode status = U_ZERO_ERROR;
  const UCollationResult result =
      collator.compareUTF8(icu::StringPiece(a.data(), static_cast<std::int32_t>(a.size())),
                           icu::StringPiece(b.data(), static_cast<std::int32_t>(b.size())), status);
  Check(status, "compare two texts");
  return result == UCOL_LESS ? -1 : (result == UCOL_GREATER ? 1 : 0);
}

// Whether a character (a user-perceived one: a letter with its marks, an
// emoji with its modifiers) ends at byte `at` of text.
bool EndsCharacter(std::string_view text, std::size_t at) {
  if (at == 0 || at >= text.size()) return true;
  std::unique_ptr<icu::BreakIterator>& characters = Tools().Characters;
  UErrorCode status = U_ZERO_ERROR;
  if (!characters) {
    characters.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    Check(status, "open its character boundaries");
  }
  UText utext = UTEXT_INITIALIZER;
  utext_openUTF8(&utext, text.data(), static_cast<std::int64_t>(text.size()), &status);
  // The iterator keeps a shallow copy of utext, which reads text only until
  // the next setText.
  characters->setText(&utext, status);
  const bool boundary = U_SUCCESS(status) && characters->isBoundary(static_cast<std::int32_t>(at));
  utext_close(&utext);
  Check(status, "find character boundaries");
  return boundary;
}

// The byte after the code point that starts at `at`.
std::size_t NextCodePoint(std::string_view text, std::size_t at) {
  ++at;
  while (at < text.size() && (static_cast<std::uint8_t>(text[at]) & 0xC0) == 0x80) ++at;
  return at;
}

// The printable ASCII characters ranked in the collator's order at level:
// characters that compare equal share a rank.
std::array<std::uint8_t, 256> Ranks(Level level) {
  std::vector<std::string> characters;
  for (char c = 0x20; c < 0x7F; ++c) characters.emplace_back(1, c);
  icu::Collator& collator = CollatorAt(level);
  std::sort(characters.begin(), characters.end(),
            [&](const std::string& a, const std::string& b) { return Order(collator, a, b) < 0; });
  std::array<std::uint8_t, 256> ranks{};
  std::uint8_t rank = 0;
  for (std::size_t i = 0; i < characters.size(); ++i) {
    if (i == 0 || Order(collator, characters[i - 1], characters[i]) != 0) ++rank;
    ranks[ascii::Byte(characters[i][0])] = rank;
  }
  return ranks;
}

}  // namespace

// Primary ranks are taken at the secondary strength: no two printable ASCII
// characters differ at that level alone, so the two are the same ranking.
const AsciiWeights& Weights() {
  static const AsciiWeights weights = [] {
    AsciiWeights w;
    w.Primary = Ranks(Level::IgnoreCase);
    w.Tertiary = Ranks(Level::Case);
    return w;
  }();
  return weights;
}

std::int32_t Version() {
  UVersionInfo version;
  Prototype().getVersion(version);
  // Four bytes into 31 bits: the first (the collation runtime's own version)
  // changes least and keeps the number clear of 0, which files made before
  // any version was kept hold.
  return static_cast<std::int32_t>((std::uint32_t{version[0]} & 0x3F) << 24 | version[1] << 16 |
                                   version[2] << 8 | version[3]) |
         0x40000000;
}

int CompareByCollator(std::string_view a, std::string_view b, Level level) {
  return Order(CollatorAt(level), a, b);
}

void AppendCollatorSortKey(icu::Collator& collator, std::string_view text, std::string& out) {
  const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
  const std::size_t at = out.size();
  std::int32_t room = static_cast<std::int32_t>(unicode.length()) * 4 + 16;
  for (;;) {
    out.resize(at + static_cast<std::size_t>(room));
    const std::int32_t length =
        collator.getSortKey(unicode, reinterpret_cast<std::uint8_t*>(out.data() + at), room);
    if (length == 0) throw std::runtime_error("ICU cannot make a sort key");
    if (length <= room) {
      out.resize(at + static_cast<std::size_t>(length) - 1);
      return;
    }
    room = length;
  }
}

void AppendSortKey(std::string_view text, std::string& out, Level level) {
  AppendCollatorSortKey(CollatorAt(level), text, out);
}

// Tries the text's beginnings, one code point longer each time, while one
// could still be the prefix: a beginning that sorts after the prefix only
// grows further away, and one that sorts before it even when followed by
// U+FFFF (which outweighs every character) cannot reach it either.
bool StartsWithByCollator(std::string_view text, std::string_view prefix, Level level,
                          std::size_t from) {
  icu::Collator& collator = CollatorAt(level);
  std::string bounded;
  for (std::size_t at = std::min(from, text.size());; at = NextCodePoint(text, at)) {
    const std::string_view start = text.substr(0, at);
    const int order = Order(collator, start, prefix);
    if (order == 0 && EndsCharacter(text, at)) return true;
    if (order > 0) return false;
    if (order < 0) {
      bounded.assign(start);
      bounded += "\xEF\xBF\xBF";
      if (Order(collator, bounded, prefix) < 0) return false;
    }
    if (at >= text.size()) return false;
  }
}

}  // namespace tessel::collation
