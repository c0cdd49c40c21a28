// Process-wide state of the library: the Microsoft-style handlers the application
// installed, and what this library keeps per open connection.
//
// FreeTDS's DBPROCESS pointer is the handle the application sees, so handlers and
// FreeTDS calls need no translation of handles; the per-connection extras live in a
// registry keyed by that pointer. A connection is registered by dbopen and forgotten by
// dbclose and dbexit; an unregistered pointer (a connection FreeTDS is still logging in,
// or one already closed) simply has no extras. The registry is guarded by its own mutex;
// a ConnState is used only by the thread that currently uses its DBPROCESS, except
// msg_handler, which is atomic because dbprocmsghandle may come from another thread.
#ifndef TESSEL_DBLIB_STATE_H
#define TESSEL_DBLIB_STATE_H

#include <atomic>
#include <chrono>
#include <deque>
#include <string>
#include <unordered_map>

#include "ftds.h"
#include "ms_types.h"

namespace tessel::dblib {

// Handler signatures as the application writes them (Microsoft's argument lists).
using MsErrHandler = int (*)(DBPROCESS*, int severity, int dberr, int oserr, const char* dberrstr,
                             const char* oserrstr);
using MsMsgHandler = int (*)(DBPROCESS*, DBINT msgno, int msgstate, int severity,
                             const char* msgtext, const char* srvname, const char* procname,
                             DBUSMALLINT line);

// A DECIMALBIND or NUMERICBIND variable: FreeTDS fills `staging`, and every row read by
// dbnextrow is copied into the application's Microsoft-layout variable.
struct NumericBind {
  int column = 0;
  ms::Numeric* dest = nullptr;
  DBNUMERIC staging{};
  bool rescale = false;  // convert to `wanted` rather than keep the column's shape
  DBTYPEINFO wanted{};
};

struct ConnState {
  std::atomic<MsMsgHandler> msg_handler{nullptr};
  // A command was sent (dbsqlsend, dbrpcsend) and its answer has not been read yet.
  bool answer_pending = false;
  // SET statements from dbsetopt, sent ahead of the next command batch.
  std::string pending_options;
  // dbdata's Microsoft-layout copies of decimal/numeric values, by column (node-stable,
  // so a pointer handed out stays valid until the connection is closed).
  std::unordered_map<int, ms::Numeric> numerics;
  std::unordered_map<int, ms::Numeric> return_numerics;
  // FreeTDS keeps pointers to the staging buffers: a deque keeps them in place.
  std::deque<NumericBind> numeric_binds;
  // dbreadtext's place in the value of the current row; false before the first row.
  bool text_row_active = false;
  DBINT text_position = 0;
  // FreeTDS-layout copies of decimal/numeric RPC parameters, which FreeTDS reads only
  // at dbrpcsend (a deque keeps their addresses stable).
  std::deque<DBNUMERIC> rpc_numerics;
  // A cancel is on its way to the server (sent after a time-out, or by dbcancel): if its
  // answer has not come by this time, the connection is closed instead of waited on. The
  // epoch: none. Cleared when the next command is sent and when dbcancel returns.
  std::chrono::steady_clock::time_point cancel_deadline{};
  bool cancel_after_timeout = false;  // the cancel was sent because the query time-out passed
  // Set by dbabandon from any thread: the call waiting on the network gives up at
  // FreeTDS's next interrupt check and the connection is closed. Cleared by the next
  // command sent.
  std::atomic<bool> abandoned{false};
};

// How long a cancel may go unanswered before the connection is given up: a server that
// does not answer it within this time is not answering at all (stopped, or the network
// between is gone), and waiting longer would block the caller without limit.
inline constexpr std::chrono::seconds kCancelGrace{2};

// Arms conn's cancel deadline, unless one is armed already (the earlier one stands).
void ArmCancelDeadline(ConnState& conn, bool after_timeout);
// Forgets conn's cancel deadline: the answer came, or a new command starts afresh.
void ClearCancelDeadline(DBPROCESS* dbproc);
// Marks dbproc's connection abandoned, if it is still registered; any thread.
void AbandonConn(DBPROCESS* dbproc);

// Forgets what belongs to the current result set (bound decimal variables, the reading
// position of dbreadtext); called when a new batch is sent or the next result starts.
void ResetResultState(DBPROCESS* dbproc);

// The state of a registered connection, or null. The pointer stays valid until the
// connection is closed.
ConnState* FindConn(DBPROCESS* dbproc);
// Registers a connection that dbopen just opened, replacing any stale entry left at
// the same address, and makes FreeTDS consult its cancel deadline once a second while it
// waits on the network. Returns false if memory ran out.
bool RegisterConn(DBPROCESS* dbproc);
void ForgetConn(DBPROCESS* dbproc);
void ForgetAllConns();

MsErrHandler ErrHandler();
MsErrHandler SetErrHandler(MsErrHandler handler);
MsMsgHandler MsgHandler();
MsMsgHandler SetMsgHandler(MsMsgHandler handler);

// Makes FreeTDS call this library's trampolines, which translate numbers and arguments and
// then call the handlers above. Idempotent; FreeTDS's dbinit resets its error handler,
// so this runs again after it.
void InstallTrampolines();

// Reports an error found by this library itself (Microsoft numbering) to the installed
// error handler, as FreeTDS reports its own.
void ReportError(DBPROCESS* dbproc, int severity, int ms_error, const std::string& text);

// Marks the login that dbopen runs on the calling thread, so that the error ending a
// login the server refused (a server error arrived during it) is reported as Microsoft's
// "Login incorrect." and not as a failed connection.
void BeginLogin();
void EndLogin();

// The time-outs last given to dbsettime and dbsetlogintime (0: none given), which the
// error reporting one passing names.
void NoteQueryTimeout(int seconds);
void NoteLoginTimeout(int seconds);

// What FreeTDS is told to do after the application's handler answered `ms_rc` (INT_EXIT,
// INT_CONTINUE, INT_CANCEL) for FreeTDS error `ftds_error`. Never INT_EXIT: FreeTDS would
// end the process.
int FreeTdsHandlerReturn(int ftds_error, int ms_rc);

}  // namespace tessel::dblib

#endif
