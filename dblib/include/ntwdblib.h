/* ntwdblib.h - DB-Library for C with Microsoft's conventions, on FreeTDS.
 *
 * libntwdblib.so exports the 54 entry points below with the argument lists, type
 * numbers, option numbers, login items, record layouts, error numbers and handler
 * conventions of Microsoft's DB-Library for C. Each function is implemented on FreeTDS
 * libsybdb; the line next to each declaration says what differs from FreeTDS and how it
 * is translated. The handles are opaque: only this library creates and frees them.
 *
 * Threads: as with any DB-Library, one DBPROCESS is used by one thread at a time; the
 * handlers are process-wide (dberrhandle, dbmsghandle) or per connection
 * (dbprocmsghandle). No function lets a C++ exception escape.
 */
#ifndef TESSEL_NTWDBLIB_H
#define TESSEL_NTWDBLIB_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Basic types: Microsoft's names and widths (32-bit LONG, BOOL as int). ---- */

typedef int BOOL;
typedef unsigned char BYTE;
typedef int INT;
typedef short SHORT;
typedef unsigned short USHORT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef char CHAR;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;
typedef void* LPVOID;
typedef const void* LPCVOID;

typedef int RETCODE;
typedef int STATUS;

typedef char DBCHAR;
typedef unsigned char DBBINARY;
typedef unsigned char DBTINYINT;
typedef short DBSMALLINT;
typedef unsigned short DBUSMALLINT;
typedef int32_t DBINT;
typedef double DBFLT8;
typedef unsigned char DBBIT;
typedef unsigned char DBBOOL;
typedef float DBFLT4;
typedef int32_t DBMONEY4;
typedef DBFLT4 DBREAL;
typedef unsigned int DBUBOOL;

typedef DBINT* LPDBINT;
typedef const DBINT* LPCDBINT;
typedef DBBINARY* LPDBBINARY;
typedef const DBBINARY* LPCDBBINARY;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

/* Opaque handles. */
typedef struct dbprocess DBPROCESS;
typedef struct loginrec LOGINREC;
typedef DBPROCESS* PDBPROCESS;
typedef LOGINREC* PLOGINREC;
typedef void* PDBHANDLE; /* a DBPROCESS* for dbcolinfo's CI_REGULAR and CI_ALTERNATE */

/* ---- Fixed-layout values, as the server sends them (Microsoft's layouts). ---- */

/* datetime: days since 1900-01-01 and 1/300 seconds since midnight. */
typedef struct dbdatetime {
  DBINT dtdays;
  ULONG dttime;
} DBDATETIME;
typedef DBDATETIME* LPDBDATETIME;
typedef const DBDATETIME* LPCDBDATETIME;

/* smalldatetime: days since 1900-01-01 and minutes since midnight. */
typedef struct dbdatetime4 {
  USHORT numdays;
  USHORT nummins;
} DBDATETIM4;

/* money: a 64-bit count of 1/10000 units, high half first. */
typedef struct dbmoney {
  DBINT mnyhigh;
  ULONG mnylow;
} DBMONEY;

/* dbdatecrack's result, in Microsoft's field order. */
typedef struct dbdaterec {
  INT year;        /* 1753 .. 9999 */
  INT quarter;     /* 1 .. 4 */
  INT month;       /* 1 .. 12 */
  INT dayofyear;   /* 1 .. 366 */
  INT day;         /* 1 .. 31 */
  INT week;        /* 1 .. 54: weeks start on Sunday, week 1 holds January 1 */
  INT weekday;     /* 1 (Monday) .. 7 (Sunday) */
  INT hour;        /* 0 .. 23 */
  INT minute;      /* 0 .. 59 */
  INT second;      /* 0 .. 59 */
  INT millisecond; /* 0 .. 999 */
} DBDATEREC;
typedef DBDATEREC* LPDBDATEREC;

#define MAXNUMERICLEN 16
#define MAXNUMERICDIG 38
#define DEFAULTPRECISION 18
#define DEFAULTSCALE 0

/* decimal and numeric: 19 bytes; sign 1 is positive, 0 negative; val is the absolute
 * value as a little-endian unsigned integer (val[0] least significant). FreeTDS keeps
 * 35 bytes of big-endian magnitude with sign 0 positive: dbdata and dbconvert translate
 * in both directions. */
typedef struct dbnumeric {
  BYTE precision;
  BYTE scale;
  BYTE sign;
  BYTE val[MAXNUMERICLEN];
} DBNUMERIC;
typedef DBNUMERIC DBDECIMAL;

#define MAXCOLNAMELEN 30
#define MAXTABLENAME 30

/* dbcolinfo's column description: two-byte packing, 122 bytes. The caller sets
 * SizeOfStruct to sizeof(DBCOL) before the call. Names are cut to 30 characters. */
#pragma pack(push, 2)
typedef struct {
  DBINT SizeOfStruct;
  CHAR Name[MAXCOLNAMELEN + 1];
  CHAR ActualName[MAXCOLNAMELEN + 1];
  CHAR TableName[MAXTABLENAME + 1];
  SHORT Type;
  DBINT UserType;
  DBINT MaxLength;
  BYTE Precision;
  BYTE Scale;
  BOOL VarLength;     /* TRUE or FALSE */
  BYTE Null;          /* TRUE, FALSE or DBUNKNOWN */
  BYTE CaseSensitive; /* TRUE, FALSE or DBUNKNOWN */
  BYTE Updatable;     /* TRUE, FALSE or DBUNKNOWN */
  BOOL Identity;      /* TRUE or FALSE */
} DBCOL;
#pragma pack(pop)
typedef DBCOL* LPDBCOL;

#ifdef __cplusplus
static_assert(sizeof(DBCOL) == 122, "DBCOL must keep Microsoft's 122-byte layout");
static_assert(sizeof(DBNUMERIC) == 19, "DBNUMERIC must keep Microsoft's 19-byte layout");
#endif

#define DBUNKNOWN 2

/* dbcolinfo's type argument. */
#define CI_REGULAR 1
#define CI_ALTERNATE 2
#define CI_CURSOR 3

/* ---- Return codes. ---- */

#define SUCCEED 1
#define FAIL 0
#define SUCCEED_ABORT 2
#define MORE_ROWS (-1)
#define NO_MORE_ROWS (-2)
#define REG_ROW MORE_ROWS
#define BUF_FULL (-3)
#define NO_MORE_RESULTS 2
#define NO_MORE_RPC_RESULTS 3

/* Error-handler return codes. */
#define INT_EXIT 0
#define INT_CONTINUE 1
#define INT_CANCEL 2

/* ---- Server data type tokens. ---- */

#define SQLVOID 0x1f
#define SQLTEXT 0x23      /* 35 */
#define SQLVARBINARY 0x25 /* 37 */
#define SQLINTN 0x26      /* 38 */
#define SQLVARCHAR 0x27   /* 39 */
#define SQLBINARY 0x2d    /* 45 */
#define SQLIMAGE 0x22     /* 34 */
#define SQLCHAR 0x2f      /* 47 */
#define SQLINT1 0x30      /* 48 */
#define SQLBIT 0x32       /* 50 */
#define SQLINT2 0x34      /* 52 */
#define SQLINT4 0x38      /* 56 */
#define SQLMONEY 0x3c     /* 60 */
#define SQLDATETIME 0x3d  /* 61 */
#define SQLFLT8 0x3e      /* 62 */
#define SQLFLTN 0x6d      /* 109 */
#define SQLMONEYN 0x6e    /* 110 */
#define SQLDATETIMN 0x6f  /* 111 */
#define SQLFLT4 0x3b      /* 59 */
#define SQLMONEY4 0x7a    /* 122 */
#define SQLDATETIM4 0x3a  /* 58 */
#define SQLDECIMAL 0x6a   /* 106 */
#define SQLNUMERIC 0x6c   /* 108 */

/* dbbind's vartype argument. */
#define TINYBIND 1
#define SMALLBIND 2
#define INTBIND 3
#define CHARBIND 4
#define BINARYBIND 5
#define BITBIND 6
#define DATETIMEBIND 7
#define MONEYBIND 8
#define FLT8BIND 9
#define STRINGBIND 10
#define NTBSTRINGBIND 11
#define VARYCHARBIND 12
#define VARYBINBIND 13
#define FLT4BIND 14
#define SMALLMONEYBIND 15
#define SMALLDATETIBIND 16
#define DECIMALBIND 17
#define NUMERICBIND 18
#define SRCDECIMALBIND 19
#define SRCNUMERICBIND 20
#define MAXBIND SRCNUMERICBIND

/* dbrpcinit options and dbrpcparam status. */
#define DBRPCRECOMPILE 0x0001
#define DBRPCRESET 0x0004
#define DBRPCCURSOR 0x0008
#define DBRPCRETURN 0x0001
#define DBRPCDEFAULT 0x0002

/* ---- Login items for dbsetlname (FreeTDS numbers them differently: mapped). ---- */

#define DBSETHOST 1
#define DBSETUSER 2
#define DBSETPWD 3
#define DBSETAPP 4
#define DBSETID 5
#define DBSETLANG 6
#define DBSETSECURE 7
#define DBVER42 8
#define DBVER60 9
#define DBSETLOGINTIME 10
#define DBSETFALLBACK 12

#define DBSETLHOST(a, b) dbsetlname((a), (b), DBSETHOST)
#define DBSETLUSER(a, b) dbsetlname((a), (b), DBSETUSER)
#define DBSETLPWD(a, b) dbsetlname((a), (b), DBSETPWD)
#define DBSETLAPP(a, b) dbsetlname((a), (b), DBSETAPP)
#define DBSETLNATLANG(a, b) dbsetlname((a), (b), DBSETLANG)
#define DBSETLSECURE(a) dbsetlname((a), 0, DBSETSECURE)
#define DBSETLVERSION(a, b) dbsetlname((a), 0, (b))
#define DBSETLTIME(a, b) dbsetlname((a), (LPCSTR)(intptr_t)(b), DBSETLOGINTIME)
#define DBSETLPACKET(a, b) dbsetlpacket((a), (b))

/* ---- Options for dbsetopt (Microsoft's numbers; FreeTDS's differ: mapped). ---- */

#define DBBUFFER 0
#define DBOFFSET 1
#define DBROWCOUNT 2
#define DBSTAT 3
#define DBTEXTLIMIT 4
#define DBTEXTSIZE 5
#define DBARITHABORT 6
#define DBARITHIGNORE 7
#define DBNOAUTOFREE 8
#define DBNOCOUNT 9
#define DBNOEXEC 10
#define DBPARSEONLY 11
#define DBSHOWPLAN 12
#define DBSTORPROCID 13
#define DBANSItoOEM 14
#define DBOEMtoANSI 15
#define DBCLIENTCURSORS 16
#define DBSETTIME 17
#define DBQUOTEDIDENT 18

/* ---- Error severities given to the error handler. ---- */

#define EXINFO 1
#define EXUSER 2
#define EXNONFATAL 3
#define EXCONVERSION 4
#define EXSERVER 5
#define EXTIME 6
#define EXPROGRAM 7
#define EXRESOURCE 8
#define EXCOMM 9
#define EXFATAL 10
#define EXCONSISTENCY 11

/* ---- Error numbers given to the error handler (Microsoft's numbering). FreeTDS's own
 * numbers (20000 and up) are translated to these: by name (SYBEPWD is SQLEPWD), or to the
 * error for the same condition (SYBEFCON, a failed connection, is SQLECONN). A FreeTDS
 * error these lack (character-set conversion, TDS version downgrade) reaches the handler
 * with FreeTDS's own number and text. ---- */

#define SQLEMEM 10000
#define SQLENULL 10001
#define SQLENLOG 10002
#define SQLEPWD 10003
#define SQLECONN 10004
#define SQLEDDNE 10005
#define SQLENULLO 10006
#define SQLESMSG 10007
#define SQLEBTOK 10008
#define SQLENSPE 10009
#define SQLEREAD 10010
#define SQLECNOR 10011
#define SQLETSIT 10012
#define SQLEPARM 10013
#define SQLEAUTN 10014
#define SQLECOFL 10015
#define SQLERDCN 10016
#define SQLEICN 10017
#define SQLECLOS 10018
#define SQLENTXT 10019
#define SQLEDNTI 10020
#define SQLETMTD 10021
#define SQLEASEC 10022
#define SQLENTLL 10023
#define SQLETIME 10024
#define SQLEWRIT 10025
#define SQLEMODE 10026
#define SQLEOOB 10027
#define SQLEITIM 10028
#define SQLEDBPS 10029
#define SQLEIOPT 10030
#define SQLEASNL 10031
#define SQLEASUL 10032
#define SQLENPRM 10033
#define SQLEDBOP 10034
#define SQLENSIP 10035
#define SQLECNULL 10036
#define SQLESEOF 10037
#define SQLERPND 10038
#define SQLECSYN 10039
#define SQLENONET 10040
#define SQLEBTYP 10041
#define SQLEABNC 10042
#define SQLEABMT 10043
#define SQLEABNP 10044
#define SQLEBNCR 10045
#define SQLEAAMT 10046
#define SQLENXID 10047
#define SQLEIFNB 10048
#define SQLEKBCO 10049
#define SQLEBBCI 10050
#define SQLEKBCI 10051
#define SQLEBCWE 10052
#define SQLEBCNN 10053
#define SQLEBCOR 10054
#define SQLEBCPI 10055
#define SQLEBCPN 10056
#define SQLEBCPB 10057
#define SQLEVDPT 10058
#define SQLEBIVI 10059
#define SQLEBCBC 10060
#define SQLEBCFO 10061
#define SQLEBCVH 10062
#define SQLEBCUO 10063
#define SQLEBUOE 10064
#define SQLEBWEF 10065
#define SQLEBTMT 10066
#define SQLEBEOF 10067
#define SQLEBCSI 10068
#define SQLEPNUL 10069
#define SQLEBSKERR 10070
#define SQLEBDIO 10071
#define SQLEBCNT 10072
#define SQLEMDBP 10073
#define SQLINIT 10074
#define SQLEOLDVR 10105
#define SQLENOTIMPL 10108

/* ---- Handlers. ---- */

/* Error handler: returns INT_CANCEL (the call fails), INT_CONTINUE (keep waiting after a
 * time-out; otherwise as INT_CANCEL) or INT_EXIT (treated as INT_CANCEL: a library
 * never ends its host process). */
typedef INT (*DBERRHANDLE_PROC)(PDBPROCESS dbproc, INT severity, INT dberr, INT oserr,
                                LPCSTR dberrstr, LPCSTR oserrstr);
/* Message handler: a server message (number, state, severity, text, server name,
 * procedure name, line). Its return value is ignored. */
typedef INT (*DBMSGHANDLE_PROC)(PDBPROCESS dbproc, DBINT msgno, INT msgstate, INT severity,
                                LPCSTR msgtext, LPCSTR srvname, LPCSTR procname, DBUSMALLINT line);

/* ---- Client network library setting. ----
 * The connection component records the chosen client network library in a small text
 * file; dbinit and dbopen read it. Path: $TESSEL_DBLIB_CONF if set, else
 * TESSEL_DBLIB_CONF_PATH. Content (other lines are ignored):
 *   [SOFTWARE\MICROSOFT\MSSQLServer\Client\ConnectTo\]
 *   DSQUERY=DBMSSOCN
 * The value is one of the five names below. Only TCP/IP (DBMSSOCN) exists on this
 * platform: for any other name the connection is made over TCP/IP all the same. A
 * missing or unreadable file means DBMSSOCN.
 * A server's connections may be given encryption and certificate checks in a section
 * named after the server as dbopen is given it (compared without case):
 *   [SOFTWARE\MICROSOFT\MSSQLServer\Client\Encryption\db.example.com,1433]
 *   Encrypt=require          (off, request, require; strict is refused)
 *   CAFile=/etc/ssl/certs/db-ca.pem
 *   HostName=db.example.com  (the name the certificate must carry)
 * Without such a section FreeTDS's own settings apply. With CAFile or HostName the
 * certificate is checked before the login, and a failed check ends dbopen with SQLECONN
 * and the text "Encryption with server '<name>' failed: <reason>." FreeTDS checks the
 * certificate against the name it connects to, so with HostName the server is reached by
 * that name. */
#define TESSEL_DBLIB_CONF_PATH "/etc/tessel/dblib.conf"
#define TESSEL_DBLIB_CONF_ENV "TESSEL_DBLIB_CONF"
#define TESSEL_DBLIB_CONF_SECTION "[SOFTWARE\\MICROSOFT\\MSSQLServer\\Client\\ConnectTo\\]"
#define TESSEL_DBLIB_CONF_KEY "DSQUERY"
#define DBNETLIB_NAMEDPIPES "DBNMPNTW"
#define DBNETLIB_MULTIPROTOCOL "DBMSRPCN"
#define DBNETLIB_IPXSPX "DBMSSPXN"
#define DBNETLIB_TCPIP "DBMSSOCN"

/* ---- The 54 entry points. ---- */

/* Same as FreeTDS; the record starts with TDS 7.4 (TDSVER in the environment wins). */
LOGINREC* dblogin(void);
/* Opens in FreeTDS's Microsoft mode (tdsdbopen with msdblib set). "host,port" and
 * "host:port" reach that port on host (FreeTDS takes "host:port"; the comma form is
 * rewritten), a "tcp:" prefix is dropped, and NULL, "", "." and "(local)" mean localhost;
 * other names go to freetds.conf. The connection is over TCP/IP whatever network library
 * the setting file names. */
DBPROCESS* dbopen(LOGINREC* login, LPCSTR servername);
/* FreeTDS returns SUCCEED/FAIL; Microsoft returns a version text or NULL on failure. */
LPCSTR dbinit(void);
/* Same as FreeTDS: closes every connection and releases the library's state, including
 * the per-connection message handlers. */
void dbexit(void);
/* Microsoft's item numbers (DBSETHOST 1 ... DBSETFALLBACK 12) mapped to FreeTDS's;
 * DBSETSECURE asks for an integrated login, DBVER42/DBVER60 select TDS 4.2/7.x;
 * DBSETLOGINTIME carries seconds in the pointer value (FreeTDS keeps one login time-out for
 * the process: the last one set wins); DBSETID, DBSETFALLBACK and unknown items FAIL with
 * SQLEASUL. */
RETCODE dbsetlname(LOGINREC* login, LPCSTR value, INT item);
/* FreeTDS calls it dbloginfree. */
void dbfreelogin(LOGINREC* login);
/* FreeTDS's BCP_SETL(login, enable): marks the login for bulk copy. */
RETCODE bcp_setl(LOGINREC* login, BOOL enable);
/* Same as FreeTDS; also forgets the connection's own message handler and frees a remote
 * procedure call begun but never sent (FreeTDS leaks it). */
void dbclose(DBPROCESS* dbproc);
/* Same as FreeTDS. */
RETCODE dbcmd(DBPROCESS* dbproc, LPCSTR cmdstring);
/* Same as FreeTDS. */
void dbfreebuf(DBPROCESS* dbproc);
/* dbsqlsend, then dbsqlok. */
RETCODE dbsqlexec(DBPROCESS* dbproc);
/* Same as FreeTDS. */
RETCODE dbresults(DBPROCESS* dbproc);
/* Microsoft's bind numbers (TINYBIND 1 ... SRCNUMERICBIND 20) mapped to FreeTDS's;
 * DECIMALBIND/NUMERICBIND variables are Microsoft's DBNUMERIC, filled at each dbnextrow
 * with the variable's precision and scale (SRC*: the column's). */
RETCODE dbbind(DBPROCESS* dbproc, INT column, INT vartype, DBINT varlen, LPBYTE varaddr);
/* Same as FreeTDS. */
RETCODE dbnullbind(DBPROCESS* dbproc, INT column, LPCDBINT indicator);
/* Bind numbers mapped as for dbbind; decimal and numeric binds of compute columns FAIL
 * with SQLEBTYP. */
RETCODE dbaltbind(DBPROCESS* dbproc, INT computeid, INT column, INT vartype, DBINT varlen,
                  LPCBYTE varaddr);
/* Same as FreeTDS, then bound DBNUMERIC variables are filled. */
STATUS dbnextrow(DBPROCESS* dbproc);
/* Same as FreeTDS, except that a decimal or numeric column yields Microsoft's 19-byte
 * DBNUMERIC (kept per connection until the next row or result). */
LPCBYTE dbdata(DBPROCESS* dbproc, INT column);
/* Same as FreeTDS; 19 for a non-null decimal or numeric column, matching dbdata. */
DBINT dbdatlen(DBPROCESS* dbproc, INT column);
/* Same as FreeTDS, with Microsoft's option bits (DBRPCRESET is 4 here, 2 in FreeTDS). */
RETCODE dbrpcinit(DBPROCESS* dbproc, LPCSTR rpcname, DBSMALLINT options);
/* Same as FreeTDS; a decimal or numeric value is given as Microsoft's DBNUMERIC. */
RETCODE dbrpcparam(DBPROCESS* dbproc, LPCSTR paramname, BYTE status, INT type, DBINT maxlen,
                   DBINT datalen, LPCBYTE value);
/* Same as FreeTDS; pending dbsetopt statements go first, as a batch of their own. */
RETCODE dbrpcsend(DBPROCESS* dbproc);
/* Same as FreeTDS. */
RETCODE dbsqlok(DBPROCESS* dbproc);
/* Same as FreeTDS. */
RETCODE dbcmdrow(DBPROCESS* dbproc);
/* Same as FreeTDS. */
BOOL dbdead(DBPROCESS* dbproc);
/* Same as FreeTDS, with the SET statements of dbsetopt in front of the batch (sent alone
 * when the command buffer is empty). */
RETCODE dbsqlsend(DBPROCESS* dbproc);
/* Same as FreeTDS; a decimal or numeric output parameter yields Microsoft's DBNUMERIC. */
LPBYTE dbretdata(DBPROCESS* dbproc, INT retnum);
/* Missing in FreeTDS: dbrpcsend followed by dbsqlok. */
RETCODE dbrpcexec(DBPROCESS* dbproc);
/* Same as FreeTDS, except that the command buffer is left as it was (FreeTDS runs
 * "use" through it). */
RETCODE dbuse(DBPROCESS* dbproc, LPCSTR dbname);
/* Reads the one column of a READTEXT result: bytes read, 0 at the end of each value,
 * NO_MORE_ROWS after the last row, -1 on failure. Done on FreeTDS's dbnextrow/dbdata
 * (FreeTDS's own dbreadtext copies a negative length for a null value); a null value
 * reads as empty. */
STATUS dbreadtext(DBPROCESS* dbproc, LPVOID buf, DBINT bufsize);
/* Same as FreeTDS. */
RETCODE dbcancel(DBPROCESS* dbproc);
/* This library's own: from any thread, makes a call that waits on the network for
 * dbproc give up within about a second, as after a time-out whose cancel went
 * unanswered: the call fails and the connection is closed (dbdead is TRUE). For a
 * program that must stop waiting for a server that no longer answers. */
void dbabandon(DBPROCESS* dbproc);
/* Same as FreeTDS. */
RETCODE dbcanquery(DBPROCESS* dbproc);
/* Microsoft's option numbers. Server settings (DBTEXTSIZE, DBROWCOUNT, DBNOCOUNT,
 * DBARITHABORT, DBARITHIGNORE, DBNOEXEC, DBPARSEONLY, DBQUOTEDIDENT, DBSTAT) become SET
 * statements sent ahead of the next batch, as Microsoft's library sends them with the
 * next dbsqlexec; DBBUFFER, DBNOAUTOFREE and DBSETTIME go to FreeTDS's counterparts.
 * DBTEXTLIMIT, DBANSItoOEM, DBOEMtoANSI and DBCLIENTCURSORS are accepted and change
 * nothing (text arrives whole and in the client character set of freetds.conf).
 * DBOFFSET, DBSHOWPLAN and DBSTORPROCID (gone from current servers) and unknown numbers
 * FAIL with SQLEIOPT, as does a count that is not 0..2147483647. */
RETCODE dbsetopt(DBPROCESS* dbproc, INT option, LPCSTR param);
/* Same as FreeTDS. */
LPDBBINARY dbtxptr(DBPROCESS* dbproc, INT column);
/* Same as FreeTDS. */
LPDBBINARY dbtxtimestamp(DBPROCESS* dbproc, INT column);
/* Same as FreeTDS. */
RETCODE dbwritetext(DBPROCESS* dbproc, LPCSTR objname, LPCDBBINARY textptr, DBTINYINT textptrlen,
                    LPCDBBINARY timestamp, BOOL log, DBINT size, LPCBYTE text);
/* Same as FreeTDS. */
RETCODE dbmoretext(DBPROCESS* dbproc, DBINT size, LPCBYTE text);
/* Same as FreeTDS, except that a decimal or numeric source or destination is
 * Microsoft's DBNUMERIC (fixed length; the destination's precision and scale say what to
 * produce, 18 and 0 when they are not valid) and that dbproc may be NULL (FreeTDS's
 * dbconvert dereferences it for numerics). Returns the destination length, or -1. */
INT dbconvert(DBPROCESS* dbproc, INT srctype, LPCBYTE src, DBINT srclen, INT desttype, LPBYTE dest,
              DBINT destlen);
/* FreeTDS's type, with nvarchar folded into SQLCHAR, ntext into SQLTEXT, bitn into
 * SQLBIT. */
INT dbcoltype(DBPROCESS* dbproc, INT column);
/* Same as FreeTDS. */
RETCODE dbsettime(INT seconds);
/* Same as FreeTDS. */
RETCODE dbsetlogintime(INT seconds);
/* Missing in FreeTDS: TRUE when the answer to a sent command can be read without
 * waiting (bytes on the connection's socket, or nothing pending). Never blocks. */
BOOL dbdataready(DBPROCESS* dbproc);
/* Same as FreeTDS. */
INT dbnumcols(DBPROCESS* dbproc);
/* Same as FreeTDS. */
DBINT dbcount(DBPROCESS* dbproc);
/* Same as FreeTDS. */
BOOL dbiscount(DBPROCESS* dbproc);
/* Same as FreeTDS; 19 for decimal and numeric columns (the DBNUMERIC of dbdata). */
DBINT dbcollen(DBPROCESS* dbproc, INT column);
/* Same as FreeTDS. */
LPCSTR dbcolname(DBPROCESS* dbproc, INT column);
/* FreeTDS's DBCOL holds 514-byte names: filled from it into Microsoft's 122-byte DBCOL,
 * names cut to 30 characters, Type as dbcoltype gives it, MaxLength as dbcollen,
 * CaseSensitive DBUNKNOWN. SizeOfStruct must be sizeof(DBCOL) (122), else FAIL with
 * SQLEPARM; CI_CURSOR FAILs with SQLENOTIMPL (no browse cursors). */
RETCODE dbcolinfo(PDBHANDLE pdbhandle, INT type, INT column, INT computeid, LPDBCOL lpdbcol);
/* FreeTDS fills its own DBDATEREC (Sybase field names and order, month from 0): this
 * library splits the value itself into Microsoft's record (see DBDATEREC). Milliseconds
 * are the 1/300 s ticks rounded (.003, .007, .010). FAIL on a null argument or a time of
 * day past 23:59:59.997. */
RETCODE dbdatecrack(DBPROCESS* dbproc, LPDBDATEREC dateinfo, LPCDBDATETIME datetime);
/* Installs the process-wide message handler; returns the previous one. FreeTDS calls a
 * trampoline that gives Microsoft's arguments (line as DBUSMALLINT). */
DBMSGHANDLE_PROC dbmsghandle(DBMSGHANDLE_PROC handler);
/* Missing in FreeTDS: a message handler for one connection, used instead of the
 * process-wide one for that connection's messages; returns the previous one. */
DBMSGHANDLE_PROC dbprocmsghandle(DBPROCESS* dbproc, DBMSGHANDLE_PROC handler);
/* Installs the process-wide error handler; returns the previous one. FreeTDS calls a
 * trampoline that gives Microsoft's error numbers and honours Microsoft's return codes
 * (INT_CANCEL, INT_CONTINUE; INT_EXIT is taken as INT_CANCEL). */
DBERRHANDLE_PROC dberrhandle(DBERRHANDLE_PROC handler);
/* FreeTDS's DBSETLPACKET macro as a function: the packet size the login asks for. */
RETCODE dbsetlpacket(LOGINREC* login, USHORT packet_size);
/* Missing in FreeTDS: does nothing. */
void dbwinexit(void);
/* Same as FreeTDS: the packet size in use on the connection. */
INT dbgetpacket(DBPROCESS* dbproc);

#ifdef __cplusplus
}
#endif

#endif /* TESSEL_NTWDBLIB_H */
