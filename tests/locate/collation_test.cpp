// The text comparisons behind Locate and the sort: Unicode case and accents
// in five scripts, canonically equivalent spellings, whole characters for a
// prefix, the sort order of mixed-case accented words, and the byte loops
// for ASCII held to ICU's own answers.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "collation/text_collation.h"

namespace tessel::collation {
namespace {

struct TextCase {
  const char* a;
  const char* b;
  bool ignoring_case;  // the same text at Level::IgnoreCase
  bool with_case;      // ... and at Level::Case
};

TEST(Collation, EqualityIgnoresCaseNotAccentsInEveryScript) {
  const TextCase cases[] = {
      // Latin with accents.
      {"ÉCOLE", "école", true, false},
      {"école", "école", true, true},
      {"ecole", "école", false, false},
      {"Ærø", "ÆRØ", true, false},
      {"STRAẞE", "straße", true, false},
      {"Straße", "STRASSE", false, false},  // "ß" is "ss" with a mark of its own
      // Greek: final and medial sigma are one letter in two cases.
      {"ΣΟΦΊΑ", "σοφία", true, false},
      {"ΟΔΟΣ", "οδος", true, false},
      {"σοφια", "σοφία", false, false},
      // Cyrillic.
      {"МОСКВА", "москва", true, false},
      {"ёлка", "елка", false, false},
      // CJK: no case; width and kana type count with case only.
      {"東京", "東京", true, true},
      {"東京", "京都", false, false},
      {"ＡＢＣ", "abc", true, false},
      {"ひらがな", "ヒラガナ", true, false},
      // Emoji: a modifier or another face is another text.
      {"👍", "👍", true, true},
      {"👍🏽", "👍", false, false},
      {"😀", "😃", false, false},
      // Combining marks: a letter and its mark are the precomposed letter.
      {"e\u0301cole", "école", true, true},
      {"E\u0301COLE", "école", true, false},
      {"e\u0327\u0301", "e\u0301\u0327", true, true},
      {"e\u0301", "e", false, false},
      // ASCII.
      {"Smith", "SMITH", true, false},
      {"Smith", "Smith ", false, false},
      {"", "", true, true},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(Equal(c.a, c.b, Level::IgnoreCase), c.ignoring_case) << c.a << " / " << c.b;
    EXPECT_EQ(Equal(c.b, c.a, Level::IgnoreCase), c.ignoring_case) << c.b << " / " << c.a;
    EXPECT_EQ(Equal(c.a, c.b, Level::Case), c.with_case) << c.a << " / " << c.b;
  }
}

TEST(Collation, APrefixIsWholeCharacters) {
  const TextCase cases[] = {
      {"école", "ÉC", true, false},
      {"école", "éc", true, true},
      {"e\u0301cole", "ÉC", true, false},
      {"école", "E\u0301", true, false},
      {"école", "e", false, false},  // the first character is "é"
      {"e\u0301cole", "e", false, false},
      {"ecole", "é", false, false},
      {"σοφία", "ΣΟΦ", true, false},
      {"ΣΟΦΊΑ", "σοφί", true, false},
      {"Москва", "МОСК", true, false},
      {"東京都", "東京", true, true},
      {"東京都", "京", false, false},
      {"👍🏽 ok", "👍", false, false},
      {"👍🏽 ok", "👍🏽", true, true},
      {"👨\u200D👩\u200D👧", "👨", false, false},
      {"Straße", "STRAẞ", true, false},
      {"Straße", "STRAS", false, false},
      {"Smith", "SMI", true, false},
      {"Smith", "Smith", true, true},
      {"Smith", "Smithers", false, false},
      {"Smith", "", true, true},
      {"", "", true, true},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(StartsWith(c.a, c.b, Level::IgnoreCase), c.ignoring_case) << c.a << " / " << c.b;
    EXPECT_EQ(StartsWith(c.a, c.b, Level::Case), c.with_case) << c.a << " / " << c.b;
  }
}

// Letters decide first, then accents from the left, then case with lower
// case first; Latin, Greek and Cyrillic follow each other in that order.
TEST(Collation, SortOrdersLettersThenAccentsThenCaseLowerFirst) {
  const std::vector<std::string> expected = {"ábaco", "adams",  "Adams",  "Brown", "cote",  "Cote",
                                             "coté",  "côte",   "Côte",   "côté",  "ecole", "Ecole",
                                             "école", "École",  "ecoles", "zebra", "Zebra", "Ωμέγα",
                                             "ωραίο", "москва", "Москва"};
  std::vector<std::string> words = expected;
  std::mt19937 random(7);
  for (int round = 0; round < 5; ++round) {
    std::shuffle(words.begin(), words.end(), random);
    std::sort(words.begin(), words.end(),
              [](const std::string& a, const std::string& b) { return Compare(a, b) < 0; });
    EXPECT_EQ(words, expected);
  }
}

// Random texts of printable ASCII, control characters, marks and letters
// outside ASCII, many sharing a beginning: wherever the byte loops answer,
// they answer as ICU does, and sort keys order as ICU compares.
TEST(Collation, ByteLoopsAndSortKeysGiveICUsAnswers) {
  const std::vector<std::string> pieces = {"a",  "A", "b",      "B", "z", "Z", "0", "9",
                                           " ",  "-", "_",      "'", ".", "~", "{", "\x01",
                                           "\t", "é", "\u0301", "ß", "s", "S", "ñ", "ω"};
  std::mt19937 random(11);
  const auto piece = [&] { return pieces[random() % pieces.size()]; };
  const auto text = [&](std::size_t most) {
    std::string t;
    for (std::size_t n = random() % (most + 1); n > 0; --n) t += piece();
    return t;
  };
  for (int round = 0; round < 20000; ++round) {
    const std::string a = text(5);
    const std::string b =
        round % 3 == 0 ? text(5) : a.substr(0, random() % (a.size() + 1)) + text(2);
    for (const Level level : {Level::IgnoreCase, Level::Case}) {
      EXPECT_EQ(Equal(a, b, level), CompareByCollator(a, b, level) == 0) << a << " / " << b;
      EXPECT_EQ(StartsWith(a, b, level), StartsWithByCollator(a, b, level)) << a << " / " << b;
      EXPECT_EQ(StartsWith(b, a, level), StartsWithByCollator(b, a, level)) << b << " / " << a;
    }
    const int order = CompareByCollator(a, b, Level::Case);
    EXPECT_EQ(Compare(a, b), order) << a << " / " << b;
    std::string key_a, key_b;
    AppendSortKey(a, key_a);
    AppendSortKey(b, key_b);
    const int by_keys = key_a.compare(key_b);
    EXPECT_EQ(by_keys < 0 ? -1 : (by_keys > 0 ? 1 : 0), order) << a << " / " << b;
  }
  for (char x = 0x20; x < 0x7F; ++x) {
    for (char y = 0x20; y < 0x7F; ++y) {
      const std::string a{x, 'q'}, b{y};
      EXPECT_EQ(Compare(a, b), CompareByCollator(a, b, Level::Case)) << a << " / " << b;
    }
  }
}

// Each thread compares with collators of its own.
TEST(Collation, ThreadsCompareAtOnce) {
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (std::size_t t = 0; t < wrong.size(); ++t) {
    threads.emplace_back([&wrong, t] {
      for (int i = 0; i < 2000; ++i) {
        if (!Equal("ΣΟΦΊΑ", "σοφία", Level::IgnoreCase) || Compare("école", "École") != -1 ||
            !StartsWith("e\u0301cole", "ÉC", Level::IgnoreCase)) {
          ++wrong[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace tessel::collation
