#pragma once

// Sorting 64-bit unsigned keys together with the places they came from, for
// the record cache's sort by a number: a least-significant-digit radix sort
// over arrays of plain integers, so the work is a few passes over compact
// memory instead of comparisons.
//
// When the spread of the keys leaves room, each key is packed with its place
// into one 64-bit word and only the digits that differ are sorted on. Equal
// keys keep their first order.

#include <cstdint>
#include <vector>

namespace tessel {

// Orders Keys ascending; Places receives, for each key's new place, the
// place (0-based) it had before. Places serves as the sort's second array
// too (64 bits wide for that), so the sort takes no other memory but a
// small table of counts where keys and places fit one word together.
void RadixSortKeys(std::vector<std::uint64_t>& Keys, std::vector<std::uint64_t>& Places);

}  // namespace tessel
