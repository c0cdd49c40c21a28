#pragma once

// Tools > Options: the designer's settings kept between runs (QSettings,
// organisation "tessel", application "designer"). For now whether form
// files keep the passwords of their servers: kept, the file is written
// readable by its owner only; left out, whoever runs the form supplies the
// password. GUI thread only.

#include <QDialog>

class QCheckBox;

namespace tessel::designer {

struct DesignerSettings {
  bool save_passwords = true;

  static DesignerSettings Load();
  void Store() const;
};

class OptionsDialog : public QDialog {
  Q_OBJECT

 public:
  OptionsDialog(const DesignerSettings& settings, QWidget* parent = nullptr);
  DesignerSettings Settings() const;
  QCheckBox* SavePasswords() const { return save_passwords_; }

 private:
  QCheckBox* save_passwords_;
};

}  // namespace tessel::designer
