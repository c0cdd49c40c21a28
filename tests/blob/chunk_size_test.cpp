// The chunk size of text and image reads, against the stand-in client
// library, which can report any packet size.

#include <gtest/gtest.h>

#include <cstdlib>

#include "dblib_stub.h"
#include "runtime/SQLServer.h"
#include "runtime/blob_stream.h"

namespace tessel {
namespace {

class ChunkSizeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("TESSEL_DBLIB", TESSEL_STUB_COMPLETE, 1);
    InitializeDBLIB();
  }
  void SetUp() override { stub_reset(); }
  TSQLServer server{nullptr};
};

TEST_F(ChunkSizeTest, AskedOnceAndRemembered) {
  stub_set("dbgetpacket", 4096);
  EXPECT_EQ(BlobChunkSize(server, nullptr), 3996);
  EXPECT_EQ(BlobChunkSize(server, nullptr), 3996);
  EXPECT_EQ(stub_calls("dbgetpacket"), 1);
  EXPECT_EQ(server.PacketSize(), 4096);
}

TEST_F(ChunkSizeTest, APacketSizeOfZeroMeans8192) {
  stub_set("dbgetpacket", 0);
  EXPECT_EQ(BlobChunkSize(server, nullptr), 8092);
}

// A size that leaves no room for a chunk is asked for again rather than
// giving a chunk of zero or fewer bytes; a size set by the application
// otherwise stands, and the open connection is left alone.
TEST_F(ChunkSizeTest, ASetSizeStandsUnlessItLeavesNoChunk) {
  server.SetPacketSize(512);
  EXPECT_EQ(BlobChunkSize(server, nullptr), 412);
  EXPECT_EQ(stub_calls("dbgetpacket"), 0);
  EXPECT_EQ(stub_calls("dbsetlpacket"), 0);
  server.SetPacketSize(100);
  stub_set("dbgetpacket", 50);
  EXPECT_EQ(BlobChunkSize(server, nullptr), 8092);
}

}  // namespace
}  // namespace tessel
