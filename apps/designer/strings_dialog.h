#pragma once

// The string-list editor behind a TStrings property (a query's SQL, an update
// object's statements): one line of the list per line of text. GUI thread.

#include <QDialog>

class QLabel;
class QPlainTextEdit;

namespace tessel {
class TStrings;
}

namespace tessel::designer {

class StringsDialog : public QDialog {
  Q_OBJECT

 public:
  // caption names the property being edited ("Tessel1.SQL").
  StringsDialog(const QString& caption, const TStrings& strings, QWidget* parent = nullptr);

  QPlainTextEdit* Editor() const { return editor_; }
  // The edited lines, as a list's text.
  std::string Text() const;

 private:
  void CountLines();

  QPlainTextEdit* editor_;
  QLabel* lines_;
};

// Shows the dialog on strings; after OK the list holds the edited lines.
// Returns whether the list changed.
bool EditStrings(QWidget* parent, const QString& caption, TStrings& strings);

}  // namespace tessel::designer
