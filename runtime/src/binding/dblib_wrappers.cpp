// The 54 wrappers. Each calls the resolved entry point with its arguments
// unchanged and returns its result unchanged; the traced ones write their line
// before the call, or after it where the line reports what the call returned
// (and where a missing line must mean the call did not return).

#include <string>

#include "binding/dblib_entry_points.h"
#include "framework/sysutils.h"
#include "runtime/lqSQLdb.h"

namespace tessel {
namespace {

// The entry point `name`, typed like the wrapper of the same name.
#define TESSEL_BOUND(name) \
  reinterpret_cast<decltype(&tessel::name)>(detail::Address(detail::EntryPoint::name))

std::string Text(const char* s) {
  return s != nullptr ? s : "";
}

void TraceBefore(const char* line) {
  if (SQLTraceIsActive()) SQLWriteTrace(line);
}

}  // namespace

PLOGINREC dblogin() {
  return TESSEL_BOUND(dblogin)();
}

PDBPROCESS dbopen(PLOGINREC login, const char* servername) {
  if (SQLTraceIsActive()) SQLWriteTrace("Open connection to server " + Text(servername));
  return TESSEL_BOUND(dbopen)(login, servername);
}

const char* dbinit() {
  TraceBefore("dbinit");
  return TESSEL_BOUND(dbinit)();
}

void dbexit() {
  TraceBefore("dbexit");
  TESSEL_BOUND(dbexit)();
}

int dbsetlname(PLOGINREC login, const char* value, int item) {
  return TESSEL_BOUND(dbsetlname)(login, value, item);
}

void dbfreelogin(PLOGINREC login) {
  TESSEL_BOUND(dbfreelogin)(login);
}

int bcp_setl(PLOGINREC login, BOOL enable) {
  return TESSEL_BOUND(bcp_setl)(login, enable);
}

void dbclose(PDBPROCESS dbproc) {
  TraceBefore("Close connection");
  TESSEL_BOUND(dbclose)(dbproc);
}

int dbcmd(PDBPROCESS dbproc, const char* cmdstring) {
  if (SQLTraceIsActive()) SQLWriteTrace("dbcmd:'" + Text(cmdstring) + "'");
  return TESSEL_BOUND(dbcmd)(dbproc, cmdstring);
}

void dbfreebuf(PDBPROCESS dbproc) {
  TESSEL_BOUND(dbfreebuf)(dbproc);
}

int dbsqlexec(PDBPROCESS dbproc) {
  const int result = TESSEL_BOUND(dbsqlexec)(dbproc);
  if (SQLTraceIsActive()) SQLWriteTrace("dbsqlexec");
  return result;
}

int dbresults(PDBPROCESS dbproc) {
  TraceBefore("dbresults");
  return TESSEL_BOUND(dbresults)(dbproc);
}

int dbbind(PDBPROCESS dbproc, int column, int vartype, DBINT varlen, DBBYTE* varaddr) {
  return TESSEL_BOUND(dbbind)(dbproc, column, vartype, varlen, varaddr);
}

int dbnullbind(PDBPROCESS dbproc, int column, const DBINT* indicator) {
  return TESSEL_BOUND(dbnullbind)(dbproc, column, indicator);
}

int dbaltbind(PDBPROCESS dbproc, int computeid, int column, int vartype, DBINT varlen,
              const DBBYTE* varaddr) {
  return TESSEL_BOUND(dbaltbind)(dbproc, computeid, column, vartype, varlen, varaddr);
}

int dbnextrow(PDBPROCESS dbproc) {
  TraceBefore("dbnextrow");
  return TESSEL_BOUND(dbnextrow)(dbproc);
}

const DBBYTE* dbdata(PDBPROCESS dbproc, int column) {
  return TESSEL_BOUND(dbdata)(dbproc, column);
}

DBINT dbdatlen(PDBPROCESS dbproc, int column) {
  return TESSEL_BOUND(dbdatlen)(dbproc, column);
}

int dbrpcinit(PDBPROCESS dbproc, const char* rpcname, DBSMALLINT options) {
  TraceBefore("dbrpcinit");
  return TESSEL_BOUND(dbrpcinit)(dbproc, rpcname, options);
}

int dbrpcparam(PDBPROCESS dbproc, const char* paramname, DBBYTE status, int type, DBINT maxlen,
               DBINT datalen, const DBBYTE* value) {
  return TESSEL_BOUND(dbrpcparam)(dbproc, paramname, status, type, maxlen, datalen, value);
}

int dbrpcsend(PDBPROCESS dbproc) {
  TraceBefore("dbrpcsend");
  return TESSEL_BOUND(dbrpcsend)(dbproc);
}

int dbsqlok(PDBPROCESS dbproc) {
  TraceBefore("dbsqlok");
  return TESSEL_BOUND(dbsqlok)(dbproc);
}

int dbcmdrow(PDBPROCESS dbproc) {
  return TESSEL_BOUND(dbcmdrow)(dbproc);
}

BOOL dbdead(PDBPROCESS dbproc) {
  TraceBefore("dbdead");
  return TESSEL_BOUND(dbdead)(dbproc);
}

int dbsqlsend(PDBPROCESS dbproc) {
  TraceBefore("dbsqlsend");
  return TESSEL_BOUND(dbsqlsend)(dbproc);
}

DBBYTE* dbretdata(PDBPROCESS dbproc, int retnum) {
  return TESSEL_BOUND(dbretdata)(dbproc, retnum);
}

int dbrpcexec(PDBPROCESS dbproc) {
  TraceBefore("dbrpcexec");
  return TESSEL_BOUND(dbrpcexec)(dbproc);
}

int dbuse(PDBPROCESS dbproc, const char* dbname) {
  return TESSEL_BOUND(dbuse)(dbproc, dbname);
}

int dbreadtext(PDBPROCESS dbproc, void* buf, DBINT bufsize) {
  const int count = TESSEL_BOUND(dbreadtext)(dbproc, buf, bufsize);
  if (SQLTraceIsActive()) SQLWriteTrace("dbreadtext " + IntToStr(count) + " bytes");
  return count;
}

int dbcancel(PDBPROCESS dbproc) {
  return TESSEL_BOUND(dbcancel)(dbproc);
}

void dbabandon(PDBPROCESS dbproc) {
  // Looked up each time: rare, and the library may have been loaded anew since.
  using Abandon = void (*)(PDBPROCESS);
  const auto abandon = reinterpret_cast<Abandon>(detail::OptionalAddress("dbabandon"));
  if (abandon != nullptr) abandon(dbproc);
}

int dbcanquery(PDBPROCESS dbproc) {
  return TESSEL_BOUND(dbcanquery)(dbproc);
}

int dbsetopt(PDBPROCESS dbproc, int option, const char* param) {
  return TESSEL_BOUND(dbsetopt)(dbproc, option, param);
}

DBBYTE* dbtxptr(PDBPROCESS dbproc, int column) {
  return TESSEL_BOUND(dbtxptr)(dbproc, column);
}

DBBYTE* dbtxtimestamp(PDBPROCESS dbproc, int column) {
  return TESSEL_BOUND(dbtxtimestamp)(dbproc, column);
}

int dbwritetext(PDBPROCESS dbproc, const char* objname, const DBBYTE* textptr, DBTINYINT textptrlen,
                const DBBYTE* timestamp, BOOL log, DBINT size, const DBBYTE* text) {
  return TESSEL_BOUND(dbwritetext)(dbproc, objname, textptr, textptrlen, timestamp, log, size,
                                   text);
}

int dbmoretext(PDBPROCESS dbproc, DBINT size, const DBBYTE* text) {
  return TESSEL_BOUND(dbmoretext)(dbproc, size, text);
}

int dbconvert(PDBPROCESS dbproc, int srctype, const DBBYTE* src, DBINT srclen, int desttype,
              DBBYTE* dest, DBINT destlen) {
  return TESSEL_BOUND(dbconvert)(dbproc, srctype, src, srclen, desttype, dest, destlen);
}

int dbcoltype(PDBPROCESS dbproc, int column) {
  return TESSEL_BOUND(dbcoltype)(dbproc, column);
}

int dbsettime(int seconds) {
  return TESSEL_BOUND(dbsettime)(seconds);
}

int dbsetlogintime(int seconds) {
  return TESSEL_BOUND(dbsetlogintime)(seconds);
}

BOOL dbdataready(PDBPROCESS dbproc) {
  return TESSEL_BOUND(dbdataready)(dbproc);
}

int dbnumcols(PDBPROCESS dbproc) {
  return TESSEL_BOUND(dbnumcols)(dbproc);
}

DBINT dbcount(PDBPROCESS dbproc) {
  return TESSEL_BOUND(dbcount)(dbproc);
}

BOOL dbiscount(PDBPROCESS dbproc) {
  return TESSEL_BOUND(dbiscount)(dbproc);
}

DBINT dbcollen(PDBPROCESS dbproc, int column) {
  return TESSEL_BOUND(dbcollen)(dbproc, column);
}

const char* dbcolname(PDBPROCESS dbproc, int column) {
  return TESSEL_BOUND(dbcolname)(dbproc, column);
}

int dbcolinfo(PDBHANDLE handle, int type, DBINT column, DBINT computeid, DBCOL* info) {
  return TESSEL_BOUND(dbcolinfo)(handle, type, column, computeid, info);
}

int dbdatecrack(PDBPROCESS dbproc, DBDATEREC* dateinfo, const DBDATETIME* datetime) {
  return TESSEL_BOUND(dbdatecrack)(dbproc, dateinfo, datetime);
}

DBMSGHANDLE_PROC dbmsghandle(DBMSGHANDLE_PROC handler) {
  return TESSEL_BOUND(dbmsghandle)(handler);
}

DBMSGHANDLE_PROC dbprocmsghandle(PDBPROCESS dbproc, DBMSGHANDLE_PROC handler) {
  return TESSEL_BOUND(dbprocmsghandle)(dbproc, handler);
}

DBERRHANDLE_PROC dberrhandle(DBERRHANDLE_PROC handler) {
  return TESSEL_BOUND(dberrhandle)(handler);
}

int dbsetlpacket(PLOGINREC login, DBUSMALLINT packet_size) {
  const int result = TESSEL_BOUND(dbsetlpacket)(login, packet_size);
  if (SQLTraceIsActive()) SQLWriteTrace("dbsetlpacket " + IntToStr(packet_size) + " bytes");
  return result;
}

void dbwinexit() {
  TESSEL_BOUND(dbwinexit)();
}

int dbgetpacket(PDBPROCESS dbproc) {
  const int size = TESSEL_BOUND(dbgetpacket)(dbproc);
  if (SQLTraceIsActive()) SQLWriteTrace("dbgetpacket " + IntToStr(size) + " bytes");
  return size;
}

#undef TESSEL_BOUND

}  // namespace tessel
