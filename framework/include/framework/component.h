#pragma once

// TComponent: the base of every component. A component may have an owner,
// which destroys it in its own destructor; components are created with
// `new TFoo(owner)` and freed by their owner or with `delete`.
//
// Removal notification: when a component goes away, Notification(it,
// opRemove) reaches (1) every component linked to it by FreeNotification
// and (2) its owner, which passes it on to all components it owns. Receivers
// clear their references and must not call into the departing component.
// A descendant that other components may refer to calls Destroying() at the
// top of its destructor, so that they are told while it is still whole;
// ~TComponent does it otherwise. Main thread only.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "framework/persistent.h"

namespace tessel {

enum TOperation : std::uint8_t { opInsert, opRemove };

enum TComponentStateFlag : std::uint8_t {
  csLoading,     // being read from a form file; Loaded() ends it
  csReading,     // its properties are being read
  csWriting,     // its properties are being written
  csDestroying,  // its destructor has begun
  csDesigning,   // it lives in a designer
  csAncestor,
  csUpdating,
  csFixups,
  csFreeNotification,
};
using TComponentState = TSet<TComponentStateFlag>;

// A design place packed as TComponent::DesignInfo holds it; each coordinate
// is kept to the signed 16-bit range.
constexpr std::int32_t MakeDesignInfo(int left, int top) {
  const auto word = [](int v) {
    return static_cast<std::uint16_t>(static_cast<std::int16_t>(v < -32768  ? -32768
                                                                : v > 32767 ? 32767
                                                                            : v));
  };
  return static_cast<std::int32_t>((static_cast<std::uint32_t>(word(top)) << 16) | word(left));
}
constexpr int DesignInfoLeft(std::int32_t info) {
  return static_cast<std::int16_t>(static_cast<std::uint32_t>(info) & 0xFFFFU);
}
constexpr int DesignInfoTop(std::int32_t info) {
  return static_cast<std::int16_t>(static_cast<std::uint32_t>(info) >> 16);
}

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  // Raises EListError for an index outside 0..ComponentCount-1.
  TComponent* Components(int index) const;
  // The position in the owner's list; -1 without owner.
  int ComponentIndex() const;
  // An owned component by name (case ignored), or nullptr.
  TComponent* FindComponent(std::string_view name) const;

  const std::string& Name() const { return name_; }
  // The name must be empty or an identifier, unique among the owner's
  // components (case ignored); raises EComponentError otherwise.
  virtual void SetName(const std::string& name);
  std::intptr_t Tag() const { return tag_; }
  void SetTag(std::intptr_t tag) { tag_ = tag; }
  // Where a form designer shows this component, which draws nothing of its
  // own: Left in the low 16 bits, Top in the high 16 bits, each signed (see
  // MakeDesignInfo). 0 means no place was recorded. Form files keep the two
  // halves as Left and Top; nothing but a designer acts on them.
  std::int32_t DesignInfo() const { return design_info_; }
  void SetDesignInfo(std::int32_t info) { design_info_ = info; }

  TComponentState ComponentState() const { return state_; }

  // Asks that `component` be told (Notification with opRemove) when this
  // component is destroyed, and this one when `component` is; the link is
  // mutual and is dropped when either side goes.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

  // Takes over or gives up ownership of a component.
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);
  // Destroys every owned component, last first.
  void DestroyComponents();

  // Enters the destroying state (for this component and all it owns) and
  // sends this component's removal notifications once.
  void Destroying();

  // The form reader's bracket: Loading() sets csLoading and csReading,
  // Loaded() clears them; descendants override Loaded() to act on the
  // properties just read (calling the base first).
  void Loading();
  virtual void Loaded();
  // Sets or clears csDesigning for this component and all it owns.
  void SetDesigning(bool value);

  // Nesting in form files. A component with a parent component (a field's
  // dataset) is written inside its parent's object; the reader hands a
  // component nested in another object that object. The base has no parent
  // and ignores one: its nesting is only layout.
  virtual TComponent* GetParentComponent() const { return nullptr; }
  virtual void SetParentComponent(TComponent* parent);
  // The components owned by root that are written inside this one, in order.
  virtual void GetChildren(const std::function<void(TComponent*)>& proc,
                           const TComponent* root) const;

 protected:
  // Told about components inserted into or removed from the owner, and about
  // FreeNotification partners going away. The base drops the free-notification
  // link and passes the notice to every owned component (an insertion only
  // once this component is no longer being loaded from a form file).
  virtual void Notification(TComponent* component, TOperation operation);

 private:
  void MarkDestroying();
  void SendRemovalNotifications();
  void ValidateRename(const TComponent* component, std::string_view new_name) const;
  void Insert(TComponent* component);
  void Remove(TComponent* component);
  void IndexName(TComponent* component);
  void UnindexName(const TComponent* component);

  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  // The named owned components by upper-cased name: finding a name (renames,
  // references in form files) must not walk a form of thousands.
  std::unordered_map<std::string, TComponent*> names_;
  std::vector<TComponent*> free_notifies_;
  std::string name_;
  std::intptr_t tag_ = 0;
  std::int32_t design_info_ = 0;
  TComponentState state_;
  bool removal_sent_ = false;
};

}  // namespace tessel
