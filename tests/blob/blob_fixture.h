#pragma once

// The base of the blob tests: the query fixture, plus the call trace of the
// client library captured in memory so that tests can count READTEXT
// commands and see the chunk sizes asked for.

#include <string>
#include <vector>

#include "query_fixture.h"

namespace tessel::testing {

class BlobTest : public QueryTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts capturing trace lines afresh.
  void StartTrace();
  // Trace lines captured since StartTrace that contain `text`.
  static std::vector<std::string> TraceLines(const std::string& text);
  // The byte counts of the dbreadtext calls traced since StartTrace.
  static std::vector<int> ReadTextCounts();
  // `size` bytes of a repeating pattern of printable characters.
  static std::string Pattern(std::size_t size, char first = 'a');
  // A T-SQL hexadecimal literal of the bytes ("0x" when empty).
  static std::string HexLiteral(const std::string& bytes);
  // Creates b_docs (id, body text, pic image, wide ntext) with the rows given.
  void MakeDocs(const std::vector<std::string>& rows);

 private:
  bool tracing_ = false;
};

}  // namespace tessel::testing
