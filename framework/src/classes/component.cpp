#include "framework/component.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "framework/exceptions.h"
#include "framework/sysutils.h"

namespace tessel {
namespace {

void Erase(std::vector<TComponent*>& list, const TComponent* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

// Counts every change of any component's owned list. While it stands still,
// a notification walk knows its copy of the list is current without
// searching, which keeps a form of many components from costing n^3.
std::atomic<std::uint64_t> ownership_changes{0};

}  // namespace

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  DestroyComponents();
  if (owner_) owner_->Remove(this);
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) {
    throw EListError(Format("List index out of bounds (%d)", {index}));
  }
  return components_[index];
}

int TComponent::ComponentIndex() const {
  if (!owner_) return -1;
  const auto& list = owner_->components_;
  return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  const auto found = names_.find(UpperCase(name));
  return found == names_.end() ? nullptr : found->second;
}

void TComponent::SetName(const std::string& name) {
  if (name == name_) return;
  if (!name.empty() && !IsValidIdent(name)) {
    throw EComponentError("'" + name + "' is not a valid component name");
  }
  if (owner_) {
    owner_->ValidateRename(this, name);
    owner_->UnindexName(this);
  }
  name_ = name;
  if (owner_) owner_->IndexName(this);
}

void TComponent::ValidateRename(const TComponent* component, std::string_view new_name) const {
  const TComponent* other = FindComponent(new_name);
  if (other && other != component) {
    throw EComponentError("A component named " + std::string(new_name) + " already exists");
  }
}

void TComponent::FreeNotification(TComponent* component) {
  if (!component || component == this) return;
  if (std::find(free_notifies_.begin(), free_notifies_.end(), component) == free_notifies_.end()) {
    free_notifies_.push_back(component);
    component->FreeNotification(this);
  }
  state_.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  if (!component) return;
  Erase(free_notifies_, component);
  Erase(component->free_notifies_, this);
}

void TComponent::InsertComponent(TComponent* component) {
  if (!component || component->owner_ == this) return;
  ValidateRename(component, component->name_);
  if (component->owner_) component->owner_->RemoveComponent(component);
  Insert(component);
  if (state_.Contains(csDesigning)) component->SetDesigning(true);
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  if (!component || component->owner_ != this) return;
  Notification(component, opRemove);
  Remove(component);
}

void TComponent::Insert(TComponent* component) {
  components_.push_back(component);
  component->owner_ = this;
  IndexName(component);
  ownership_changes.fetch_add(1, std::memory_order_relaxed);
}

void TComponent::Remove(TComponent* component) {
  // Owned components usually go last first (DestroyComponents), so search
  // from the end.
  const auto it = std::find(components_.rbegin(), components_.rend(), component);
  if (it != components_.rend()) components_.erase(std::next(it).base());
  UnindexName(component);
  component->owner_ = nullptr;
  ownership_changes.fetch_add(1, std::memory_order_relaxed);
}

void TComponent::IndexName(TComponent* component) {
  if (!component->name_.empty()) names_[UpperCase(component->name_)] = component;
}

void TComponent::UnindexName(const TComponent* component) {
  if (component->name_.empty()) return;
  const auto found = names_.find(UpperCase(component->name_));
  if (found != names_.end() && found->second == component) names_.erase(found);
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* last = components_.back();
    // Told while whole: its partners and siblings drop their references first.
    last->Destroying();
    Remove(last);
    delete last;
  }
}

void TComponent::Destroying() {
  MarkDestroying();
  SendRemovalNotifications();
}

void TComponent::MarkDestroying() {
  if (state_.Contains(csDestroying)) return;
  state_.Include(csDestroying);
  for (TComponent* c : components_) c->MarkDestroying();
}

void TComponent::SendRemovalNotifications() {
  if (removal_sent_) return;
  removal_sent_ = true;
  while (!free_notifies_.empty()) {
    TComponent* partner = free_notifies_.back();
    free_notifies_.pop_back();
    Erase(partner->free_notifies_, this);
    partner->Notification(this, opRemove);
  }
  if (owner_) owner_->Notification(this, opRemove);
}

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component) RemoveFreeNotification(component);
  // Every sibling hears of every insertion, so this path runs n^2 times while
  // a form is built: a component owning nothing must cost next to nothing.
  if (components_.empty()) return;
  // Components being read from a form file are not told of each other's
  // insertion: they are not Loaded yet and find each other by name when the
  // reader resolves references. Telling a thousand of them of each other
  // would make reading a form quadratic.
  if (operation == opInsert && state_.Contains(csLoading)) return;
  // A handler may free components; walk a copy and skip the ones gone meanwhile.
  const std::vector<TComponent*> owned = components_;
  const std::uint64_t seen = ownership_changes.load(std::memory_order_relaxed);
  for (auto it = owned.rbegin(); it != owned.rend(); ++it) {
    if (ownership_changes.load(std::memory_order_relaxed) == seen ||
        std::find(components_.begin(), components_.end(), *it) != components_.end()) {
      (*it)->Notification(component, operation);
    }
  }
}

void TComponent::Loading() {
  state_.Include(csLoading).Include(csReading);
}

void TComponent::SetParentComponent(TComponent* /*parent*/) {}

void TComponent::GetChildren(const std::function<void(TComponent*)>& /*proc*/,
                             const TComponent* /*root*/) const {}

void TComponent::Loaded() {
  state_.Exclude(csLoading).Exclude(csReading);
}

void TComponent::SetDesigning(bool value) {
  if (value) {
    state_.Include(csDesigning);
  } else {
    state_.Exclude(csDesigning);
  }
  for (TComponent* c : components_) c->SetDesigning(value);
}

}  // namespace tessel
