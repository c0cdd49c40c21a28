#include "errors.h"

#include <algorithm>
#include <iterator>

#include "ftds.h"

namespace tessel::dblib {
namespace {

struct ErrorPair {
  int ftds;
  int ms;
};

// FreeTDS name -> Microsoft number. Most pairs share the name after the prefix (SYBEPWD
// and SQLEPWD); the others go to Microsoft's error for the same condition.
constexpr ErrorPair kErrors[] = {
    {SYBEMEM, 10000},    // SQLEMEM
    {SYBENULL, 10001},   // SQLENULL
    {SYBEPWD, 10003},    // SQLEPWD
    {SYBECONN, 10004},   // SQLECONN
    {SYBEFCON, 10004},   // connection failed: SQLECONN
    {SYBESOCK, 10004},   // no socket: SQLECONN
    {SYBEUHST, 10004},   // unknown host: SQLECONN
    {SYBEINTF, 10004},   // server name not found: SQLECONN
    {SYBEDDNE, 10005},   // SQLEDDNE
    {SYBESMSG, 10007},   // SQLESMSG
    {SYBEBTOK, 10008},   // SQLEBTOK
    {SYBESYNC, 10008},   // stream out of step: SQLEBTOK
    {SYBEREAD, 10010},   // SQLEREAD
    {SYBECNOR, 10011},   // SQLECNOR
    {SYBETSIT, 10012},   // SQLETSIT
    {SYBEAUTN, 10014},   // SQLEAUTN
    {SYBECOFL, 10015},   // SQLECOFL
    {SYBECUFL, 10015},   // underflow: SQLECOFL
    {SYBECLPR, 10015},   // loss of precision: SQLECOFL
    {SYBERDCN, 10016},   // SQLERDCN
    {SYBEICN, 10017},    // SQLEICN
    {SYBECLOS, 10018},   // SQLECLOS
    {SYBEDNTI, 10020},   // SQLEDNTI
    {SYBETMTD, 10021},   // SQLETMTD
    {SYBEASEC, 10022},   // SQLEASEC
    {SYBENTLL, 10023},   // SQLENTLL
    {SYBETIME, 10024},   // SQLETIME
    {SYBEWRIT, 10025},   // SQLEWRIT
    {SYBEOOB, 10027},    // SQLEOOB
    {SYBEITIM, 10028},   // SQLEITIM
    {SYBEDBPS, 10029},   // SQLEDBPS
    {SYBEUNOP, 10030},   // unknown option: SQLEIOPT
    {SYBEOPTNO, 10030},  // option not allowed: SQLEIOPT
    {SYBEASNL, 10031},   // SQLEASNL
    {SYBEASUL, 10032},   // SQLEASUL
    {SYBENPRM, 10033},   // SQLENPRM
    {SYBENSIP, 10035},   // SQLENSIP
    {SYBESEOF, 10037},   // SQLESEOF
    {SYBERPND, 10038},   // SQLERPND
    {SYBECSYN, 10039},   // SQLECSYN
    {SYBEBTYP, 10041},   // SQLEBTYP
    {SYBEABNC, 10042},   // SQLEABNC
    {SYBEABMT, 10043},   // SQLEABMT
    {SYBEABNP, 10044},   // SQLEABNP
    {SYBEBNCR, 10045},   // SQLEBNCR
    {SYBEAAMT, 10046},   // SQLEAAMT
    {SYBENXID, 10047},   // SQLENXID
    {SYBEIFNB, 10048},   // SQLEIFNB
    {SYBEKBCO, 10049},   // SQLEKBCO
    {SYBEBBCI, 10050},   // SQLEBBCI
    {SYBEKBCI, 10051},   // SQLEKBCI
    {SYBEBCWE, 10052},   // SQLEBCWE
    {SYBEBCNN, 10053},   // SQLEBCNN
    {SYBEBCOR, 10054},   // SQLEBCOR
    {SYBEBCPI, 10055},   // SQLEBCPI
    {SYBEBCPN, 10056},   // SQLEBCPN
    {SYBEBCPB, 10057},   // SQLEBCPB
    {SYBEVDPT, 10058},   // SQLEVDPT
    {SYBEBIVI, 10059},   // SQLEBIVI
    {SYBEBCBC, 10060},   // SQLEBCBC
    {SYBEBCFO, 10061},   // SQLEBCFO
    {SYBEBCVH, 10062},   // SQLEBCVH
    {SYBEBCUO, 10063},   // SQLEBCUO
    {SYBEBUOE, 10064},   // SQLEBUOE
    {SYBEBWEF, 10065},   // SQLEBWEF
    {SYBEBTMT, 10066},   // SQLEBTMT
    {SYBEBEOF, 10067},   // SQLEBEOF
    {SYBEBCSI, 10068},   // SQLEBCSI
    {SYBEBDIO, 10071},   // SQLEBDIO
    {SYBEBCNT, 10072},   // SQLEBCNT
};

}  // namespace

int MicrosoftErrorNumber(int ftds_error) {
  auto found = std::find_if(std::begin(kErrors), std::end(kErrors),
                            [ftds_error](const ErrorPair& p) { return p.ftds == ftds_error; });
  return found == std::end(kErrors) ? ftds_error : found->ms;
}

}  // namespace tessel::dblib
