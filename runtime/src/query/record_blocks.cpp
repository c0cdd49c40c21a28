// RecordBlocks: records carved from blocks, and the shelf of idle blocks that
// every pool shares.

#include "query/record_blocks.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define TESSEL_RECORDS_POISON 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSEL_RECORDS_POISON 1
#endif
#endif

#ifdef TESSEL_RECORDS_POISON
#include <sanitizer/asan_interface.h>
#endif

namespace tessel::records {
namespace {

// The first blocks of a pool grow from small, so that a short result takes
// little; later ones are all of the full size, which the shelf keeps.
constexpr std::size_t kFirstBlockBytes = 4096;
constexpr std::size_t kBlockBytes = 256 * 1024;
// Idle full-size blocks kept for the next fill; more go back to the heap.
constexpr std::size_t kShelfBlocks = 128;  // 32 MiB

#ifdef TESSEL_RECORDS_POISON
// Bytes between records that the address checker watches: a write past a
// record's end is reported as it would be past a separate allocation.
constexpr std::size_t kGap = 16;
void Poison(const char* at, std::size_t bytes) {
  ASAN_POISON_MEMORY_REGION(at, bytes);
}
void Unpoison(const char* at, std::size_t bytes) {
  ASAN_UNPOISON_MEMORY_REGION(at, bytes);
}
#else
constexpr std::size_t kGap = 0;
void Poison(const char*, std::size_t) {}
void Unpoison(const char*, std::size_t) {}
#endif

// Records start on 8-byte boundaries, as separate allocations did.
std::size_t StrideFor(std::size_t size) {
  return (std::max<std::size_t>(size, 1) + 7) / 8 * 8 + kGap;
}

class Shelf {
 public:
  char* Take() {
    const std::lock_guard<std::mutex> lock(FMutex);
    if (FBlocks.empty()) return nullptr;
    char* block = FBlocks.back();
    FBlocks.pop_back();
    return block;
  }

  void Put(char* block) noexcept {
    {
      const std::lock_guard<std::mutex> lock(FMutex);
      if (FBlocks.size() < kShelfBlocks) {
        // Reserved up front: putting a block back never allocates.
        if (FBlocks.capacity() < kShelfBlocks) {
          try {
            FBlocks.reserve(kShelfBlocks);
          } catch (const std::bad_alloc&) {
          }
        }
        if (FBlocks.size() < FBlocks.capacity()) {
          FBlocks.push_back(block);
          return;
        }
      }
    }
    Unpoison(block, kBlockBytes);
    delete[] block;
  }

 private:
  std::mutex FMutex;
  std::vector<char*> FBlocks;
};

// Never destroyed: a query destroyed during exit may still put blocks back.
Shelf& TheShelf() {
  static Shelf* const shelf = new Shelf;
  return *shelf;
}

}  // namespace

RecordBlocks::~RecordBlocks() {
  for (const Block& block : FBlocks) {
    if (block.Bytes == kBlockBytes) {
      TheShelf().Put(block.Data);
    } else {
      Unpoison(block.Data, block.Bytes);
      delete[] block.Data;
    }
  }
}

char* RecordBlocks::Take(std::size_t Size, bool Zeroed) {
  const std::size_t stride = StrideFor(Size);
  if (Size != FSize) {
    // Records of another size given back do not fit: they stay unused
    // until Reset.
    FFree.clear();
    FSize = Size;
    FStride = stride;
  }
  char* record;
  if (!FFree.empty()) {
    record = FFree.back();
    FFree.pop_back();
  } else {
    record = Carve(stride);
  }
  Unpoison(record, Size);
  if (Zeroed) std::memset(record, 0, Size);
  return record;
}

void RecordBlocks::Give(char* Record) noexcept {
  if (Record == nullptr) return;
  Poison(Record, FSize);
  try {
    FFree.push_back(Record);
  } catch (const std::bad_alloc&) {
    // Not reused before Reset; the block still owns it.
  }
}

void RecordBlocks::Reset() noexcept {
  FFree.clear();
  std::size_t kept = 0;
  for (const Block& block : FBlocks) {
    if (block.Bytes == kBlockBytes) {
      TheShelf().Put(block.Data);
    } else {
      Poison(block.Data, block.Bytes);
      FBlocks[kept++] = block;
    }
  }
  FBlocks.resize(kept);
  FBlock = 0;
  FUsed = 0;
}

char* RecordBlocks::Carve(std::size_t stride) {
  while (FBlock < FBlocks.size()) {
    const Block& block = FBlocks[FBlock];
    if (block.Bytes - FUsed >= stride) {
      char* record = block.Data + FUsed;
      FUsed += stride;
      return record;
    }
    ++FBlock;
    FUsed = 0;
  }
  AddBlock(stride);
  FUsed = stride;
  return FBlocks[FBlock].Data;
}

void RecordBlocks::AddBlock(std::size_t stride) {
  // 4 KiB, 16 KiB, 64 KiB, then full-size blocks.
  std::size_t bytes = kBlockBytes;
  if (FBlocks.size() < 3) bytes = kFirstBlockBytes << (2 * FBlocks.size());
  // A record larger than the block planned gets a block of its own size.
  bytes = std::max(bytes, stride);
  FBlocks.reserve(FBlocks.size() + 1);
  char* data = bytes == kBlockBytes ? TheShelf().Take() : nullptr;
  if (data == nullptr) data = new char[bytes];
  Poison(data, bytes);
  FBlocks.push_back({data, bytes});
  FBlock = FBlocks.size() - 1;
}

}  // namespace tessel::records
