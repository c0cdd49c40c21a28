// The error and message handlers: FreeTDS calls the trampolines below, which give the
// application's handlers Microsoft's numbers and argument types.
#include <atomic>
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

// The login dbopen runs on this thread, and whether the server sent an error during it.
thread_local bool login_running = false;
thread_local bool login_refused = false;

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
      e.os_text = "The login exchange with the server did not complete.";
    }
  }
  e.text = ErrorTextFor(e.number, dberrstr);
  return e;
}

const char* OrEmpty(const char* text) {
  return text != nullptr ? text : "";
}

int ErrTrampoline(DBPROCESS* dbproc, int severity, int dberr, int oserr, char* dberrstr,
                  char* oserrstr) {
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
    // usable, which is FreeTDS's INT_TIMEOUT.
    return ms_rc == ms::kIntContinue ? INT_CONTINUE : INT_TIMEOUT;
  }
  // Outside a time-out FreeTDS takes INT_CONTINUE and INT_EXIT as a request to exit the
  // process; a library must never end its host, so every answer means "fail the call".
  return INT_CANCEL;
}

void BeginLogin() {
  login_running = true;
  login_refused = false;
}

void EndLogin() {
  login_running = false;
  login_refused = false;
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
