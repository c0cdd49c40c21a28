// A stand-in for libntwdblib.so: every entry point logs itself and answers
// from a small script, so the binding and the connection component can be
// tested without a server.

#include "dblib_stub.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ntwdblib.h"

struct loginrec {
  int id;
};
struct dbprocess {
  bool open;
};

namespace {

struct State {
  std::mutex mutex;  // guards calls and log: a test may call from several threads
  std::map<std::string, int> calls;
  std::map<std::string, long long> numbers;
  std::map<std::string, std::string> texts;
  std::string log;
  void (*hook)(const char*) = nullptr;
  DBERRHANDLE_PROC err_handler = nullptr;
  DBMSGHANDLE_PROC msg_handler = nullptr;
  std::vector<std::unique_ptr<dbprocess>> processes;  // every connection ever opened
  std::vector<std::unique_ptr<loginrec>> logins;
  int rows_left = -1;
  // Results answered since the last batch was sent: like the real library,
  // the scripted answer comes once per batch, then NO_MORE_RESULTS.
  int results_in_batch = 0;
};

State& S() {
  static State state;
  return state;
}

long long Num(const char* key, long long fallback) {
  auto it = S().numbers.find(key);
  return it == S().numbers.end() ? fallback : it->second;
}

const char* Txt(const char* key, const char* fallback) {
  auto it = S().texts.find(key);
  return it == S().texts.end() ? fallback : it->second.c_str();
}

bool TakeOne(const char* key) {
  long long n = Num(key, 0);
  if (n <= 0) return false;
  S().numbers[key] = n - 1;
  return true;
}

void Enter(const char* name, const std::string& args = "") {
  {
    std::lock_guard lock(S().mutex);
    S().calls[name]++;
    S().log += name;
    if (!args.empty()) S().log += " " + args;
    S().log += "\n";
  }
  if (S().hook) S().hook(name);
}

std::string Str(const char* s) {
  return s ? s : "(null)";
}

void ServerMessage(DBPROCESS* p, int number, const char* text) {
  if (S().msg_handler) S().msg_handler(p, number, 1, 14, text, "stub", "", 1);
  if (S().err_handler) S().err_handler(p, 5, 10007, -1, "General SQL Server error", nullptr);
}

void ClientError(DBPROCESS* p) {
  if (S().err_handler) {
    S().err_handler(p, 9, 20014, 0, Txt("err.text", "Login incorrect."),
                    S().texts.count("err.ostext") ? Txt("err.ostext", "") : nullptr);
  }
}

}  // namespace

extern "C" {

void stub_reset(void) {
  State& s = S();
  s.calls.clear();
  s.numbers.clear();
  s.texts.clear();
  s.log.clear();
  s.hook = nullptr;
  s.rows_left = -1;
}
int stub_calls(const char* name) {
  return S().calls[name];
}
const char* stub_log(void) {
  return S().log.c_str();
}
void stub_set_hook(void (*hook)(const char*)) {
  S().hook = hook;
}
int stub_open_connections(void) {
  int n = 0;
  for (auto& p : S().processes) n += p->open ? 1 : 0;
  return n;
}
void stub_set(const char* key, long long value) {
  S().numbers[key] = value;
}
void stub_set_text(const char* key, const char* value) {
  S().texts[key] = value;
}
void* stub_err_handler(void) {
  return reinterpret_cast<void*>(S().err_handler);
}
void* stub_msg_handler(void) {
  return reinterpret_cast<void*>(S().msg_handler);
}

LOGINREC* dblogin(void) {
  Enter("dblogin");
  S().logins.push_back(std::make_unique<loginrec>(loginrec{static_cast<int>(S().logins.size())}));
  return S().logins.back().get();
}
DBPROCESS* dbopen(LOGINREC*, LPCSTR servername) {
  Enter("dbopen", Str(servername));
  if (TakeOne("dbopen.fail")) {
    if (long long no = Num("dbopen.msgno", 0)) {
      ServerMessage(nullptr, static_cast<int>(no), Txt("msg.text", ""));
    } else {
      ClientError(nullptr);
    }
    return nullptr;
  }
  S().processes.push_back(std::make_unique<dbprocess>(dbprocess{true}));
  return S().processes.back().get();
}
LPCSTR dbinit(void) {
  Enter("dbinit");
  return "DB-Library stub";
}
void dbexit(void) {
  Enter("dbexit");
}
RETCODE dbsetlname(LOGINREC*, LPCSTR value, INT item) {
  Enter("dbsetlname", std::to_string(item) + "," + Str(value));
  return SUCCEED;
}
void dbfreelogin(LOGINREC*) {
  Enter("dbfreelogin");
}
RETCODE bcp_setl(LOGINREC*, BOOL) {
  Enter("bcp_setl");
  return SUCCEED;
}
void dbclose(DBPROCESS* p) {
  Enter("dbclose");
  if (p) p->open = false;
}
RETCODE dbcmd(DBPROCESS*, LPCSTR cmdstring) {
  Enter("dbcmd", Str(cmdstring));
  return SUCCEED;
}
void dbfreebuf(DBPROCESS*) {
  Enter("dbfreebuf");
}
RETCODE dbsqlexec(DBPROCESS* p) {
  Enter("dbsqlexec");
  S().results_in_batch = 0;
  if (TakeOne("dbsqlexec.fail")) {
    ServerMessage(p, static_cast<int>(Num("msg.no", 50000)), Txt("msg.text", ""));
    return FAIL;
  }
  return SUCCEED;
}
RETCODE dbresults(DBPROCESS*) {
  Enter("dbresults");
  if (S().results_in_batch++ > 0) return 2;  // NO_MORE_RESULTS
  S().rows_left = static_cast<int>(Num("dbnextrow.rows", 0));
  return static_cast<RETCODE>(Num("dbresults", SUCCEED));
}
RETCODE dbbind(DBPROCESS*, INT, INT, DBINT, LPBYTE) {
  Enter("dbbind");
  return SUCCEED;
}
RETCODE dbnullbind(DBPROCESS*, INT, LPCDBINT) {
  Enter("dbnullbind");
  return SUCCEED;
}
RETCODE dbaltbind(DBPROCESS*, INT, INT, INT, DBINT, LPCBYTE) {
  Enter("dbaltbind");
  return SUCCEED;
}
STATUS dbnextrow(DBPROCESS*) {
  Enter("dbnextrow");
  if (S().rows_left > 0) {
    --S().rows_left;
    return REG_ROW;
  }
  return static_cast<STATUS>(Num("dbnextrow.end", NO_MORE_ROWS));
}
LPCBYTE dbdata(DBPROCESS*, INT) {
  Enter("dbdata");
  return nullptr;
}
DBINT dbdatlen(DBPROCESS*, INT) {
  Enter("dbdatlen");
  return 0;
}
RETCODE dbrpcinit(DBPROCESS*, LPCSTR rpcname, DBSMALLINT options) {
  Enter("dbrpcinit", Str(rpcname) + "," + std::to_string(options));
  return SUCCEED;
}
RETCODE dbrpcparam(DBPROCESS*, LPCSTR, BYTE, INT, DBINT, DBINT, LPCBYTE) {
  Enter("dbrpcparam");
  return SUCCEED;
}
RETCODE dbrpcsend(DBPROCESS*) {
  Enter("dbrpcsend");
  return SUCCEED;
}
RETCODE dbsqlok(DBPROCESS*) {
  Enter("dbsqlok");
  S().results_in_batch = 0;
  return SUCCEED;
}
RETCODE dbcmdrow(DBPROCESS*) {
  Enter("dbcmdrow");
  return SUCCEED;
}
BOOL dbdead(DBPROCESS*) {
  Enter("dbdead");
  return static_cast<BOOL>(Num("dbdead", 0));
}
RETCODE dbsqlsend(DBPROCESS*) {
  Enter("dbsqlsend");
  return SUCCEED;
}
LPBYTE dbretdata(DBPROCESS*, INT) {
  Enter("dbretdata");
  return nullptr;
}
RETCODE dbrpcexec(DBPROCESS*) {
  Enter("dbrpcexec");
  return SUCCEED;
}
RETCODE dbuse(DBPROCESS*, LPCSTR dbname) {
  Enter("dbuse", Str(dbname));
  return SUCCEED;
}
STATUS dbreadtext(DBPROCESS*, LPVOID, DBINT bufsize) {
  Enter("dbreadtext", std::to_string(bufsize));
  return static_cast<STATUS>(Num("dbreadtext", 0));
}
RETCODE dbcancel(DBPROCESS*) {
  Enter("dbcancel");
  return SUCCEED;
}
RETCODE dbcanquery(DBPROCESS*) {
  Enter("dbcanquery");
  return SUCCEED;
}
RETCODE dbsetopt(DBPROCESS*, INT option, LPCSTR param) {
  Enter("dbsetopt", std::to_string(option) + "," + Str(param));
  return SUCCEED;
}
LPDBBINARY dbtxptr(DBPROCESS*, INT) {
  Enter("dbtxptr");
  return nullptr;
}
LPDBBINARY dbtxtimestamp(DBPROCESS*, INT) {
  Enter("dbtxtimestamp");
  return nullptr;
}
RETCODE dbwritetext(DBPROCESS*, LPCSTR, LPCDBBINARY, DBTINYINT, LPCDBBINARY, BOOL, DBINT, LPCBYTE) {
  Enter("dbwritetext");
  return SUCCEED;
}
RETCODE dbmoretext(DBPROCESS*, DBINT, LPCBYTE) {
  Enter("dbmoretext");
  return SUCCEED;
}
INT dbconvert(DBPROCESS*, INT, LPCBYTE, DBINT, INT, LPBYTE, DBINT) {
  Enter("dbconvert");
  return -1;
}
INT dbcoltype(DBPROCESS*, INT) {
  Enter("dbcoltype");
  return SQLCHAR;
}
RETCODE dbsettime(INT seconds) {
  Enter("dbsettime", std::to_string(seconds));
  return SUCCEED;
}
RETCODE dbsetlogintime(INT seconds) {
  Enter("dbsetlogintime", std::to_string(seconds));
  return SUCCEED;
}
BOOL dbdataready(DBPROCESS*) {
  Enter("dbdataready");
  return TRUE;
}
INT dbnumcols(DBPROCESS*) {
  Enter("dbnumcols");
  return static_cast<INT>(Num("dbnumcols", 0));
}
DBINT dbcount(DBPROCESS*) {
  Enter("dbcount");
  return -1;
}
BOOL dbiscount(DBPROCESS*) {
  Enter("dbiscount");
  return FALSE;
}
DBINT dbcollen(DBPROCESS*, INT) {
  Enter("dbcollen");
  return 0;
}
LPCSTR dbcolname(DBPROCESS*, INT) {
  Enter("dbcolname");
  return nullptr;
}
RETCODE dbcolinfo(PDBHANDLE, INT, INT column, INT, LPDBCOL info) {
  Enter("dbcolinfo", std::to_string(column));
  if (info == nullptr || column < 1 || column > Num("dbnumcols", 0)) return FAIL;
  if (column == Num("dbcolinfo.fail", 0)) {
    ClientError(nullptr);
    return FAIL;
  }
  const std::string key = "col." + std::to_string(column) + ".";
  auto number = [&key](const char* member) { return Num((key + member).c_str(), 0); };
  const DBINT size = info->SizeOfStruct;
  *info = DBCOL{};
  info->SizeOfStruct = size;
  std::strncpy(info->Name, Txt((key + "name").c_str(), ""), MAXCOLNAMELEN);
  info->Type = static_cast<SHORT>(number("type"));
  info->UserType = static_cast<DBINT>(number("usertype"));
  info->MaxLength = static_cast<DBINT>(number("maxlength"));
  info->VarLength = static_cast<BOOL>(number("varlength"));
  info->Null = static_cast<BYTE>(number("null"));
  return SUCCEED;
}
RETCODE dbdatecrack(DBPROCESS*, LPDBDATEREC, LPCDBDATETIME) {
  Enter("dbdatecrack");
  return FAIL;
}
DBMSGHANDLE_PROC dbmsghandle(DBMSGHANDLE_PROC handler) {
  Enter("dbmsghandle");
  DBMSGHANDLE_PROC old = S().msg_handler;
  S().msg_handler = handler;
  return old;
}
DBMSGHANDLE_PROC dbprocmsghandle(DBPROCESS*, DBMSGHANDLE_PROC) {
  Enter("dbprocmsghandle");
  return nullptr;
}
DBERRHANDLE_PROC dberrhandle(DBERRHANDLE_PROC handler) {
  Enter("dberrhandle");
  DBERRHANDLE_PROC old = S().err_handler;
  S().err_handler = handler;
  return old;
}
RETCODE dbsetlpacket(LOGINREC*, USHORT packet_size) {
  Enter("dbsetlpacket", std::to_string(packet_size));
  return SUCCEED;
}
#ifndef STUB_WITHOUT_DBWINEXIT
void dbwinexit(void) {
  Enter("dbwinexit");
}
#endif
INT dbgetpacket(DBPROCESS*) {
  Enter("dbgetpacket");
  return static_cast<INT>(Num("dbgetpacket", 4096));
}

}  // extern "C"
