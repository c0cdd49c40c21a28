#include "controls/data_edits.h"

#include <QPixmap>
#include <QStyle>
#include <QStyleOptionFrame>

#include "controls/data_error.h"
#include "line_edit_ink.h"
#include "own_repaint.h"

namespace tessel::controls {

QString FieldText(TField* field, QWidget* control) {
  if (field == nullptr || field->IsNull()) return {};
  QString text;
  RunReportingErrors(control, [&] { text = QString::fromStdString(field->AsString()); });
  return text;
}

void SetFieldText(TField& field, const QString& text) {
  const std::string value = text.toStdString();
  if (value.empty() && field.DataType() != ftString && field.DataType() != ftMemo) {
    ClearField(field);
  } else {
    field.SetAsString(value);
  }
}

DataLineEdit::DataLineEdit(QWidget* parent) : QLineEdit(parent), FieldControl(this) {
  connect(this, &QLineEdit::textEdited, this, [this] { UserChanged(); });
  connect(this, &QLineEdit::editingFinished, this, [this] { Commit(); });
  Show();
}

void DataLineEdit::ShowField(TField* field) {
  // setText lays the text out again and resets the cursor even when the
  // text is the same, as it is for many fields from one record to the next.
  const QString shown = FieldText(field, this);
  if (shown != text()) ShowText(shown);
}

void DataLineEdit::ShowText(const QString& shown) {
  // setText repaints the whole widget, frame included, and styles draw the
  // frame with antialiased lines that cost more than the text: on a screen
  // following a dataset that is most of the time spent per record. A new
  // text changes nothing outside the contents rectangle, to which QLineEdit
  // clips everything it draws for the text; when it changes nothing but the
  // glyphs and the cursor, it changes only the rows the old and the new
  // glyphs and cursor cover, which leave out the shading the style draws
  // just inside the frame. Hidden, or with updates held back by another,
  // the edit has nothing to spare.
  if (!isVisible() || testAttribute(Qt::WA_UpdatesDisabled)) {
    setText(shown);
    return;
  }
  QStyleOptionFrame option;
  initStyleOption(&option);
  const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
  if (!OnlyGlyphsAndCursorChangeWithText(*this) || !GlyphsStayInTheirBox(text()) ||
      !GlyphsStayInTheirBox(shown)) {
    WithoutOwnRepaint(*this, [&] { setText(shown); });
    update(contents);
    return;
  }
  // The cursor is drawn only with the focus, where cursorRect says, from the
  // line's place at the last paint (painted_text_'s); the next paint moves
  // the line to the new text's place.
  const bool cursor = hasFocus();
  const TextPlace before = PlaceText(*this, contents, text());
  QRect changed = before.glyph_rows;
  int painted_top = before.line_top;
  if (cursor) {
    changed |= RowsOf(cursorRect(), contents);
    if (painted_text_ != text()) painted_top = PlaceText(*this, contents, painted_text_).line_top;
  }
  WithoutOwnRepaint(*this, [&] { setText(shown); });
  const TextPlace after = PlaceText(*this, contents, shown);
  changed |= after.glyph_rows;
  if (cursor) changed |= RowsOf(cursorRect().translated(0, after.line_top - painted_top), contents);
  update(changed);
}

void DataLineEdit::paintEvent(QPaintEvent* event) {
  QLineEdit::paintEvent(event);
  painted_text_ = text();
}

void DataLineEdit::WriteField(TField& field) {
  SetFieldText(field, text());
}

DataMemo::DataMemo(QWidget* parent) : QPlainTextEdit(parent), FieldControl(this) {
  connect(this, &QPlainTextEdit::textChanged, this, [this] { UserChanged(); });
  Show();
}

void DataMemo::ShowField(TField* field) {
  // setPlainText lays the whole text out again and forgets the cursor and
  // the undo history even when the text is the same.
  const QString shown = FieldText(field, this);
  if (shown != toPlainText()) setPlainText(shown);
}

void DataMemo::WriteField(TField& field) {
  SetFieldText(field, toPlainText());
}

void DataMemo::focusOutEvent(QFocusEvent* event) {
  Commit();
  QPlainTextEdit::focusOutEvent(event);
}

DataImage::DataImage(QWidget* parent) : QLabel(parent), FieldControl(this) {
  setAlignment(Qt::AlignCenter);
  setMinimumSize(64, 64);
  Show();
}

void DataImage::ShowField(TField* field) {
  has_picture_ = false;
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

DataLabel::DataLabel(QWidget* parent) : QLabel(parent), FieldControl(this) {
  setTextFormat(Qt::PlainText);
  Show();
}

void DataLabel::ShowField(TField* field) {
  QString text;
  if (field != nullptr && !field->IsNull()) {
    RunReportingErrors(this, [&] { text = QString::fromStdString(field->DisplayText()); });
  }
  // setText asks the layout to place the whole screen again and repaints
  // the label, the same text or not.
  if (text != this->text()) setText(text);
}

}  // namespace tessel::controls
