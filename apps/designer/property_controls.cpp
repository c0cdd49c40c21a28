#include "property_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <memory>

#include "error_box.h"
#include "form_document.h"
#include "framework/string_list.h"
#include "framework/sysutils.h"
#include "strings_dialog.h"

namespace tessel::designer {

namespace {

QString ToQ(const std::string& text) {
  return QString::fromStdString(text);
}

// Applies a change; a refused one is shown and the value shown again.
template <class Change>
void Apply(const PropertyRow& row, QWidget* control, Change&& change) {
  if (!Guarded(control, std::forward<Change>(change)) && row.refresh) row.refresh();
}

QWidget* LineEdit(const PropertyRow& row, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  const QString shown = ToQ(row.editor->GetValue());
  edit->setText(shown);
  edit->setFrame(false);
  edit->setReadOnly(row.editor->GetAttributes().Contains(paReadOnly));
  if (CompareText(row.property->name, "Password") == 0) {
    edit->setEchoMode(QLineEdit::PasswordEchoOnEdit);
  }
  QObject::connect(edit, &QLineEdit::editingFinished, edit, [row, edit, shown] {
    const QString text = edit->text();
    if (text == shown || edit->isReadOnly()) return;
    // Put the value back first: the error box takes the focus, which ends
    // the editing a second time.
    edit->setText(shown);
    Apply(row, edit, [&] { row.editor->SetValue(text.toStdString()); });
  });
  return edit;
}

QWidget* CheckBox(const PropertyRow& row, QWidget* parent) {
  auto* box = new QCheckBox(parent);
  const bool value = CompareText(row.editor->GetValue(), "True") == 0;
  box->setChecked(value);
  box->setText(value ? "True" : "False");
  QObject::connect(box, &QCheckBox::clicked, box, [row, box](bool checked) {
    Apply(row, box, [&] { row.editor->SetValue(checked ? "True" : "False"); });
  });
  return box;
}

QWidget* EnumerationList(const PropertyRow& row, QWidget* parent) {
  auto* list = new QComboBox(parent);
  for (const std::string& name : row.editor->GetValues()) list->addItem(ToQ(name));
  list->setCurrentText(ToQ(row.editor->GetValue()));
  QObject::connect(list, &QComboBox::activated, list, [row, list](int index) {
    Apply(row, list, [&] { row.editor->SetValue(list->itemText(index).toStdString()); });
  });
  return list;
}

// The components of the form that the reference may name: of the property's
// class, and not the object itself.
QWidget* ReferenceList(const PropertyRow& row, QWidget* parent) {
  auto* list = new QComboBox(parent);
  list->addItem(QString());
  const TClassInfo* wanted = row.property->type->class_info;
  TComponent* root = row.document->Root();
  std::vector<TComponent*> candidates = row.document->Components();
  candidates.insert(candidates.begin(), root);
  for (TComponent* component : candidates) {
    const TClassInfo* info = ClassInfoOfObject(*component);
    if (component == row.object || info == nullptr || !info->InheritsFrom(wanted)) continue;
    list->addItem(ToQ(component->Name()));
  }
  list->setCurrentText(ToQ(row.editor->GetValue()));
  QObject::connect(list, &QComboBox::activated, list, [row, list](int index) {
    const std::string name = list->itemText(index).toStdString();
    Apply(row, list, [&] {
      TComponent* root = row.document->Root();
      TComponent* target = name.empty()                           ? nullptr
                           : CompareText(root->Name(), name) == 0 ? root
                                                                  : root->FindComponent(name);
      row.property->set_object(*row.object, target);
      row.document->Modified();
    });
  });
  return list;
}

// The first line of a string list, as a hint of what it holds.
QString StringsCaption(const PropertyRow& row) {
  const auto* strings = dynamic_cast<const TStrings*>(row.property->get_object(*row.object));
  if (strings == nullptr || strings->Count() == 0) return ToQ(row.editor->GetValue());
  QString first = ToQ(strings->Get(0)).simplified();
  return strings->Count() > 1 ? first + " ..." : first;
}

// A caption and an ellipsis button; `edit` runs behind the button.
QWidget* DialogCaption(const QString& caption, QWidget* parent, std::function<void()> edit) {
  auto* box = new QWidget(parent);
  auto* layout = new QHBoxLayout(box);
  layout->setContentsMargins(2, 0, 0, 0);
  layout->setSpacing(2);
  auto* label = new QLabel(caption, box);
  label->setObjectName("value");
  label->setMinimumWidth(10);
  label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  auto* button = new QToolButton(box);
  button->setObjectName("edit");
  button->setText("...");
  button->setFixedHeight(18);
  layout->addWidget(label, 1);
  layout->addWidget(button);
  QObject::connect(button, &QToolButton::clicked, box, std::move(edit));
  return box;
}

QWidget* StringsEditor(const PropertyRow& row, QWidget* parent) {
  auto* strings = dynamic_cast<TStrings*>(row.property->get_object(*row.object));
  QWidget* box = DialogCaption(StringsCaption(row), parent, [row, strings, parent] {
    if (strings == nullptr) return;
    const auto* component = dynamic_cast<const TComponent*>(row.object);
    const QString owner = component != nullptr ? ToQ(component->Name()) + "." : QString();
    Apply(row, parent, [&] {
      if (EditStrings(parent, owner + row.path, *strings)) row.document->Modified();
    });
  });
  return box;
}

QWidget* ReadOnlyCaption(const PropertyRow& row, QWidget* parent) {
  auto* label = new QLabel(ToQ(row.editor->GetValue()), parent);
  label->setContentsMargins(2, 0, 0, 0);
  return label;
}

// An event: an editable drop-down of the handler names the editor offers (an
// empty entry clears the event); a typed name is taken when the editing ends.
QWidget* EventList(const PropertyRow& row, QWidget* parent) {
  auto* list = new QComboBox(parent);
  list->setEditable(true);
  list->setInsertPolicy(QComboBox::NoInsert);
  // No completion: a new name that begins like a known one stays as typed.
  list->setCompleter(nullptr);
  list->setFrame(false);
  list->addItem(QString());
  for (const std::string& name : row.editor->GetValues()) list->addItem(ToQ(name));
  // The name the event has; a change is applied once, whichever signal
  // reports it first.
  auto shown = std::make_shared<QString>(ToQ(row.editor->GetValue()));
  list->setCurrentIndex(list->findText(*shown));
  list->setEditText(*shown);
  const auto commit = [row, list, shown](const QString& typed) {
    const QString text = typed.trimmed();
    if (text == *shown) return;
    // Taken as shown first, and kept so when it is refused: the error box
    // takes the focus, which ends the editing again, and a name is refused
    // once. The rebuilt row shows the event's name again.
    *shown = text;
    QWidget* window = list->window();
    if (!Guarded(window, [&] { row.editor->SetValue(text.toStdString()); }) && row.refresh) {
      row.refresh();
    }
  };
  QObject::connect(list, &QComboBox::activated, list,
                   [list, commit](int index) { commit(list->itemText(index)); });
  QObject::connect(list->lineEdit(), &QLineEdit::editingFinished, list,
                   [list, commit] { commit(list->currentText()); });
  return list;
}

}  // namespace

QWidget* MakePropertyControl(const PropertyRow& row, QWidget* parent) {
  QWidget* control = nullptr;
  const TPropertyAttributes attributes = row.editor->GetAttributes();
  if (attributes.Contains(paDialog)) {
    control = DialogCaption(ToQ(row.editor->GetValue()), parent, [row, parent] {
      Apply(row, parent, [&] { row.editor->Edit(); });
      // The dialog may have changed the property without telling the designer.
      if (row.refresh) row.refresh();
    });
  } else {
    switch (row.property->type->kind) {
      case tkBoolean:
        control = CheckBox(row, parent);
        break;
      case tkEnumeration:
        control = EnumerationList(row, parent);
        break;
      case tkComponent:
        control = ReferenceList(row, parent);
        break;
      case tkStrings:
        control = StringsEditor(row, parent);
        break;
      case tkInteger:
      case tkString:
      case tkFloat:
      case tkVariant:
        control = LineEdit(row, parent);
        break;
      case tkMethod:
        control = EventList(row, parent);
        break;
      default:
        control = ReadOnlyCaption(row, parent);
        break;
    }
  }
  control->setObjectName(row.path);
  return control;
}

QWidget* MakeSetElementControl(const PropertyRow& row, int element, QWidget* parent) {
  const TTypeInfo& type = *row.property->type;
  const auto bits = static_cast<std::uint64_t>(row.property->get_ordinal(*row.object));
  auto* box = new QCheckBox(parent);
  const bool member = ((bits >> element) & 1U) != 0;
  box->setChecked(member);
  box->setText(member ? "True" : "False");
  box->setObjectName(row.path + "." + ToQ(type.names[element]));
  QObject::connect(box, &QCheckBox::clicked, box, [row, box, element, bits](bool checked) {
    const std::uint64_t wanted =
        checked ? bits | (std::uint64_t{1} << element) : bits & ~(std::uint64_t{1} << element);
    // The editor takes the set as the form file writes it: [a, b].
    std::string text = "[";
    for (std::size_t i = 0; i < row.property->type->names.size(); ++i) {
      if (((wanted >> i) & 1U) == 0) continue;
      if (text.size() > 1) text += ", ";
      text += row.property->type->names[i];
    }
    text += "]";
    Apply(row, box, [&] { row.editor->SetValue(text); });
  });
  return box;
}

}  // namespace tessel::designer
