#pragma once

// Record buffers of one size carved from large blocks, for the record cache.
// A record given back is handed out again; emptying the pool keeps its small
// first blocks and puts its full-size blocks on a process-wide shelf (up to a
// limit), so that the next fill, of this cache or another, writes into memory
// already mapped instead of faulting fresh pages in row by row.

#include <cstddef>
#include <vector>

namespace tessel::records {

class RecordBlocks {
 public:
  RecordBlocks() = default;
  RecordBlocks(const RecordBlocks&) = delete;
  RecordBlocks& operator=(const RecordBlocks&) = delete;
  ~RecordBlocks();

  // A record of Size bytes, all zero when Zeroed (otherwise the caller writes
  // every byte). The size changes only after Reset: records of one size are
  // given back as that size.
  char* Take(std::size_t Size, bool Zeroed);
  // A record taken from this pool since the last Reset, to be handed out
  // again.
  void Give(char* Record) noexcept;
  // Every record taken so far is dead; the memory stays for the next takes.
  void Reset() noexcept;

 private:
  struct Block {
    char* Data;
    std::size_t Bytes;
  };

  char* Carve(std::size_t stride);
  void AddBlock(std::size_t stride);

  std::vector<Block> FBlocks;
  std::size_t FBlock = 0;  // the block being carved
  std::size_t FUsed = 0;   // its bytes handed out
  std::size_t FSize = 0;   // of the records handed out since the size last changed
  std::size_t FStride = 0;
  std::vector<char*> FFree;
};

}  // namespace tessel::records
