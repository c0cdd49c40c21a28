// The navigator's buttons follow the dataset's state and do what they say.

#include <QToolButton>

#include "controls/data_error.h"
#include "controls/data_navigator.h"
#include "controls_fixture.h"

namespace tessel::testing {
namespace {

using controls::DataNavigator;
using controls::NavigateButton;
using B = NavigateButton;

std::string Enabled(const DataNavigator& nav) {
  static const char* names[] = {"first",  "prior", "next", "last",   "insert",
                                "delete", "edit",  "post", "cancel", "refresh"};
  std::string out;
  for (int i = 0; i < controls::kNavigateButtons; ++i) {
    if (nav.Button(static_cast<B>(i))->isEnabled())
      out += std::string(out.empty() ? "" : " ") + names[i];
  }
  return out;
}

TEST_F(ControlsTest, NavigatorButtonsFollowTheState) {
  MakeNumbers("ctl_nav", 3);
  TTessel& q = OpenQuery("SELECT id, name FROM ctl_nav ORDER BY id", true);
  DataNavigator nav;
  nav.SetDataSource(source.get());
  EXPECT_EQ(Enabled(nav), "next last insert delete edit refresh");

  nav.Click(B::Next);
  EXPECT_EQ(q.RecNo(), 2);
  EXPECT_EQ(Enabled(nav), "first prior next last insert delete edit refresh");

  nav.Click(B::Last);
  EXPECT_EQ(q.RecNo(), 3);
  EXPECT_EQ(Enabled(nav), "first prior insert delete edit refresh");

  nav.Click(B::Edit);
  EXPECT_EQ(q.State(), dsEdit);
  EXPECT_EQ(Enabled(nav), "first prior insert delete post cancel");

  nav.Click(B::Cancel);
  EXPECT_EQ(q.State(), dsBrowse);
  EXPECT_EQ(Enabled(nav).find("post"), std::string::npos);
  EXPECT_NE(Enabled(nav).find("edit refresh"), std::string::npos);

  q.Close();
  EXPECT_EQ(Enabled(nav), "");
}

TEST_F(ControlsTest, NavigatorRefreshRunsTheQueryAgainAndKeepsThePlace) {
  MakeNumbers("ctl_refresh", 5);
  TTessel& q = OpenQuery("SELECT id, name FROM ctl_refresh ORDER BY id", true);
  DataNavigator nav;
  nav.SetDataSource(source.get());
  q.MoveBy(2);
  server->InternalExecute("UPDATE ctl_refresh SET name = 'changed' WHERE id = 3");
  nav.Click(B::Refresh);
  EXPECT_EQ(q.RecNo(), 3);
  EXPECT_EQ(q.FieldByName("name")->AsString(), "changed");
}

TEST_F(ControlsTest, NavigatorDeleteAsksFirstAndAFailureIsShown) {
  MakeNumbers("ctl_del", 2);
  TTessel& q = OpenQuery("SELECT id, name FROM ctl_del ORDER BY id", true);
  DataNavigator nav;
  nav.SetDataSource(source.get());
  int asked = 0;
  auto previous = controls::SetConfirmHandler([&](QWidget*, const QString& question) {
    ++asked;
    EXPECT_EQ(question, "Delete record?");
    return false;
  });
  nav.Click(B::Delete);
  controls::SetConfirmHandler(previous);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(q.RecordCount(), 2);  // the user said no
}

// A statement without rows (an UPDATE) leaves an open dataset without
// fields: nothing to insert into or edit. The buttons say so, and a click
// anyway is refused with a message rather than a crash.
TEST_F(ControlsTest, NavigatorOffersNoEditsOnAResultWithoutFields) {
  MakeNumbers("ctl_nofields", 2);
  TTessel& q = OpenQuery("UPDATE ctl_nofields SET name = 'x' WHERE id = 1", true, "ctl_nofields");
  ASSERT_TRUE(q.Active());
  ASSERT_EQ(q.FieldCount(), 0);
  DataNavigator nav;
  nav.SetDataSource(source.get());
  EXPECT_EQ(Enabled(nav), "refresh");
  std::vector<QString> shown;
  auto previous = controls::SetDataErrorHandler(
      [&](QWidget*, const QString& message) { shown.push_back(message); });
  nav.Click(B::Insert);
  nav.Click(B::Edit);
  controls::SetDataErrorHandler(previous);
  EXPECT_EQ(q.State(), dsBrowse);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_TRUE(shown[0].contains("no fields")) << shown[0].toStdString();
}

}  // namespace
}  // namespace tessel::testing
