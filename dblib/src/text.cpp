// Text and image values: pointers, timestamps, reading in pieces, writing.
#include <algorithm>
#include <cstring>

#include "state.h"

using namespace tessel::dblib;

NTWDBLIB_API DBBINARY* dbtxptr(DBPROCESS* dbproc, int column) {
  return ftds_dbtxptr(dbproc, column);
}

NTWDBLIB_API DBBINARY* dbtxtimestamp(DBPROCESS* dbproc, int column) {
  return ftds_dbtxtimestamp(dbproc, column);
}

// Reads the single column of a READTEXT result row by row: each value in pieces of at most
// bufsize bytes, then 0 at its end; NO_MORE_ROWS after the last row; -1 on failure. A
// null value reads as an empty one.
NTWDBLIB_API STATUS dbreadtext(DBPROCESS* dbproc, void* buf, DBINT bufsize) {
  // A cancel answered in time leaves the connection usable; its deadline must
  // not close it during this read.
  ClearCancelDeadline(dbproc);
  ConnState* conn = FindConn(dbproc);
  if (conn == nullptr || buf == nullptr || bufsize < 0) {
    ReportError(dbproc, ms::kExProgram, ms::kErrBadParam,
                conn == nullptr ? "dbreadtext: the DBPROCESS is not an open connection"
                                : "dbreadtext: no buffer to read into");
    return -1;
  }
  if (!conn->text_row_active) {
    STATUS row = ftds_dbnextrow(dbproc);
    if (row == NO_MORE_ROWS) return NO_MORE_ROWS;
    if (row == FAIL || row == BUF_FULL) return -1;
    conn->text_row_active = true;
    conn->text_position = 0;
  }
  const BYTE* data = ftds_dbdata(dbproc, 1);
  DBINT length = data != nullptr ? ftds_dbdatlen(dbproc, 1) : 0;
  if (conn->text_position >= length) {
    conn->text_row_active = false;
    conn->text_position = 0;
    return 0;
  }
  DBINT piece = std::min(bufsize, length - conn->text_position);
  std::memcpy(buf, data + conn->text_position, static_cast<size_t>(piece));
  conn->text_position += piece;
  return piece;
}

NTWDBLIB_API RETCODE dbwritetext(DBPROCESS* dbproc, const char* objname, const DBBINARY* textptr,
                                 DBTINYINT textptrlen, const DBBINARY* timestamp, BOOL log,
                                 DBINT size, const BYTE* text) {
  ClearCancelDeadline(dbproc);
  return ftds_dbwritetext(dbproc, const_cast<char*>(objname), const_cast<DBBINARY*>(textptr),
                          textptrlen, const_cast<DBBINARY*>(timestamp), log ? TRUE : FALSE, size,
                          const_cast<BYTE*>(text));
}

NTWDBLIB_API RETCODE dbmoretext(DBPROCESS* dbproc, DBINT size, const BYTE* text) {
  ClearCancelDeadline(dbproc);
  return ftds_dbmoretext(dbproc, size, text);
}
