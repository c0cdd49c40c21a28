// TlqBuffers, the record cache's list of owned blocks.

#include <gtest/gtest.h>

#include <cstring>
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

TEST(BlobDescriptorLayout, FieldsSitWhereTheSlotExpectsThem) {
  EXPECT_EQ(sizeof(BlobDescriptor), 32u);
  EXPECT_EQ(offsetof(BlobDescriptor, TimeStamp), 16u);
  EXPECT_EQ(offsetof(BlobDescriptor, DataLength), 24u);
  EXPECT_EQ(offsetof(BlobDescriptor, BlobIndex), 28u);
}

}  // namespace
}  // namespace tessel
