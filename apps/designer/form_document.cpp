#include "form_document.h"

#include <QStringList>
#include <algorithm>
#include <utility>

#include "clipboard.h"
#include "form_secrets.h"
#include "framework/data_module.h"
#include "framework/dataset.h"
#include "framework/field.h"
#include "framework/form_files.h"
#include "framework/typinfo.h"
#include "runtime/Tessel.h"
#include "undo_commands.h"

namespace tessel::designer {

FormDocument::FormDocument(QObject* parent) : QObject(parent), undo_(new QUndoStack(this)) {
  connect(undo_, &QUndoStack::cleanChanged, this, [this](bool clean) {
    modified_ = !clean;
    emit Changed();
  });
  NewForm();
}

FormDocument::~FormDocument() = default;

std::vector<TComponent*> FormDocument::Components() const {
  std::vector<TComponent*> list;
  for (int i = 0; i < root_->ComponentCount(); ++i) list.push_back(root_->Components(i));
  return list;
}

std::vector<TComponent*> FormDocument::Children(const TComponent* parent) const {
  std::vector<TComponent*> list;
  parent->GetChildren([&list](TComponent* child) { list.push_back(child); }, root_.get());
  return list;
}

std::string FormDocument::Text() const {
  return WriteComponentText(*root_);
}

void FormDocument::NoteChange(const QString& text, const std::string& subject) {
  note_text_ = text;
  note_subject_ = subject;
}

void FormDocument::Modified() {
  // An editor may have destroyed the selected component (a field deleted in
  // the fields dialog); only its address is compared here.
  if (selected_ != nullptr) {
    const std::vector<TComponent*> components = Components();
    if (std::find(components.begin(), components.end(), selected_) == components.end()) {
      Select(nullptr);
    }
  }
  std::string subject = std::exchange(note_subject_, {});
  QString label = std::exchange(note_text_, {});
  if (label.isEmpty()) {
    subject = selected_ != nullptr ? selected_->Name() : root_->Name();
    label = QString("Change %1").arg(QString::fromStdString(subject));
  }
  std::string after;
  try {
    after = Text();
  } catch (const std::exception&) {
    // A form that cannot be written now cannot be a step back either.
    after = text_;
  }
  if (after != text_) {
    std::string before = std::exchange(text_, after);
    AnnounceDroppedLinks(std::exchange(links_, UpdateLinks()));
    undo_->push(new FormChangeCommand(*this, label, std::move(before), std::move(after), subject));
  }
  modified_ = true;
  emit Changed();
}

void FormDocument::ModifiedAs(const std::string& change, const std::string& subject) {
  NoteChange(QString::fromStdString(change), subject);
  Modified();
}

void FormDocument::NewForm() {
  auto root = std::make_unique<TDataModule>(nullptr);
  root->SetName("DataModule1");
  root->SetDesigning(true);
  Replace(std::move(root));
  file_name_.clear();
  ResetHistory();
}

std::unique_ptr<TComponent> FormDocument::ReadDesigning(const std::string& text,
                                                        const std::string& file_name) {
  TFormReadOptions options;
  options.bind_events = false;
  options.before_loaded = [](TComponent& root) { root.SetDesigning(true); };
  return ReadComponentText(text, file_name, options);
}

void FormDocument::Open(const QString& file_name,
                        const std::function<void(TComponent& root)>& adjust) {
  TFormReadOptions options;
  // Handlers exist only in the application; the designer keeps their names.
  options.bind_events = false;
  options.before_loaded = [&adjust](TComponent& root) {
    root.SetDesigning(true);
    if (adjust) adjust(root);
  };
  std::unique_ptr<TComponent> root = ReadComponentFile(file_name.toStdString(), options);
  Replace(std::move(root));
  file_name_ = file_name;
  ResetHistory();
}

std::vector<std::string> FormDocument::Save(const QString& file_name, bool keep_passwords) {
  const std::string current = Text();
  std::string text = current;
  std::vector<std::string> holders = PasswordHolders(text);
  if (!keep_passwords && !holders.empty()) {
    text = WithoutPasswords(text);
    holders.clear();
  }
  WriteFormFile(file_name.toStdString(), text, !holders.empty());
  file_name_ = file_name;
  text_ = current;
  undo_->setClean();
  modified_ = false;
  emit Changed();
  return holders;
}

void FormDocument::Replace(std::unique_ptr<TComponent> root) {
  Select(nullptr);
  // The views drop the old components before they are destroyed.
  std::unique_ptr<TComponent> old = std::move(root_);
  root_ = std::move(root);
  emit FormReplaced();
}

void FormDocument::SwapRoot(std::unique_ptr<TComponent> root) {
  Select(nullptr);
  std::unique_ptr<TComponent> old = std::move(root_);
  root_ = std::move(root);
  emit FormRestored();
}

void FormDocument::ResetHistory() {
  undo_->clear();
  // The views have placed every component by now: the text holds the places.
  text_ = Text();
  links_ = UpdateLinks();
  modified_ = false;
  emit Changed();
}

void FormDocument::Restore(const std::string& text, const std::string& subject) {
  std::unique_ptr<TComponent> root;
  try {
    root = ReadDesigning(text, "<undo>");
  } catch (const std::exception& error) {
    emit Announced(QString("The form cannot go back: %1").arg(error.what()));
    return;
  }
  SwapRoot(std::move(root));
  text_ = text;
  links_ = UpdateLinks();
  if (TComponent* component = root_->FindComponent(subject)) Select(component);
  emit Changed();
}

std::vector<TComponent*> FormDocument::Paste(const std::string& clip, const std::string& into) {
  const std::string before = Text();
  const PastedForm pasted = PasteComponentText(before, clip, into);
  // A field joins its dataset closed: the form is read again, the dataset
  // opening after its fields are in. One that does not open with them is
  // read closed, as the fields dialog leaves it.
  std::unique_ptr<TComponent> root;
  std::string not_opened;
  try {
    root = ReadDesigning(pasted.form_text, "<clipboard>");
  } catch (const std::exception& error) {
    if (pasted.datasets.empty()) throw;
    root = ReadDesigning(WithDataSetsClosed(pasted.form_text, pasted.datasets), "<clipboard>");
    not_opened = error.what();
  }
  text_ = before;
  SwapRoot(std::move(root));
  std::vector<TComponent*> added;
  for (const std::string& name : pasted.names) {
    if (TComponent* component = root_->FindComponent(name)) added.push_back(component);
  }
  const QString what = pasted.names.size() == 1 ? QString::fromStdString(pasted.names.front())
                                                : QString("%1 components").arg(pasted.names.size());
  NoteChange("Paste " + what, pasted.names.front());
  Modified();
  if (!added.empty()) Select(added.front());
  if (!not_opened.empty()) {
    QStringList closed;
    for (const std::string& name : pasted.datasets) closed << QString::fromStdString(name);
    emit Announced(QString("%1 is closed: it does not open with the pasted fields: %2")
                       .arg(closed.join(", "), QString::fromStdString(not_opened)));
  }
  return added;
}

std::map<std::string, std::string> FormDocument::UpdateLinks() const {
  std::map<std::string, std::string> links;
  for (TComponent* component : Components()) {
    const auto* query = dynamic_cast<const TTessel*>(component);
    if (query != nullptr && query->UpdateObject() != nullptr) {
      links[query->Name()] = query->UpdateObject()->Name();
    }
  }
  return links;
}

void FormDocument::AnnounceDroppedLinks(const std::map<std::string, std::string>& before) {
  for (const auto& [query_name, update_name] : before) {
    const auto* query = dynamic_cast<const TTessel*>(root_->FindComponent(query_name));
    // A deleted query or update object drops the link as the user asked.
    if (query == nullptr || root_->FindComponent(update_name) == nullptr) continue;
    if (query->UpdateObject() != nullptr) continue;
    const TUpdateParams* params = query->UpdateParams();
    const bool generated = params != nullptr && !params->TableName().empty();
    emit Announced(QString("%1 no longer uses %2 as its update object%3")
                       .arg(QString::fromStdString(query_name), QString::fromStdString(update_name),
                            generated ? QString(": its UpdateParams (%1) write its changes now")
                                            .arg(QString::fromStdString(params->TableName()))
                                      : QString()));
  }
}

std::string FormDocument::UniqueName(const TClassInfo* info) const {
  std::string base = info->Name();
  if (base.size() > 1 && (base[0] == 'T' || base[0] == 't')) base.erase(0, 1);
  for (int n = 1;; ++n) {
    std::string name = base + std::to_string(n);
    if (root_->FindComponent(name) == nullptr && name != root_->Name()) return name;
  }
}

TComponent* FormDocument::AddComponent(const TClassInfo* info) {
  std::unique_ptr<TComponent> component(info->Create(nullptr));
  component->SetName(UniqueName(info));
  // Inserting makes the component designing with the rest of the form.
  root_->InsertComponent(component.get());
  TComponent* placed = component.release();
  emit ComponentAdded(placed);
  NoteChange(QString("Place %1").arg(QString::fromStdString(placed->Name())), placed->Name());
  Modified();
  return placed;
}

void FormDocument::DeleteComponent(TComponent* component) {
  if (component == nullptr || component->Owner() != root_.get()) return;
  const std::string name = component->Name();
  // A dataset takes its persistent fields with it.
  std::vector<TComponent*> going = Children(component);
  going.push_back(component);
  for (TComponent* gone : going) {
    if (selected_ == gone) Select(nullptr);
    emit ComponentRemoved(gone);
  }
  // A field leaves its dataset closed, the record changing shape; an open
  // dataset opens again without it, as the fields dialog leaves it.
  const auto* field = dynamic_cast<const TField*>(component);
  TDataSet* dataset = field != nullptr ? field->DataSet() : nullptr;
  const bool reopen = dataset != nullptr && dataset->Active();
  delete component;
  if (reopen) {
    try {
      dataset->Open();
    } catch (const std::exception& error) {
      emit Announced(QString("%1 is closed: it does not open without %2: %3")
                         .arg(QString::fromStdString(dataset->Name()), QString::fromStdString(name),
                              error.what()));
    }
  }
  NoteChange(QString("Delete %1").arg(QString::fromStdString(name)), name);
  Modified();
}

void FormDocument::Select(TComponent* component) {
  if (selected_ == component) return;
  selected_ = component;
  emit SelectionChanged(component);
}

}  // namespace tessel::designer
