#include "strings_dialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "framework/string_list.h"

namespace tessel::designer {

StringsDialog::StringsDialog(const QString& caption, const TStrings& strings, QWidget* parent)
    : QDialog(parent), editor_(new QPlainTextEdit(this)), lines_(new QLabel(this)) {
  setWindowTitle("String List Editor - " + caption);
  setObjectName("StringsDialog");
  editor_->setObjectName("lines");
  editor_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  editor_->setLineWrapMode(QPlainTextEdit::NoWrap);
  QString text;
  for (int i = 0; i < strings.Count(); ++i) {
    if (i > 0) text += '\n';
    text += QString::fromStdString(strings.Get(i));
  }
  editor_->setPlainText(text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(editor_, &QPlainTextEdit::textChanged, this, &StringsDialog::CountLines);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lines_);
  layout->addWidget(editor_);
  layout->addWidget(buttons);
  resize(480, 320);
  CountLines();
}

std::string StringsDialog::Text() const {
  return editor_->toPlainText().toStdString();
}

void StringsDialog::CountLines() {
  const QString text = editor_->toPlainText();
  const int count = text.isEmpty() ? 0 : static_cast<int>(text.count('\n')) + 1;
  lines_->setText(QString("%1 line%2").arg(count).arg(count == 1 ? "" : "s"));
}

bool EditStrings(QWidget* parent, const QString& caption, TStrings& strings) {
  StringsDialog dialog(caption, strings, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  const std::string before = strings.Text();
  strings.SetText(dialog.Text());
  return strings.Text() != before;
}

}  // namespace tessel::designer
