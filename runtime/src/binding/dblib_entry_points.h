#pragma once

// The table of the client library's entry points that the binding resolves,
// in lookup order, and the storage of their addresses. Written only by the
// loader while it holds its lock; read by the wrappers afterwards.

#include <cstddef>

namespace tessel::detail {

// clang-format off
#define TESSEL_DBLIB_ENTRY_POINTS(X) \
  X(dblogin) X(dbopen) X(dbinit) X(dbexit) X(dbsetlname) X(dbfreelogin) \
  X(bcp_setl) X(dbclose) X(dbcmd) X(dbfreebuf) X(dbsqlexec) X(dbresults) \
  X(dbbind) X(dbnullbind) X(dbaltbind) X(dbnextrow) X(dbdata) X(dbdatlen) \
  X(dbrpcinit) X(dbrpcparam) X(dbrpcsend) X(dbsqlok) X(dbcmdrow) X(dbdead) \
  X(dbsqlsend) X(dbretdata) X(dbrpcexec) X(dbuse) X(dbreadtext) X(dbcancel) \
  X(dbcanquery) X(dbsetopt) X(dbtxptr) X(dbtxtimestamp) X(dbwritetext) X(dbmoretext) \
  X(dbconvert) X(dbcoltype) X(dbsettime) X(dbsetlogintime) X(dbdataready) X(dbnumcols) \
  X(dbcount) X(dbiscount) X(dbcollen) X(dbcolname) X(dbcolinfo) X(dbdatecrack) \
  X(dbmsghandle) X(dbprocmsghandle) X(dberrhandle) X(dbsetlpacket) X(dbwinexit) X(dbgetpacket)
// clang-format on

enum class EntryPoint : std::size_t {
#define TESSEL_ENTRY_ENUM(name) name,
  TESSEL_DBLIB_ENTRY_POINTS(TESSEL_ENTRY_ENUM)
#undef TESSEL_ENTRY_ENUM
      Count
};

inline constexpr std::size_t kEntryPointCount = static_cast<std::size_t>(EntryPoint::Count);
static_assert(kEntryPointCount == 54);

// The names exactly as the client library exports them, in lookup order.
extern const char* const kEntryPointNames[kEntryPointCount];

// The resolved addresses; nullptr where a name was not found.
extern void* entry_points[kEntryPointCount];

inline void* Address(EntryPoint e) {
  return entry_points[static_cast<std::size_t>(e)];
}

// An entry point the binding can do without (a library of another make may
// lack it): its address in the loaded library, nullptr when it is not there
// or nothing is loaded. Any thread.
void* OptionalAddress(const char* name);

}  // namespace tessel::detail
