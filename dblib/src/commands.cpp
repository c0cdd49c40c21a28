// Command batches, remote procedure calls and the polling of their answers.
#include <poll.h>

#include <string>
#include <vector>

#include "numeric.h"
#include "state.h"

namespace tessel::dblib {
namespace {

// The text in FreeTDS's command buffer.
std::string CommandBuffer(DBPROCESS* dbproc) {
  int length = dbstrlen(dbproc);
  if (length <= 0) return {};
  std::vector<char> text(static_cast<size_t>(length) + 1);
  if (dbstrcpy(dbproc, 0, length, text.data()) != SUCCEED) return {};
  return std::string(text.data(), static_cast<size_t>(length));
}

// Puts the SET statements of dbsetopt in front of the command buffer, so that they reach
// the server with the next batch (alone, if the buffer is empty).
RETCODE PrependOptions(DBPROCESS* dbproc, ConnState* conn) {
  if (conn == nullptr || conn->pending_options.empty()) return SUCCEED;
  std::string text = conn->pending_options + CommandBuffer(dbproc);
  conn->pending_options.clear();
  ftds_dbfreebuf(dbproc);
  return ftds_dbcmd(dbproc, text.c_str());
}

// Sends the pending SET statements as a batch of their own and reads its answer, for a
// remote procedure call, which cannot carry them.
RETCODE SendOptionsAlone(DBPROCESS* dbproc, ConnState* conn) {
  if (conn == nullptr || conn->pending_options.empty()) return SUCCEED;
  std::string saved = CommandBuffer(dbproc);
  std::string options;
  options.swap(conn->pending_options);
  ftds_dbfreebuf(dbproc);
  RETCODE rc = ftds_dbcmd(dbproc, options.c_str());
  if (rc == SUCCEED) rc = ftds_dbsqlexec(dbproc);
  if (rc == SUCCEED) {
    RETCODE r;
    while ((r = ftds_dbresults(dbproc)) == SUCCEED) ftds_dbcanquery(dbproc);
    if (r == FAIL) rc = FAIL;
  }
  ftds_dbfreebuf(dbproc);
  if (!saved.empty() && ftds_dbcmd(dbproc, saved.c_str()) != SUCCEED) rc = FAIL;
  return rc;
}

void SetPending(DBPROCESS* dbproc, bool pending) {
  if (ConnState* conn = FindConn(dbproc)) conn->answer_pending = pending;
}

}  // namespace
}  // namespace tessel::dblib

using namespace tessel::dblib;

NTWDBLIB_API RETCODE dbcmd(DBPROCESS* dbproc, const char* cmdstring) {
  return ftds_dbcmd(dbproc, cmdstring);
}

NTWDBLIB_API void dbfreebuf(DBPROCESS* dbproc) {
  ftds_dbfreebuf(dbproc);
}

NTWDBLIB_API RETCODE dbsqlsend(DBPROCESS* dbproc) {
  ClearCancelDeadline(dbproc);
  ResetResultState(dbproc);
  try {
    if (PrependOptions(dbproc, FindConn(dbproc)) != SUCCEED) return FAIL;
  } catch (const std::bad_alloc&) {
    return FAIL;
  }
  RETCODE rc = ftds_dbsqlsend(dbproc);
  SetPending(dbproc, rc == SUCCEED);
  return rc;
}

NTWDBLIB_API RETCODE dbsqlok(DBPROCESS* dbproc) {
  SetPending(dbproc, false);
  return ftds_dbsqlok(dbproc);
}

NTWDBLIB_API RETCODE dbsqlexec(DBPROCESS* dbproc) {
  if (dbsqlsend(dbproc) != SUCCEED) return FAIL;
  return dbsqlok(dbproc);
}

NTWDBLIB_API RETCODE dbresults(DBPROCESS* dbproc) {
  SetPending(dbproc, false);
  ResetResultState(dbproc);
  return ftds_dbresults(dbproc);
}

NTWDBLIB_API BOOL dbdataready(DBPROCESS* dbproc) {
  ConnState* conn = FindConn(dbproc);
  // Nothing outstanding (or no such connection): the caller may go on at once, and the
  // next call reports whatever there is to report.
  if (conn == nullptr || !conn->answer_pending || ftds_dbdead(dbproc)) return TRUE;
  int fd = dbiordesc(dbproc);
  if (fd < 0) return TRUE;
  pollfd p{fd, POLLIN, 0};
  int ready = poll(&p, 1, 0);
  // Data, a closed or broken socket, or a failing poll are all answers: dbsqlok reads
  // or reports them instead of the caller waiting for ever.
  return ready != 0 ? TRUE : FALSE;
}

NTWDBLIB_API RETCODE dbcancel(DBPROCESS* dbproc) {
  SetPending(dbproc, false);
  ResetResultState(dbproc);
  // FreeTDS waits for the cancel's answer without limit; a server that does not answer
  // within the grace has its connection closed (see OnTimeOut in handlers.cpp).
  if (ConnState* conn = FindConn(dbproc)) ArmCancelDeadline(*conn, false);
  RETCODE rc = ftds_dbcancel(dbproc);
  ClearCancelDeadline(dbproc);
  return rc == SUCCEED && !ftds_dbdead(dbproc) ? SUCCEED : FAIL;
}

NTWDBLIB_API void dbabandon(DBPROCESS* dbproc) {
  AbandonConn(dbproc);
}

NTWDBLIB_API RETCODE dbcanquery(DBPROCESS* dbproc) {
  return ftds_dbcanquery(dbproc);
}

NTWDBLIB_API RETCODE dbcmdrow(DBPROCESS* dbproc) {
  return ftds_dbcmdrow(dbproc);
}

NTWDBLIB_API BOOL dbdead(DBPROCESS* dbproc) {
  return ftds_dbdead(dbproc) ? TRUE : FALSE;
}

NTWDBLIB_API RETCODE dbuse(DBPROCESS* dbproc, const char* dbname) {
  // FreeTDS runs "use" through the command buffer; the application's half-built command
  // must survive it, as it does with Microsoft's library.
  std::string saved;
  try {
    saved = CommandBuffer(dbproc);
  } catch (const std::bad_alloc&) {
    return FAIL;
  }
  ClearCancelDeadline(dbproc);
  ftds_dbfreebuf(dbproc);
  RETCODE rc = ftds_dbuse(dbproc, dbname);
  ftds_dbfreebuf(dbproc);
  if (!saved.empty() && ftds_dbcmd(dbproc, saved.c_str()) != SUCCEED) rc = FAIL;
  return rc;
}

NTWDBLIB_API DBINT dbcount(DBPROCESS* dbproc) {
  return ftds_dbcount(dbproc);
}

NTWDBLIB_API BOOL dbiscount(DBPROCESS* dbproc) {
  return ftds_dbiscount(dbproc);
}

NTWDBLIB_API int dbnumcols(DBPROCESS* dbproc) {
  return ftds_dbnumcols(dbproc);
}

NTWDBLIB_API int dbgetpacket(DBPROCESS* dbproc) {
  return ftds_dbgetpacket(dbproc);
}

NTWDBLIB_API RETCODE dbsettime(int seconds) {
  const RETCODE rc = ftds_dbsettime(seconds);
  if (rc == SUCCEED) NoteQueryTimeout(seconds);
  return rc;
}

NTWDBLIB_API RETCODE dbsetlogintime(int seconds) {
  const RETCODE rc = ftds_dbsetlogintime(seconds);
  if (rc == SUCCEED) NoteLoginTimeout(seconds);
  return rc;
}

NTWDBLIB_API RETCODE dbrpcinit(DBPROCESS* dbproc, const char* rpcname, DBSMALLINT options) {
  if (ConnState* conn = FindConn(dbproc)) conn->rpc_numerics.clear();
  // Microsoft's DBRPCRESET is 4, FreeTDS's 2; DBRPCRECOMPILE is 1 in both.
  DBSMALLINT ftds_options = options & ms::kRpcRecompile;
  if (options & ms::kRpcReset) ftds_options |= DBRPCRESET;
  if (options & ~(ms::kRpcRecompile | ms::kRpcReset))
    ftds_options |= options & ~(ms::kRpcRecompile | ms::kRpcReset);
  return ftds_dbrpcinit(dbproc, rpcname, ftds_options);
}

NTWDBLIB_API RETCODE dbrpcparam(DBPROCESS* dbproc, const char* paramname, BYTE status, int type,
                                DBINT maxlen, DBINT datalen, const BYTE* value) {
  ConnState* conn = FindConn(dbproc);
  if ((type == SYBDECIMAL || type == SYBNUMERIC) && value != nullptr && datalen != 0 &&
      conn != nullptr) {
    // FreeTDS keeps the pointer until dbrpcsend, so the FreeTDS-layout copy lives in the
    // connection's state until then.
    DBNUMERIC converted{};
    if (!ToFreeTds(*reinterpret_cast<const ms::Numeric*>(value), converted)) {
      ReportError(dbproc, ms::kExProgram, ms::kErrBadParam,
                  std::string("dbrpcparam: parameter ") + (paramname ? paramname : "") +
                      " is not a valid DBNUMERIC");
      return FAIL;
    }
    try {
      conn->rpc_numerics.push_back(converted);
    } catch (const std::bad_alloc&) {
      return FAIL;
    }
    return ftds_dbrpcparam(dbproc, paramname, status, type, maxlen,
                           static_cast<DBINT>(sizeof converted),
                           reinterpret_cast<BYTE*>(&conn->rpc_numerics.back()));
  }
  return ftds_dbrpcparam(dbproc, paramname, status, type, maxlen, datalen,
                         const_cast<BYTE*>(value));
}

NTWDBLIB_API RETCODE dbrpcsend(DBPROCESS* dbproc) {
  ClearCancelDeadline(dbproc);
  ResetResultState(dbproc);
  try {
    if (SendOptionsAlone(dbproc, FindConn(dbproc)) != SUCCEED) return FAIL;
  } catch (const std::bad_alloc&) {
    return FAIL;
  }
  RETCODE rc = ftds_dbrpcsend(dbproc);
  SetPending(dbproc, rc == SUCCEED);
  if (ConnState* conn = FindConn(dbproc)) conn->rpc_numerics.clear();
  return rc;
}

NTWDBLIB_API RETCODE dbrpcexec(DBPROCESS* dbproc) {
  if (dbrpcsend(dbproc) != SUCCEED) return FAIL;
  return dbsqlok(dbproc);
}
