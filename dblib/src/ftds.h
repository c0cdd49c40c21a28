// FreeTDS's db-lib API as this library sees it: every function that shares its name
// with one of our exports is declared (and linked, see dblib/CMakeLists.txt) under the
// name ftds_<name>, so that the plain names stay free for the Microsoft-style exports.
// Include this header instead of <sybdb.h>; never together with <ntwdblib.h>.
#ifndef TESSEL_DBLIB_FTDS_H
#define TESSEL_DBLIB_FTDS_H

// clang-format off
#include "ftds_rename.h"
#include <sybdb.h>
#include "ftds_unrename.h"
// clang-format on

// sybdb.h makes these two macros; ours are functions.
#undef dbopen
#undef dbsetlpacket

// The exported functions are defined with FreeTDS's types, which have the same size and
// representation as Microsoft's (pointers, int, 32-bit DBINT, unsigned char BYTE).
#define NTWDBLIB_API extern "C" __attribute__((visibility("default")))

#endif
