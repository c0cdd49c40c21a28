// The error and message handlers: FreeTDS calls the trampolines below, which give the
// application's handlers Microsoft's numbers and argument types.
#include <atomic>
#include <chrono>
#include <new>
#include <string>

#include "errors.h"
#include "state.h"

namespace tessel::dblib {
namespace {

std::atomic<MsErrHandler> err_handler{nullptr};
std::atomic<MsMsgHandler> msg_handler{nullptr};

constexpr int kSQLEPWD = 10003;
constexpr int kSQLECONN = 10004;
constexpr int kSeverityInformational = 10;  // server messages above it are errors

// The login dbopen runs on this thread, whether the server sent an error during it, and
// whether the login time-out passed during it.
thread_local bool login_running = false;
thread_local bool login_refused = false;
thread_local bool login_timed_out = false;

std::atomic<int> query_timeout_seconds{0};
std::atomic<int> login_timeout_seconds{0};

// Which time-out passed, for the text that says so.
enum class TimeOut {
  kLogin,             // the login time-out, during dbopen
  kQuery,             // the query time-out, on an open connection
  kCancelAfterQuery,  // the cancel sent after a query time-out went unanswered
  kCancel,            // the cancel sent by dbcancel went unanswered
  kAbandoned,         // another thread gave the wait up (dbabandon)
};

// The query time-out of dbproc in seconds, 0 if not known: dbsettime's, unless the
// connection was given one of its own with dbsetopt, which FreeTDS does not tell.
int QueryTimeoutOf(DBPROCESS* dbproc) {
  if (dbproc != nullptr && dbisopt(dbproc, DBSETTIME, "")) return 0;
  return query_timeout_seconds.load();
}

std::string TimeOutTextOrThrow(TimeOut which, DBPROCESS* dbproc) {
  const auto of = [](int seconds) {
    if (seconds <= 0) return std::string();
    return " of " + std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
  };
  const std::string unanswered = " did not answer the cancel within " +
                                 std::to_string(kCancelGrace.count()) +
                                 " seconds: the connection was closed.";
  const auto query = [&] {
    return "The query time-out" + of(QueryTimeoutOf(dbproc)) + " passed without an answer";
  };
  switch (which) {
    case TimeOut::kLogin:
      return "The login time-out" + of(login_timeout_seconds.load()) +
             " passed before the server completed the login.";
    case TimeOut::kQuery:
      return query() + ".";
    case TimeOut::kCancelAfterQuery:
      return query() + ", and the server" + unanswered;
    case TimeOut::kCancel:
      return "The server" + unanswered;
    case TimeOut::kAbandoned:
      return "The wait for the server was given up by the application: the connection was "
             "closed.";
  }
  return {};
}

// The operating-system half of a time-out's error: what passed and what became of the
// connection. Empty if memory ran out.
std::string TimeOutText(TimeOut which, DBPROCESS* dbproc) noexcept {
  try {
    return TimeOutTextOrThrow(which, dbproc);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

// What the application's error handler receives for one FreeTDS error.
struct MsError {
  int number;
  std::string text;
  int oserr;
  std::string os_text;  // empty: the operating system reported nothing
};

MsError Translate(int dberr, int oserr, const char* dberrstr, const char* oserrstr) {
  MsError e{MicrosoftErrorNumber(dberr), "", oserr, ""};
  // FreeTDS passes the text for "no error" (errno 0) when nothing failed below it.
  if (oserr != 0 && oserr != DBNOERR && oserrstr != nullptr) e.os_text = oserrstr;
  if (e.os_text.empty()) e.oserr = DBNOERR;
  if (dberr == SYBEINTF || dberr == SYBEUHST) {
    // The name could not be resolved; FreeTDS's text names it.
    e.os_text = dberrstr != nullptr ? dberrstr : "";
  } else if (login_running && IsFailedLogin(dberr)) {
    if (login_refused) {
      e.number = kSQLEPWD;
    } else {
      e.number = kSQLECONN;
      e.os_text = login_timed_out ? TimeOutTextOrThrow(TimeOut::kLogin, nullptr)
                                  : "The login exchange with the server did not complete.";
    }
  }
  e.text = ErrorTextFor(e.number, dberrstr);
  return e;
}

const char* OrEmpty(const char* text) {
  return text != nullptr ? text : "";
}

// Reports a time-out to the application's handler as Microsoft's SQLETIME, saying which
// time-out passed and what became of the connection; returns the handler's answer.
int ReportTimeOut(DBPROCESS* dbproc, int severity, const char* dberrstr, TimeOut which) {
  MsErrHandler handler = err_handler.load();
  if (handler == nullptr) return ms::kIntCancel;
  const int number = MicrosoftErrorNumber(SYBETIME);
  const std::string why = TimeOutText(which, dbproc);
  try {
    const std::string text = ErrorTextFor(number, dberrstr);
    return handler(dbproc, severity, number, DBNOERR, text.c_str(),
                   why.empty() ? nullptr : why.c_str());
  } catch (const std::bad_alloc&) {
    return handler(dbproc, severity, number, DBNOERR, dberrstr, nullptr);
  }
}

// A time-out, as FreeTDS reports it: a wait on the network outlasted the login or query
// time-out, or a cancel went unanswered past its deadline (FreeTDS's interrupt check,
// see state.cpp, then ends the wait as a time-out).
//
// FreeTDS's INT_TIMEOUT sends the server a cancel and then waits for its answer without
// limit: a server that stopped answering would keep the caller for ever. So a query
// time-out the application cancels sends the cancel and arms a deadline; a server that
// answers in time leaves the connection usable (the call fails), one that does not has
// its connection closed (dbdead is true after). A login that times out is abandoned.
int OnTimeOut(DBPROCESS* dbproc, int severity, const char* dberrstr) {
  if (login_running) {
    login_timed_out = true;
    const int rc = ReportTimeOut(dbproc, severity, dberrstr, TimeOut::kLogin);
    return rc == ms::kIntContinue ? INT_CONTINUE : INT_CANCEL;
  }
  ConnState* conn = FindConn(dbproc);
  if (conn != nullptr && conn->abandoned.load()) {
    ReportTimeOut(dbproc, severity, dberrstr, TimeOut::kAbandoned);
    return INT_CANCEL;  // FreeTDS closes the socket
  }
  if (conn != nullptr && conn->cancel_deadline != std::chrono::steady_clock::time_point{}) {
    // A query time-out shorter than the grace: the cancel still has time to be answered.
    if (std::chrono::steady_clock::now() < conn->cancel_deadline) return INT_TIMEOUT;
    const TimeOut which =
        conn->cancel_after_timeout ? TimeOut::kCancelAfterQuery : TimeOut::kCancel;
    conn->cancel_deadline = {};
    conn->cancel_after_timeout = false;
    ReportTimeOut(dbproc, severity, dberrstr, which);
    return INT_CANCEL;  // FreeTDS closes the socket
  }
  const int rc =
      FreeTdsHandlerReturn(SYBETIME, ReportTimeOut(dbproc, severity, dberrstr, TimeOut::kQuery));
  if (rc != INT_TIMEOUT) return rc;
  // Without this library's state there is no deadline to bound the wait for the cancel.
  if (conn == nullptr) return INT_CANCEL;
  ArmCancelDeadline(*conn, true);
  return INT_TIMEOUT;
}

int ErrTrampoline(DBPROCESS* dbproc, int severity, int dberr, int oserr, char* dberrstr,
                  char* oserrstr) {
  if (dberr == SYBETIME) return OnTimeOut(dbproc, severity, dberrstr);
  MsErrHandler handler = err_handler.load();
  int rc = ms::kIntCancel;
  if (handler != nullptr) {
    try {
      const MsError e = Translate(dberr, oserr, dberrstr, oserrstr);
      rc = handler(dbproc, severity, e.number, e.oserr, e.text.c_str(),
                   e.os_text.empty() ? nullptr : e.os_text.c_str());
    } catch (const std::bad_alloc&) {
      rc = handler(dbproc, severity, MicrosoftErrorNumber(dberr), oserr, dberrstr, oserrstr);
    }
  }
  return FreeTdsHandlerReturn(dberr, rc);
}

int MsgTrampoline(DBPROCESS* dbproc, DBINT msgno, int msgstate, int severity, char* msgtext,
                  char* srvname, char* procname, int line) {
  if (login_running && severity > kSeverityInformational) login_refused = true;
  MsMsgHandler handler = nullptr;
  if (ConnState* conn = FindConn(dbproc)) handler = conn->msg_handler.load();
  if (handler == nullptr) handler = msg_handler.load();
  if (handler != nullptr) {
    // Microsoft's handler takes the line as an unsigned 16-bit number; the texts are
    // never null there.
    handler(dbproc, msgno, msgstate, severity, OrEmpty(msgtext), OrEmpty(srvname),
            OrEmpty(procname), static_cast<DBUSMALLINT>(line));
  }
  return 0;
}

}  // namespace

int FreeTdsHandlerReturn(int ftds_error, int ms_rc) {
  if (ftds_error == SYBETIME) {
    // Microsoft: INT_CONTINUE waits another time-out period; INT_CANCEL (and here also
    // INT_EXIT) makes the call fail after cancelling the command, leaving the connection
    // usable, which is FreeTDS's INT_TIMEOUT (bounded by a deadline: see OnTimeOut).
    return ms_rc == ms::kIntContinue ? INT_CONTINUE : INT_TIMEOUT;
  }
  // Outside a time-out FreeTDS takes INT_CONTINUE and INT_EXIT as a request to exit the
  // process; a library must never end its host, so every answer means "fail the call".
  return INT_CANCEL;
}

void BeginLogin() {
  login_running = true;
  login_refused = false;
  login_timed_out = false;
}

void EndLogin() {
  login_running = false;
  login_refused = false;
  login_timed_out = false;
}

void NoteQueryTimeout(int seconds) {
  query_timeout_seconds.store(seconds);
}

void NoteLoginTimeout(int seconds) {
  login_timeout_seconds.store(seconds);
}

MsErrHandler ErrHandler() {
  return err_handler.load();
}
MsErrHandler SetErrHandler(MsErrHandler handler) {
  return err_handler.exchange(handler);
}
MsMsgHandler MsgHandler() {
  return msg_handler.load();
}
MsMsgHandler SetMsgHandler(MsMsgHandler handler) {
  return msg_handler.exchange(handler);
}

void InstallTrampolines() {
  ftds_dberrhandle(ErrTrampoline);
  ftds_dbmsghandle(MsgTrampoline);
}

void ReportError(DBPROCESS* dbproc, int severity, int ms_error, const std::string& text) {
  if (MsErrHandler handler = err_handler.load()) {
    handler(dbproc, severity, ms_error, DBNOERR, text.c_str(), nullptr);
  }
}

}  // namespace tessel::dblib

using namespace tessel::dblib;

NTWDBLIB_API MsErrHandler dberrhandle(MsErrHandler handler) {
  InstallTrampolines();
  return SetErrHandler(handler);
}

NTWDBLIB_API MsMsgHandler dbmsghandle(MsMsgHandler handler) {
  InstallTrampolines();
  return SetMsgHandler(handler);
}

NTWDBLIB_API MsMsgHandler dbprocmsghandle(DBPROCESS* dbproc, MsMsgHandler handler) {
  InstallTrampolines();
  ConnState* conn = FindConn(dbproc);
  if (conn == nullptr) {
    ReportError(dbproc, ms::kExProgram, ms::kErrNullDbproc,
                "dbprocmsghandle: the DBPROCESS is not an open connection");
    return nullptr;
  }
  return conn->msg_handler.exchange(handler);
}
