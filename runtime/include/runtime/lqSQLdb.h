#pragma once

// The binding to the DB-Library client library. The package never links the
// client library: InitializeDBLIB loads it by name at run time, resolves 54 of
// its entry points, and the wrappers below (same names and arguments as the
// library's own functions) are the only road from the package to it. Some
// wrappers also write a line to the call trace while tracing is on.
//
// Which library is loaded: the file named by the environment variable
// TESSEL_DBLIB (a path, or a name the dynamic loader searches for) when it is
// set and not empty; otherwise "libntwdblib.so", then "ntwdblib.so". Any
// library exporting the 54 names with Microsoft DB-Library's conventions can
// be dropped in this way.
//
// Threads: InitializeDBLIB may be called from any thread (calls are
// serialised). Once it has returned without raising, the wrappers may be
// called from any thread; the client library's own rules about sharing a
// connection between threads still apply. The wrappers live in namespace
// tessel, so they do not collide with the C symbols of the client library
// when a program links both.

#include <cstdint>
#include <string>

#include "framework/exceptions.h"

namespace tessel {

// Raised when the client library cannot be loaded or lacks an entry point.
class ElqDBLIBError : public Exception {
 public:
  using Exception::Exception;
};

// Handles of the client library, opaque to the package.
struct DBPROCESS;
struct LOGINREC;
using PDBPROCESS = DBPROCESS*;
using PLOGINREC = LOGINREC*;
// What dbcolinfo takes: a DBPROCESS (or, for some column kinds, a cursor
// handle), so the library declares it untyped.
using PDBHANDLE = void*;

// The integer types of Microsoft DB-Library, with their sizes on this platform.
using DBINT = std::int32_t;
using DBSMALLINT = std::int16_t;
using DBUSMALLINT = std::uint16_t;
using DBTINYINT = std::uint8_t;
using BOOL = int;  // 4 bytes, non-zero is true
using DBBYTE = std::uint8_t;

// Return codes, tested as numbers: any non-zero value counts as success.
inline constexpr int SUCCEED = 1;
inline constexpr int FAIL = 0;
inline constexpr int NO_MORE_ROWS = -2;
inline constexpr int REG_ROW = -1;
inline constexpr int INT_CANCEL = 2;

// Two 32-bit integers exported under the names the library's headers give
// its result types; nothing in the package reads or writes them.
extern std::int32_t STATUS;
extern std::int32_t RETCODE;

// The column description filled by dbcolinfo, laid out as the client library
// expects it: two-byte packing, 122 bytes. The caller stores
// sizeof(DBCOL) in SizeOfStruct before the call.
#pragma pack(push, 2)
struct DBCOL {
  DBINT SizeOfStruct;
  char Name[31];
  char ActualName[31];
  char TableName[31];
  std::int16_t Type;
  DBINT UserType;
  DBINT MaxLength;
  DBBYTE Precision;
  DBBYTE Scale;
  BOOL VarLength;
  DBBYTE Null;
  DBBYTE CaseSensitive;
  DBBYTE Updatable;
  BOOL Identity;
};
#pragma pack(pop)
static_assert(sizeof(DBCOL) == 122, "DBCOL must keep the client library's 122-byte layout");

// A server date-time as stored: days since 1900-01-01 and 1/300 seconds.
struct DBDATETIME {
  DBINT dtdays;
  std::uint32_t dttime;
};

// A date-time split into its parts by dbdatecrack.
struct DBDATEREC {
  int year;
  int quarter;
  int month;
  int dayofyear;
  int day;
  int week;
  int weekday;
  int hour;
  int minute;
  int second;
  int millisecond;
};

using DBERRHANDLE_PROC = int (*)(PDBPROCESS dbproc, int severity, int dberr, int oserr,
                                 const char* dberrstr, const char* oserrstr);
using DBMSGHANDLE_PROC = int (*)(PDBPROCESS dbproc, DBINT msgno, int msgstate, int severity,
                                 const char* msgtext, const char* srvname, const char* procname,
                                 DBUSMALLINT line);

// Loads and binds the client library. Returns at once when it is already
// bound. Raises ElqDBLIBError with SLoadLibError when no library can be
// loaded (a later call tries again), and with SGetProcAddrError when the
// loaded library lacks one of the 54 names (every later call raises the same
// without loading anything).
void InitializeDBLIB();

// Releases what the binding holds, as at package unload: forgets the trace
// callback, switches tracing off (the closing line goes to the log file) and
// unloads the client library. A static destructor runs it at process exit;
// calling it earlier is allowed, after which InitializeDBLIB loads afresh.
void FinalizeDBLIB();

// The file name the last successful InitializeDBLIB loaded ("" before), and
// the dynamic loader's explanation of the last failed load ("" if none).
std::string LoadedDBLIBName();
std::string LastDBLIBLoadError();

// The 54 entry points, in the order they are resolved. Each passes its
// arguments and result through unchanged. Precondition: InitializeDBLIB has
// returned without raising. Only writing a trace line can raise here.
PLOGINREC dblogin();
PDBPROCESS dbopen(PLOGINREC login, const char* servername);
const char* dbinit();
void dbexit();
int dbsetlname(PLOGINREC login, const char* value, int item);
void dbfreelogin(PLOGINREC login);
int bcp_setl(PLOGINREC login, BOOL enable);
void dbclose(PDBPROCESS dbproc);
int dbcmd(PDBPROCESS dbproc, const char* cmdstring);
void dbfreebuf(PDBPROCESS dbproc);
int dbsqlexec(PDBPROCESS dbproc);
int dbresults(PDBPROCESS dbproc);
int dbbind(PDBPROCESS dbproc, int column, int vartype, DBINT varlen, DBBYTE* varaddr);
int dbnullbind(PDBPROCESS dbproc, int column, const DBINT* indicator);
int dbaltbind(PDBPROCESS dbproc, int computeid, int column, int vartype, DBINT varlen,
              const DBBYTE* varaddr);
int dbnextrow(PDBPROCESS dbproc);
const DBBYTE* dbdata(PDBPROCESS dbproc, int column);
DBINT dbdatlen(PDBPROCESS dbproc, int column);
int dbrpcinit(PDBPROCESS dbproc, const char* rpcname, DBSMALLINT options);
int dbrpcparam(PDBPROCESS dbproc, const char* paramname, DBBYTE status, int type, DBINT maxlen,
               DBINT datalen, const DBBYTE* value);
int dbrpcsend(PDBPROCESS dbproc);
int dbsqlok(PDBPROCESS dbproc);
int dbcmdrow(PDBPROCESS dbproc);
BOOL dbdead(PDBPROCESS dbproc);
int dbsqlsend(PDBPROCESS dbproc);
DBBYTE* dbretdata(PDBPROCESS dbproc, int retnum);
int dbrpcexec(PDBPROCESS dbproc);
int dbuse(PDBPROCESS dbproc, const char* dbname);
int dbreadtext(PDBPROCESS dbproc, void* buf, DBINT bufsize);
int dbcancel(PDBPROCESS dbproc);
// From any thread: a call waiting on the network for dbproc gives up within
// about a second and the connection is closed. Does nothing with a client
// library that cannot do it.
void dbabandon(PDBPROCESS dbproc);
int dbcanquery(PDBPROCESS dbproc);
int dbsetopt(PDBPROCESS dbproc, int option, const char* param);
DBBYTE* dbtxptr(PDBPROCESS dbproc, int column);
DBBYTE* dbtxtimestamp(PDBPROCESS dbproc, int column);
int dbwritetext(PDBPROCESS dbproc, const char* objname, const DBBYTE* textptr, DBTINYINT textptrlen,
                const DBBYTE* timestamp, BOOL log, DBINT size, const DBBYTE* text);
int dbmoretext(PDBPROCESS dbproc, DBINT size, const DBBYTE* text);
int dbconvert(PDBPROCESS dbproc, int srctype, const DBBYTE* src, DBINT srclen, int desttype,
              DBBYTE* dest, DBINT destlen);
int dbcoltype(PDBPROCESS dbproc, int column);
int dbsettime(int seconds);
int dbsetlogintime(int seconds);
BOOL dbdataready(PDBPROCESS dbproc);
int dbnumcols(PDBPROCESS dbproc);
DBINT dbcount(PDBPROCESS dbproc);
BOOL dbiscount(PDBPROCESS dbproc);
DBINT dbcollen(PDBPROCESS dbproc, int column);
const char* dbcolname(PDBPROCESS dbproc, int column);
int dbcolinfo(PDBHANDLE handle, int type, DBINT column, DBINT computeid, DBCOL* info);
int dbdatecrack(PDBPROCESS dbproc, DBDATEREC* dateinfo, const DBDATETIME* datetime);
DBMSGHANDLE_PROC dbmsghandle(DBMSGHANDLE_PROC handler);
DBMSGHANDLE_PROC dbprocmsghandle(PDBPROCESS dbproc, DBMSGHANDLE_PROC handler);
DBERRHANDLE_PROC dberrhandle(DBERRHANDLE_PROC handler);
int dbsetlpacket(PLOGINREC login, DBUSMALLINT packet_size);
void dbwinexit();
int dbgetpacket(PDBPROCESS dbproc);

// The call trace. Lines start with the time of day in the host's long time
// format, a full stop, the milliseconds right-aligned in three characters and
// a space. They go to the registered callback if there is one, otherwise to
// "~Tessel.log" in $TMPDIR (or /tmp), which is created empty, or emptied, the
// first time a line is written after it was closed. The file is created with
// mode 0600 and never through a symbolic link; a file there that is not a
// regular file of this user is refused with EInOutError, as is a file that
// cannot be created.
using TTraceRoutine = void (*)(const char* TraceMessage);

// Switches tracing on or off for the whole process. Switching on writes
// "Tessel logging started"; switching off without a callback writes
// "Tessel logging ended" and closes the file.
void SQLTraceActive(bool value);
// Whether tracing is on; the traced wrappers test it before building a line.
bool SQLTraceIsActive();
// Writes one line whether tracing is on or not. Raises EInOutError naming the
// file when the log file cannot be created; exceptions of a callback pass on.
void SQLWriteTrace(const std::string& msg);
// Installs `routine` (nullptr: back to the log file); returns the previous one.
TTraceRoutine dbRegisterTraceCallback(TTraceRoutine routine);
// The full path of the log file: $TMPDIR (else /tmp) with "~Tessel.log".
std::string TraceFileName();

}  // namespace tessel
