#pragma once

// TCollection: an ordered list of items that it owns. An item joins a
// collection at construction (`new TParam(&params)`) or through
// SetCollection, leaves it when destroyed, and is destroyed with it.
// Changes are reported through the virtual Update, once for a
// BeginUpdate/EndUpdate bracket. Main thread only.

#include <string>
#include <vector>

#include "framework/persistent.h"

namespace tessel {

class TCollection;

class TCollectionItem : public TPersistent {
 public:
  // collection may be nullptr: the item then belongs to nobody until SetCollection.
  explicit TCollectionItem(TCollection* collection);
  ~TCollectionItem() override;

  TCollection* Collection() const { return collection_; }
  // Moves the item to another collection (nullptr: to none; the caller then owns it).
  void SetCollection(TCollection* collection);
  // Position in the collection; -1 without one.
  int Index() const;
  void SetIndex(int index);
  // A number unique within the collection, kept while the item lives.
  int ID() const { return id_; }
  virtual std::string DisplayName() const { return ClassName(); }

 protected:
  // Reports a change of this item (or, with all_items, of the whole collection).
  void Changed(bool all_items);

 private:
  friend class TCollection;
  TCollection* collection_ = nullptr;
  int id_ = 0;
};

class TCollection : public TPersistent {
 public:
  TCollection() = default;
  ~TCollection() override;

  int Count() const { return static_cast<int>(items_.size()); }
  // Raises EListError naming the index when it is outside 0..Count-1.
  TCollectionItem* Items(int index) const;
  // A new item from CreateItem, at the end or at index.
  TCollectionItem* Add();
  TCollectionItem* Insert(int index);
  void Delete(int index);
  void Clear();
  TCollectionItem* FindItemID(int id) const;

  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return update_count_; }

  // Replaces the items by copies of source's items: one new item per source
  // item, each copied with Assign.
  void Assign(const TPersistent* source) override;
  // The component or object the collection belongs to, for names and notices.
  virtual TPersistent* GetOwner() const { return nullptr; }

 protected:
  // Makes an item of the collection's kind, already inserted; the base makes a plain item.
  virtual TCollectionItem* CreateItem();
  // Called after a change: item is the changed item or nullptr for the whole collection.
  virtual void Update(TCollectionItem* item);
  void Changed();

 private:
  friend class TCollectionItem;
  void InsertItem(TCollectionItem* item);
  void RemoveItem(TCollectionItem* item);

  std::vector<TCollectionItem*> items_;  // owned
  int next_id_ = 0;
  int update_count_ = 0;
};

}  // namespace tessel
