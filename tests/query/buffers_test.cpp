// TlqBuffers, the record cache's list of owned blocks.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "runtime/Tessel.h"

namespace tessel {
namespace {

std::string Item(const TlqBuffers& buffers, int index) {
  return std::string(buffers.GetBuffer(index), static_cast<std::size_t>(buffers.ItemSize));
}

TEST(TlqBuffers, AppendInsertSetDeleteKeepPositionsOneBased) {
  TlqBuffers buffers;
  buffers.ItemSize = 4;
  char source[5] = "aaaa";
  EXPECT_EQ(buffers.AppendBuffer(source), 1);
  std::memcpy(source, "cccc", 4);
  EXPECT_EQ(buffers.AppendBuffer(source), 2);
  std::memcpy(source, "bbbb", 4);
  buffers.InsertBuffer(2, source);
  ASSERT_EQ(buffers.Count(), 3);
  EXPECT_EQ(Item(buffers, 1), "aaaa");
  EXPECT_EQ(Item(buffers, 2), "bbbb");
  EXPECT_EQ(Item(buffers, 3), "cccc");

  // Items are copies: changing the source afterwards changes nothing.
  std::memcpy(source, "zzzz", 4);
  EXPECT_EQ(Item(buffers, 2), "bbbb");
  buffers.SetBuffer(2, source);
  EXPECT_EQ(Item(buffers, 2), "zzzz");

  EXPECT_FALSE(buffers.DeleteBuffer(0));
  EXPECT_FALSE(buffers.DeleteBuffer(4));
  EXPECT_TRUE(buffers.DeleteBuffer(1));
  EXPECT_EQ(Item(buffers, 1), "zzzz");
  buffers.ClearBuffers();
  EXPECT_EQ(buffers.Count(), 0);
  buffers.AppendBuffer(source);  // released by the destructor
}

// Item i's bytes: its index, then a letter of its own, to the end.
std::string Pattern(int size, int i, char salt) {
  std::string bytes(static_cast<std::size_t>(size), static_cast<char>(salt + i % 23));
  std::memcpy(bytes.data(), &i, std::min<std::size_t>(sizeof i, bytes.size()));
  return bytes;
}

void Fill(TlqBuffers& buffers, int count, char salt) {
  for (int i = 0; i < count; ++i) buffers.AppendBuffer(Pattern(buffers.ItemSize, i, salt).data());
}

// Records share blocks with their neighbours and take over the memory of
// records deleted, cleared or left by a cache destroyed: a new record starts
// all zero, and no record's bytes reach into another's.
TEST(TlqBuffers, RecordsInReusedMemoryHoldOnlyTheirOwnBytes) {
  enum Reuse { kClear, kDestroy, kDelete };
  struct Case {
    const char* name;
    int first_size, second_size, count;
    Reuse reuse;
  };
  // 2,000 records of 200 bytes fill the small first blocks and several of
  // the full-size ones.
  const Case cases[] = {
      {"cleared, same size", 200, 200, 2000, kClear},
      {"cleared, larger records", 40, 300, 2000, kClear},
      {"cleared, smaller records", 300, 13, 2000, kClear},
      {"another cache's blocks", 200, 200, 2000, kDestroy},
      {"another cache's blocks, odd size", 200, 77, 3000, kDestroy},
      {"deleted records", 120, 120, 500, kDelete},
      {"records of one", 1, 1, 100, kClear},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto first = std::make_unique<TlqBuffers>();
    first->ItemSize = c.first_size;
    Fill(*first, c.count, 'a');
    auto second = std::make_unique<TlqBuffers>();
    TlqBuffers* cache = first.get();
    if (c.reuse == kClear) {
      cache->ClearBuffers();
    } else if (c.reuse == kDestroy) {
      first.reset();
      cache = second.get();
    } else {
      // Every other record goes; the survivors keep their bytes.
      for (int i = c.count; i >= 1; i -= 2) ASSERT_TRUE(cache->DeleteBuffer(i));
      for (int i = 1; i <= cache->Count(); ++i) {
        ASSERT_EQ(Item(*cache, i), Pattern(c.first_size, 2 * (i - 1), 'a')) << "item " << i;
      }
    }
    cache->ItemSize = c.second_size;
    const int kept = cache->Count();
    for (int i = 0; i < c.count; ++i) {
      char* record = cache->NewRecord();
      ASSERT_EQ(std::string(record, static_cast<std::size_t>(c.second_size)),
                std::string(static_cast<std::size_t>(c.second_size), '\0'))
          << "new record " << i;
      const std::string bytes = Pattern(c.second_size, i, 'A');
      std::memcpy(record, bytes.data(), bytes.size());
      EXPECT_EQ(cache->AppendRecord(record), kept + i + 1);
    }
    for (int i = 0; i < c.count; ++i) {
      ASSERT_EQ(Item(*cache, kept + i + 1), Pattern(c.second_size, i, 'A')) << "record " << i;
    }
  }
}

TEST(TlqBuffers, ADiscardedRecordIsHandedOutAgainEmpty) {
  TlqBuffers buffers;
  buffers.ItemSize = 16;
  char* record = buffers.NewRecord();
  std::memset(record, 'x', 16);
  buffers.DiscardRecord(record);
  EXPECT_EQ(buffers.Count(), 0);
  char* again = buffers.NewRecord();
  EXPECT_EQ(std::string(again, 16), std::string(16, '\0'));
  buffers.AppendRecord(again);
  EXPECT_EQ(buffers.Count(), 1);
}

TEST(BlobDescriptorLayout, FieldsSitWhereTheSlotExpectsThem) {
  EXPECT_EQ(sizeof(BlobDescriptor), 32u);
  EXPECT_EQ(offsetof(BlobDescriptor, TimeStamp), 16u);
  EXPECT_EQ(offsetof(BlobDescriptor, DataLength), 24u);
  EXPECT_EQ(offsetof(BlobDescriptor, BlobIndex), 28u);
}

}  // namespace
}  // namespace tessel
