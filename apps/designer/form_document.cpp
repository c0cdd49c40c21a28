#include "form_document.h"

#include "framework/data_module.h"
#include "framework/form_files.h"
#include "framework/typinfo.h"

namespace tessel::designer {

FormDocument::FormDocument(QObject* parent) : QObject(parent) {
  NewForm();
}

FormDocument::~FormDocument() = default;

std::vector<TComponent*> FormDocument::Components() const {
  std::vector<TComponent*> list;
  for (int i = 0; i < root_->ComponentCount(); ++i) list.push_back(root_->Components(i));
  return list;
}

void FormDocument::Modified() {
  modified_ = true;
  emit Changed();
}

void FormDocument::NewForm() {
  auto root = std::make_unique<TDataModule>(nullptr);
  root->SetName("DataModule1");
  root->SetDesigning(true);
  Replace(std::move(root));
  file_name_.clear();
  modified_ = false;
  emit Changed();
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
  modified_ = false;
  emit Changed();
}

void FormDocument::Save(const QString& file_name) {
  WriteComponentFile(*root_, file_name.toStdString());
  file_name_ = file_name;
  modified_ = false;
  emit Changed();
}

void FormDocument::Replace(std::unique_ptr<TComponent> root) {
  Select(nullptr);
  // The views drop the old components before they are destroyed.
  std::unique_ptr<TComponent> old = std::move(root_);
  root_ = std::move(root);
  emit FormReplaced();
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
  Modified();
  return placed;
}

void FormDocument::DeleteComponent(TComponent* component) {
  if (component == nullptr || component->Owner() != root_.get()) return;
  if (selected_ == component) Select(nullptr);
  emit ComponentRemoved(component);
  delete component;
  Modified();
}

void FormDocument::Select(TComponent* component) {
  if (selected_ == component) return;
  selected_ = component;
  emit SelectionChanged(component);
}

}  // namespace tessel::designer
