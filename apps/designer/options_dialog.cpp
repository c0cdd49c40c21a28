#include "options_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QSettings>
#include <QVBoxLayout>

namespace tessel::designer {

namespace {

const char kSavePasswords[] = "forms/savePasswords";

QSettings Store() {
  return QSettings("tessel", "designer");
}

}  // namespace

DesignerSettings DesignerSettings::Load() {
  DesignerSettings settings;
  settings.save_passwords = designer::Store().value(kSavePasswords, true).toBool();
  return settings;
}

void DesignerSettings::Store() const {
  designer::Store().setValue(kSavePasswords, save_passwords);
}

OptionsDialog::OptionsDialog(const DesignerSettings& settings, QWidget* parent)
    : QDialog(parent), save_passwords_(new QCheckBox("Save &passwords in form files", this)) {
  setObjectName("OptionsDialog");
  setWindowTitle("Options");
  save_passwords_->setObjectName("savePasswords");
  save_passwords_->setChecked(settings.save_passwords);
  auto* note = new QLabel(
      "A form file holding a password is readable by you only. Without the password,\n"
      "whoever runs the form gives it (tessel-run --password-file, for example).",
      this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(save_passwords_);
  layout->addWidget(note);
  layout->addWidget(buttons);
}

DesignerSettings OptionsDialog::Settings() const {
  DesignerSettings settings;
  settings.save_passwords = save_passwords_->isChecked();
  return settings;
}

}  // namespace tessel::designer
