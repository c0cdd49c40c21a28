#pragma once

// Controls of the stand-in client library that the runtime tests load through
// the binding. It exports the 54 DB-Library entry points (one build lacks
// dbwinexit), counts and logs every call, and plays back scripted answers.
// Entry points may be called from several threads; the controls below are
// for the test's main thread.

#ifdef __cplusplus
extern "C" {
#endif

// Forgets counts, log and script; closed handles and installed handlers stay.
void stub_reset(void);
// How often the entry point `name` was called since the last reset.
int stub_calls(const char* name);
// Every call since the last reset, one per line: "name" or "name arg,arg".
const char* stub_log(void);
// Called with the entry point's name as each call begins.
void stub_set_hook(void (*hook)(const char* name));
// Connections opened and not yet closed.
int stub_open_connections(void);

// Script keys (integers):
//   dbopen.fail      next N dbopen calls fail and return NULL
//   dbopen.msgno     failing dbopen reports this server message (severity 14) and
//                    then error 10007; 0 (default): the client error 20014 instead
//   dbsqlexec.fail   next N dbsqlexec calls fail with server message msg.no
//   msg.no           the server message number reported by a failing dbsqlexec
//   dbresults        what dbresults returns (default 1)
//   dbnextrow.rows   rows dbnextrow reports before its end value (default 0)
//   dbnextrow.end    dbnextrow's value after the rows (default -2)
//   dbdead           what dbdead returns (default 0)
//   dbreadtext       what dbreadtext returns (default 0)
//   dbgetpacket      what dbgetpacket returns (default 4096)
//   dbnumcols        what dbnumcols returns (default 0)
//   dbcolinfo.fail   the column whose dbcolinfo fails with the client error
//                    err.text (default 0: none); columns outside 1..dbnumcols fail too
//   col.N.type, col.N.usertype, col.N.maxlength, col.N.varlength, col.N.null
//                    members of column N's description (default 0 each)
void stub_set(const char* key, long long value);
// Script keys (texts): msg.text, err.text (client error text; default
// "Login incorrect."), err.ostext (NULL unless set), col.N.name (column N's
// name; default empty).
void stub_set_text(const char* key, const char* value);

// The handlers installed through dberrhandle and dbmsghandle.
void* stub_err_handler(void);
void* stub_msg_handler(void);

#ifdef __cplusplus
}
#endif
