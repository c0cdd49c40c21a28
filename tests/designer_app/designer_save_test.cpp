// File > Save As: the .tfm suffix added to a bare name, and a form holding a
// password written readable by its owner only (the user told once) or
// without the password, as the options say.

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "designer_fixture.h"
#include "modal.h"
#include "runtime/SQLServer.h"

namespace tessel::testing {
namespace {

TEST_F(DesignerTest, SaveAsNamesTheFileAndKeepsPasswordsPrivate) {
  auto* server = dynamic_cast<TSQLServer*>(PlaceFromPalette("TSQLServer"));
  ASSERT_NE(server, nullptr);
  struct Case {
    const char* typed;
    const char* written;
    const char* password;
    bool save_passwords;
    bool notice;  // the owner-only notice shows (once a session)
    bool holds_password;
  };
  const Case cases[] = {
      {"plain", "plain.tfm", "", true, false, false},
      {"report.form", "report.form", "", true, false, false},
      {"secret", "secret.tfm", "s3cret", true, true, true},
      {"secret-again", "secret-again.tfm", "s3cret", true, false, true},
      {"no-password", "no-password.tfm", "s3cret", false, false, false},
  };
  const QString dir = QString::fromStdString(::testing::TempDir());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    const QString written = dir + c.written;
    QFile::remove(written);
    server->SetPassword(c.password);
    Document().Modified();
    window->SetSettings({c.save_passwords});
    bool noticed = false;
    if (c.notice) {
      OnModal<QMessageBox>([&](QMessageBox* box) {
        noticed = box->text().contains("readable by you only");
        box->accept();
      });
    }
    OnModal<QFileDialog>([&](QFileDialog* dialog) {
      dialog->selectFile(dir + c.typed);
      // QFileDialog's accept, reached through QDialog's public one.
      static_cast<QDialog*>(dialog)->accept();
    });
    ASSERT_TRUE(window->SaveAs());
    EXPECT_EQ(Document().FileName(), written);
    EXPECT_EQ(noticed, c.notice);
    QFile file(written);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().contains("s3cret"), c.holds_password);
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ReadOther | QFileDevice::WriteOther;
    if (c.holds_password) {
      EXPECT_EQ(file.permissions() & others, QFileDevice::Permissions{});
    }
    // What is in memory is unchanged by leaving the password out.
    EXPECT_EQ(server->Password(), c.password);
  }
  EXPECT_EQ(designer::DesignerWindow::WithFormSuffix("/tmp/x.y/orders"), "/tmp/x.y/orders.tfm");
}

}  // namespace
}  // namespace tessel::testing
