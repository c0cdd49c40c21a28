#include "controls/data_edits.h"

#include <QPixmap>

#include "controls/data_error.h"

namespace tessel::controls {

namespace {

// The field's value as text; a value that cannot be read is shown as the error.
QString FieldText(TField* field, QWidget* control) {
  if (field == nullptr || field->IsNull()) return {};
  QString text;
  RunReportingErrors(control, [&] { text = QString::fromStdString(field->AsString()); });
  return text;
}

// Writes text into the field of link; an empty text clears a non-string field.
bool WriteField(FieldLink& link, const QString& text, QWidget* control) {
  TField* field = link.Field();
  if (field == nullptr) return true;
  return RunReportingErrors(control, [&] {
    if (!link.Editing() && !link.Edit()) return;
    const std::string value = text.toStdString();
    if (value.empty() && field->DataType() != ftString && field->DataType() != ftMemo) {
      field->Clear();
    } else {
      field->SetAsString(value);
    }
  });
}

}  // namespace

DataLineEdit::DataLineEdit(QWidget* parent) : QLineEdit(parent) {
  link_.OnDataChange = [this] {
    if (!typed_) Show();
  };
  link_.OnEditingChange = [this] {
    if (!link_.Editing()) typed_ = false;
    Show();
  };
  link_.OnUpdateData = [this] { Commit(); };
  connect(this, &QLineEdit::textEdited, this, [this] {
    typed_ = true;
    if (!link_.Editing() && !link_.Edit()) {
      typed_ = false;
      Show();
    }
  });
  connect(this, &QLineEdit::editingFinished, this, [this] { Commit(); });
  Show();
}

void DataLineEdit::Show() {
  setReadOnly(!link_.CanModify());
  setEnabled(link_.Field() != nullptr);
  if (!typed_) setText(FieldText(link_.Field(), this));
}

bool DataLineEdit::Commit() {
  if (!typed_) return true;
  typed_ = false;
  if (WriteField(link_, text(), this)) return true;
  typed_ = true;  // keep what the user typed so it can be corrected
  return false;
}

DataMemo::DataMemo(QWidget* parent) : QPlainTextEdit(parent) {
  link_.OnDataChange = [this] {
    if (!typed_) Show();
  };
  link_.OnEditingChange = [this] {
    if (!link_.Editing()) typed_ = false;
    Show();
  };
  link_.OnUpdateData = [this] { Commit(); };
  connect(this, &QPlainTextEdit::textChanged, this, [this] {
    if (showing_) return;
    typed_ = true;
    if (!link_.Editing() && !link_.Edit()) {
      typed_ = false;
      Show();
    }
  });
  Show();
}

void DataMemo::Show() {
  showing_ = true;
  setReadOnly(!link_.CanModify());
  setEnabled(link_.Field() != nullptr);
  if (!typed_) setPlainText(FieldText(link_.Field(), this));
  showing_ = false;
}

bool DataMemo::Commit() {
  if (!typed_) return true;
  typed_ = false;
  if (WriteField(link_, toPlainText(), this)) return true;
  typed_ = true;
  return false;
}

void DataMemo::focusOutEvent(QFocusEvent* event) {
  Commit();
  QPlainTextEdit::focusOutEvent(event);
}

DataImage::DataImage(QWidget* parent) : QLabel(parent) {
  setAlignment(Qt::AlignCenter);
  setMinimumSize(64, 64);
  link_.OnDataChange = [this] { Show(); };
  link_.OnEditingChange = [this] { Show(); };
  Show();
}

void DataImage::Show() {
  has_picture_ = false;
  TField* field = link_.Field();
  if (field == nullptr || field->IsNull()) {
    setPixmap({});
    setText(field == nullptr ? QString() : tr("(no picture)"));
    return;
  }
  std::string bytes;
  if (!RunReportingErrors(this, [&] { bytes = field->AsString(); })) return;
  QPixmap picture;
  if (picture.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                           static_cast<uint>(bytes.size()))) {
    has_picture_ = true;
    setText({});
    setPixmap(picture.scaled(size().expandedTo(QSize(64, 64)), Qt::KeepAspectRatio,
                             Qt::SmoothTransformation));
  } else {
    setPixmap({});
    setText(tr("(%1 bytes, not a picture)").arg(bytes.size()));
  }
}

}  // namespace tessel::controls
