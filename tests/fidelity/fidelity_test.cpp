// Every value of every column type through every write path of the package:
// it arrives on the server exactly, as a fresh query and python-tds both read
// it, or it is refused at assignment (or at Post, for a code page only the
// table tells) naming the field and the value, before anything is sent; read
// and written back unchanged it stays as it was, and the statements that
// compare every column find it again.

#include <ostream>
#include <string>

#include "framework/exceptions.h"
#include "query_fixture.h"
#include "roundtrip.h"

namespace tessel::fidelity {

void PrintTo(const FidelityColumn& column, std::ostream* out) {
  *out << column.type;
}

namespace {

class Fidelity : public testing::QueryTest, public ::testing::WithParamInterface<FidelityColumn> {};

TEST_P(Fidelity, EveryValueArrivesExactlyOrIsRefusedBeforeItIsSent) {
  const FidelityColumn& column = GetParam();
  const ClientAddress client =
      MakeClientAddress(address->Server, address->User, address->Password, address->Database);
  std::vector<Arrival> arrivals;
  try {
    arrivals = RoundTrip(*server, client, column);
  } catch (const Exception& e) {
    FAIL() << column.type << ": " << e.ClassName() << ": " << e.Message();
  }
  for (const Arrival& arrival : arrivals) {
    SCOPED_TRACE(column.type + " | " + arrival.value + " | " + arrival.path);
    EXPECT_TRUE(arrival.exact) << arrival.detail;
  }
}

INSTANTIATE_TEST_SUITE_P(Types, Fidelity, ::testing::ValuesIn(ValueTable()),
                         [](const ::testing::TestParamInfo<FidelityColumn>& info) {
                           return info.param.slug;
                         });

}  // namespace
}  // namespace tessel::fidelity
