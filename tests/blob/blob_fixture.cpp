#include "blob_fixture.h"

#include <cstdlib>
#include <mutex>

#include "framework/sysutils.h"

namespace tessel::testing {
namespace {

std::mutex trace_mutex;
std::vector<std::string> trace_lines;

void Collect(const char* line) {
  std::lock_guard lock(trace_mutex);
  trace_lines.emplace_back(line);
}

}  // namespace

void BlobTest::SetUp() {
  QueryTest::SetUp();
}

void BlobTest::TearDown() {
  if (tracing_) {
    server->DBTrace(false);
    tracing_ = false;
  }
  QueryTest::TearDown();
}

void BlobTest::StartTrace() {
  {
    std::lock_guard lock(trace_mutex);
    trace_lines.clear();
  }
  if (!tracing_) {
    server->RegisterTraceCallback(&Collect);
    server->DBTrace(true);
    tracing_ = true;
  }
}

std::vector<std::string> BlobTest::TraceLines(const std::string& text) {
  std::lock_guard lock(trace_mutex);
  std::vector<std::string> found;
  for (const std::string& line : trace_lines) {
    if (line.find(text) != std::string::npos) found.push_back(line);
  }
  return found;
}

std::vector<int> BlobTest::ReadTextCounts() {
  std::vector<int> counts;
  for (const std::string& line : TraceLines("dbreadtext ")) {
    const std::size_t at = line.find("dbreadtext ");
    counts.push_back(std::atoi(line.c_str() + at + 11));
  }
  return counts;
}

std::string BlobTest::Pattern(std::size_t size, char first) {
  std::string text(size, ' ');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>(first + i % 23);
  return text;
}

std::string BlobTest::HexLiteral(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string text = "0x";
  for (unsigned char c : bytes) {
    text += digits[c >> 4];
    text += digits[c & 15];
  }
  return text;
}

void BlobTest::MakeDocs(const std::vector<std::string>& rows) {
  MakeTable("b_docs", "id int NOT NULL, body text NULL, pic image NULL, wide ntext NULL", rows);
}

}  // namespace tessel::testing
