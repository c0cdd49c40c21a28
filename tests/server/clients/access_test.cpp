// tessel-sqld with logins that are database users, against python-tds: sa
// may do everything, the others only what their databases allow.

#include <gtest/gtest.h>

#include "sqld_script.h"

namespace tessel::sqld::test {
namespace {

TEST(Access, DatabaseUsersGetSqlServersErrorsAndSaMayDoEverything) {
  ExpectSqldScriptPasses("access_client.py", "Sa-pw1",
                         {"--login", "anna:Anna-pw1:d2", "--login", "bob:Bob-pw1"});
}

}  // namespace
}  // namespace tessel::sqld::test
