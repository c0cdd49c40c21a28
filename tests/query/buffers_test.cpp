// TlqBuffers, the record cache's list of owned blocks.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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

// Items are carved out of shared blocks and a deleted item's memory is handed
// out again: across many block boundaries, with deletes, inserts and a new
// item size after ClearBuffers, every item keeps exactly its own bytes and a
// new item starts from its source or from zeros.
TEST(TlqBuffers, ItemsKeepTheirBytesAcrossBlocksReuseAndANewLayout) {
  TlqBuffers buffers;
  for (const int size : {7, 1000, 24}) {
    SCOPED_TRACE(size);
    buffers.ClearBuffers();
    buffers.ItemSize = size;
    std::vector<std::string> expected;
    auto content = [&](int n) {
      std::string bytes(static_cast<std::size_t>(size), '\0');
      for (int i = 0; i < size; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<char>(n * 31 + i);
      return bytes;
    };
    for (int n = 0; n < 3000; ++n) {
      expected.push_back(content(n));
      buffers.AppendBuffer(expected.back().data());
    }
    for (int index = 3000; index >= 1; index -= 7) {
      ASSERT_TRUE(buffers.DeleteBuffer(index));
      expected.erase(expected.begin() + (index - 1));
    }
    for (int n = 0; n < 500; ++n) {
      const int at = 1 + (n * 13) % (buffers.Count() + 1);
      expected.insert(expected.begin() + (at - 1), content(5000 + n));
      buffers.InsertBuffer(at, expected[static_cast<std::size_t>(at - 1)].data());
    }
    char* empty = buffers.AppendEmpty();
    expected.emplace_back(static_cast<std::size_t>(size), '\0');
    EXPECT_EQ(empty, buffers.GetBuffer(buffers.Count()));
    buffers.AppendBuffer(content(9).data());
    buffers.DropLast();

    ASSERT_EQ(buffers.Count(), static_cast<int>(expected.size()));
    for (int index = 1; index <= buffers.Count(); ++index)
      ASSERT_EQ(Item(buffers, index), expected[static_cast<std::size_t>(index - 1)]) << index;
  }
}

TEST(BlobDescriptorLayout, FieldsSitWhereTheSlotExpectsThem) {
  EXPECT_EQ(sizeof(BlobDescriptor), 32u);
  EXPECT_EQ(offsetof(BlobDescriptor, TimeStamp), 16u);
  EXPECT_EQ(offsetof(BlobDescriptor, DataLength), 24u);
  EXPECT_EQ(offsetof(BlobDescriptor, BlobIndex), 28u);
}

}  // namespace
}  // namespace tessel
