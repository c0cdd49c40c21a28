// A compile-time check that every wrapper of the binding has the shape of
// the client library's own declaration: same number of arguments, integers of
// the same width and signedness, pointers where the library has pointers,
// handler types of the same shape. A mismatch would pass arguments wrongly
// through the resolved entry point, so it must not compile.

#include <cstddef>
#include <type_traits>

#include "ntwdblib.h"
// The client library's header defines its return codes as macros; the
// binding declares them as constants of its own.
#undef SUCCEED
#undef FAIL
#undef NO_MORE_ROWS
#undef REG_ROW
#undef INT_CANCEL
#include "connection/sqlserver_host.h"
#include "runtime/lqSQLdb.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

template <typename A, typename B>
struct SameShape;

template <typename A, typename B>
constexpr bool Compatible() {
  if constexpr (std::is_same_v<A, B>) {
    return true;
  } else if constexpr (std::is_integral_v<A> && std::is_integral_v<B>) {
    return sizeof(A) == sizeof(B) && std::is_signed_v<A> == std::is_signed_v<B>;
  } else if constexpr (std::is_pointer_v<A> && std::is_pointer_v<B>) {
    using PA = std::remove_pointer_t<A>;
    using PB = std::remove_pointer_t<B>;
    if constexpr (std::is_function_v<PA> && std::is_function_v<PB>) {
      return SameShape<PA, PB>::value;
    } else {
      return !std::is_function_v<PA> && !std::is_function_v<PB>;
    }
  } else {
    return false;
  }
}

template <typename R1, typename... A1, typename R2, typename... A2>
struct SameShape<R1(A1...), R2(A2...)> {
  static constexpr bool Arguments() {
    if constexpr (sizeof...(A1) != sizeof...(A2)) {
      return false;
    } else {
      return (Compatible<A1, A2>() && ...);
    }
  }
  static constexpr bool value = Compatible<R1, R2>() && Arguments();
};

#define TESSEL_SAME_SHAPE(name)                                                   \
  static_assert(SameShape<std::remove_pointer_t<decltype(&::name)>,               \
                          std::remove_pointer_t<decltype(&tessel::name)>>::value, \
                #name " differs from the client library's declaration");

TESSEL_SAME_SHAPE(dblogin)
TESSEL_SAME_SHAPE(dbopen)
TESSEL_SAME_SHAPE(dbinit)
TESSEL_SAME_SHAPE(dbexit)
TESSEL_SAME_SHAPE(dbsetlname)
TESSEL_SAME_SHAPE(dbfreelogin)
TESSEL_SAME_SHAPE(bcp_setl)
TESSEL_SAME_SHAPE(dbclose)
TESSEL_SAME_SHAPE(dbcmd)
TESSEL_SAME_SHAPE(dbfreebuf)
TESSEL_SAME_SHAPE(dbsqlexec)
TESSEL_SAME_SHAPE(dbresults)
TESSEL_SAME_SHAPE(dbbind)
TESSEL_SAME_SHAPE(dbnullbind)
TESSEL_SAME_SHAPE(dbaltbind)
TESSEL_SAME_SHAPE(dbnextrow)
TESSEL_SAME_SHAPE(dbdata)
TESSEL_SAME_SHAPE(dbdatlen)
TESSEL_SAME_SHAPE(dbrpcinit)
TESSEL_SAME_SHAPE(dbrpcparam)
TESSEL_SAME_SHAPE(dbrpcsend)
TESSEL_SAME_SHAPE(dbsqlok)
TESSEL_SAME_SHAPE(dbcmdrow)
TESSEL_SAME_SHAPE(dbdead)
TESSEL_SAME_SHAPE(dbsqlsend)
TESSEL_SAME_SHAPE(dbretdata)
TESSEL_SAME_SHAPE(dbrpcexec)
TESSEL_SAME_SHAPE(dbuse)
TESSEL_SAME_SHAPE(dbreadtext)
TESSEL_SAME_SHAPE(dbcancel)
TESSEL_SAME_SHAPE(dbcanquery)
TESSEL_SAME_SHAPE(dbsetopt)
TESSEL_SAME_SHAPE(dbtxptr)
TESSEL_SAME_SHAPE(dbtxtimestamp)
TESSEL_SAME_SHAPE(dbwritetext)
TESSEL_SAME_SHAPE(dbmoretext)
TESSEL_SAME_SHAPE(dbconvert)
TESSEL_SAME_SHAPE(dbcoltype)
TESSEL_SAME_SHAPE(dbsettime)
TESSEL_SAME_SHAPE(dbsetlogintime)
TESSEL_SAME_SHAPE(dbdataready)
TESSEL_SAME_SHAPE(dbnumcols)
TESSEL_SAME_SHAPE(dbcount)
TESSEL_SAME_SHAPE(dbiscount)
TESSEL_SAME_SHAPE(dbcollen)
TESSEL_SAME_SHAPE(dbcolname)
TESSEL_SAME_SHAPE(dbcolinfo)
TESSEL_SAME_SHAPE(dbdatecrack)
TESSEL_SAME_SHAPE(dbmsghandle)
TESSEL_SAME_SHAPE(dbprocmsghandle)
TESSEL_SAME_SHAPE(dberrhandle)
TESSEL_SAME_SHAPE(dbsetlpacket)
TESSEL_SAME_SHAPE(dbwinexit)
TESSEL_SAME_SHAPE(dbgetpacket)

TEST(BindingTypes, RecordLayoutsMatchTheClientLibrary) {
  EXPECT_EQ(sizeof(tessel::DBCOL), sizeof(::DBCOL));
  EXPECT_EQ(offsetof(tessel::DBCOL, Type), offsetof(::DBCOL, Type));
  EXPECT_EQ(offsetof(tessel::DBCOL, VarLength), offsetof(::DBCOL, VarLength));
  EXPECT_EQ(offsetof(tessel::DBCOL, Identity), offsetof(::DBCOL, Identity));
  EXPECT_EQ(sizeof(tessel::DBDATEREC), sizeof(::DBDATEREC));
  EXPECT_EQ(offsetof(tessel::DBDATEREC, millisecond), offsetof(::DBDATEREC, millisecond));
  EXPECT_EQ(sizeof(tessel::DBDATETIME), sizeof(::DBDATETIME));
}

TEST(BindingTypes, NetworkLibrarySettingIsWhereAndHowTheClientLibraryReadsIt) {
  unsetenv(TESSEL_DBLIB_CONF_ENV);
  EXPECT_EQ(tessel::detail::NetLibSettingsPath(), TESSEL_DBLIB_CONF_PATH);
  char dir[] = "/tmp/tessel-conf-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/dblib.conf";
  setenv(TESSEL_DBLIB_CONF_ENV, path.c_str(), 1);
  EXPECT_EQ(tessel::detail::NetLibSettingsPath(), path);
  ASSERT_TRUE(tessel::detail::WriteNetLibSetting(path, DBNETLIB_NAMEDPIPES));
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), std::string(TESSEL_DBLIB_CONF_SECTION) + "\n" + TESSEL_DBLIB_CONF_KEY +
                            "=" + DBNETLIB_NAMEDPIPES + "\n");
  unlink(path.c_str());
  rmdir(dir);
  unsetenv(TESSEL_DBLIB_CONF_ENV);
}

}  // namespace
