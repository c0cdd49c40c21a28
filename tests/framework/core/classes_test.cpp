#include "framework/classes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "framework/exceptions.h"

namespace tessel {
namespace {

TEST(StringList, IndexOfIgnoresCaseAndTextSplitsLines) {
  TStringList list;
  list.SetText("select *\r\nfrom T\nwhere A = :A\r");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list[1], "from T");
  EXPECT_EQ(list.Strings(2), "where A = :A");
  EXPECT_EQ(list.IndexOf("FROM t"), 1);
  EXPECT_EQ(list.IndexOf("from"), -1);
  EXPECT_EQ(list.Text(), "select *\nfrom T\nwhere A = :A\n");
  list.SetText("a\n\nb");
  EXPECT_EQ(list.ToVector(), (std::vector<std::string>{"a", "", "b"}));
  list.Clear();
  EXPECT_EQ(list.Text(), "");
  EXPECT_THROW(list.Get(0), EStringListError);
  EXPECT_THROW(list.Insert(1, "x"), EListError);
}

TEST(StringList, OnChangeOncePerAssignAndPerUpdateBracket) {
  TStringList source;
  source.Add("one");
  source.Add("two");
  TStringList sql;
  int changes = 0, changing = 0;
  std::string seen;
  sql.OnChange = [&](TObject* sender) {
    ++changes;
    seen = static_cast<TStringList*>(sender)->Text();
  };
  sql.OnChanging = [&](TObject*) { ++changing; };
  sql.Assign(source);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(changing, 1);
  EXPECT_EQ(seen, "one\ntwo\n");
  sql.SetText("x\ny\nz");
  EXPECT_EQ(changes, 2);
  sql.Add("w");
  sql.Delete(0);
  EXPECT_EQ(changes, 4);
  sql.BeginUpdate();
  sql.BeginUpdate();
  sql.Add("a");
  sql.EndUpdate();
  sql.Add("b");
  EXPECT_EQ(changes, 4);
  sql.EndUpdate();
  EXPECT_EQ(changes, 5);
  // Assigning a list to itself changes nothing; nullptr empties.
  sql.Assign(sql);
  EXPECT_EQ(sql.Count(), 5);
  sql.Assign(nullptr);
  EXPECT_EQ(sql.Count(), 0);
}

TEST(StringList, SortedDuplicatesCommaTextAndValues) {
  TStringList list;
  list.SetSorted(true);
  list.Add("b");
  list.Add("A");
  list.Add("c");
  EXPECT_EQ(list.Add("B"), 1);  // ignored duplicate: index of the existing entry
  EXPECT_EQ(list.CommaText(), "A,b,c");
  EXPECT_EQ(list.IndexOf("C"), 2);
  EXPECT_THROW(list.Insert(0, "z"), EStringListError);
  list.SetDuplicates(dupError);
  EXPECT_THROW(list.Add("a"), EStringListError);

  TStringList csv;
  csv.SetCommaText(R"(one, "two words","say ""hi""",,last)");
  EXPECT_EQ(csv.ToVector(),
            (std::vector<std::string>{"one", "two words", "say \"hi\"", "", "last"}));
  TStringList back;
  back.SetCommaText(csv.CommaText());
  EXPECT_TRUE(back.Equals(csv));

  TStringList values;
  values.Add("Server=local");
  values.SetValue("server", "remote");
  values.SetValue("User", "sa");
  EXPECT_EQ(values.Values("SERVER"), "remote");
  EXPECT_EQ(values.Names(1), "User");
  values.SetValue("User", "");
  EXPECT_EQ(values.Count(), 1);
}

TEST(StringList, ObjectsFollowTheirLinesAndFilesRoundTrip) {
  TComponent a(nullptr), b(nullptr);
  TStringList list;
  list.AddObject("a", &a);
  list.AddObject("b", &b);
  list.Add("c");
  list.Exchange(0, 1);
  EXPECT_EQ(list.GetObject(0), &b);
  list.Move(0, 2);
  EXPECT_EQ(list.ToVector(), (std::vector<std::string>{"a", "c", "b"}));
  EXPECT_EQ(list.IndexOfObject(&b), 2);
  EXPECT_EQ(list.GetObject(1), nullptr);

  const std::string path = ::testing::TempDir() + "tessel_strings_test.txt";
  list.SaveToFile(path);
  TStringList back;
  back.LoadFromFile(path);
  EXPECT_TRUE(back.Equals(list));
  std::remove(path.c_str());
  EXPECT_THROW(back.LoadFromFile(path), EInOutError);
}

TEST(List, PointersAndBounds) {
  int a = 1, b = 2, c = 3;
  TList list;
  list.Add(&a);
  list.Add(nullptr);
  list.Insert(0, &c);
  list.Add(&b);
  EXPECT_EQ(list.IndexOf(&a), 1);
  list.Pack();
  EXPECT_EQ(list.Count(), 3);
  list.Move(0, 2);
  EXPECT_EQ(list.Last(), &c);
  EXPECT_EQ(list.Remove(&b), 1);
  EXPECT_EQ(list.Extract(&b), nullptr);
  try {
    list.Get(7);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (7)");
  }
}

// Records the removal notices it gets and clears its reference like a component would.
class Watcher : public TComponent {
 public:
  using TComponent::TComponent;
  ~Watcher() override { Destroying(); }
  TComponent* ref = nullptr;
  std::vector<std::string> removed;
  int inserts = 0;

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (operation == opInsert) ++inserts;
    if (operation == opRemove) {
      removed.push_back(component->Name());
      if (component == ref) ref = nullptr;
    }
  }
};

TEST(Component, OwnerFreesItsComponentsAndSiblingsHearOfRemoval) {
  auto form = std::make_unique<TComponent>(nullptr);
  auto* a = new Watcher(form.get());
  a->SetName("A");
  auto* b = new Watcher(form.get());
  b->SetName("B");
  a->ref = b;
  EXPECT_EQ(a->inserts, 1);  // told of B's arrival
  EXPECT_EQ(form->ComponentCount(), 2);
  EXPECT_EQ(form->FindComponent("b"), b);
  EXPECT_EQ(b->ComponentIndex(), 1);
  EXPECT_EQ(b->Owner(), form.get());

  delete b;  // a sibling's own removal reaches A through the owner
  EXPECT_EQ(a->ref, nullptr);
  EXPECT_EQ(form->ComponentCount(), 1);

  auto* c = new Watcher(form.get());
  c->SetName("C");
  a->ref = c;
  c->ref = a;
  // The owner frees everything; each departing sibling is announced while whole.
  form.reset();
  SUCCEED();  // ASan reports any use after free of A or C
}

TEST(Component, FreeNotificationAcrossOwnersIsMutual) {
  auto form1 = std::make_unique<TComponent>(nullptr);
  auto form2 = std::make_unique<TComponent>(nullptr);
  auto* query = new Watcher(form1.get());
  auto* server = new Watcher(form2.get());
  server->SetName("Server1");
  query->ref = server;
  server->FreeNotification(query);
  form2.reset();  // destroys server
  EXPECT_EQ(query->ref, nullptr);
  EXPECT_EQ(query->removed, (std::vector<std::string>{"Server1"}));

  // The link goes when the watcher dies first: the survivor's destruction is clean.
  auto* other = new Watcher(form1.get());
  auto lone = std::make_unique<Watcher>(nullptr);
  lone->FreeNotification(other);
  delete other;
  lone.reset();
}

// Frees a sibling when told of an insertion: the owner's walk must skip the freed one.
class Reaper : public TComponent {
 public:
  using TComponent::TComponent;
  TComponent* victim = nullptr;

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (operation == opInsert && victim) {
      TComponent* v = victim;
      victim = nullptr;
      delete v;
    }
  }
};

TEST(Component, HandlerThatFreesASiblingDuringNotification) {
  TComponent form(nullptr);
  // Notices go last-owned first: the reaper runs before doomed is visited.
  auto* first = new Watcher(&form);
  auto* doomed = new Watcher(&form);
  auto* reaper = new Reaper(&form);
  reaper->victim = doomed;
  first->ref = doomed;
  new TComponent(&form);  // the insertion notice reaches the reaper, which frees doomed
  EXPECT_EQ(form.ComponentCount(), 3);
  EXPECT_EQ(first->ref, nullptr);
  EXPECT_EQ(form.FindComponent(""), nullptr);
}

TEST(Component, NamesStateAndLoading) {
  TComponent form(nullptr);
  auto* a = new TComponent(&form);
  a->SetName("Query1");
  auto* b = new TComponent(&form);
  EXPECT_THROW(b->SetName("QUERY1"), EComponentError);
  EXPECT_THROW(b->SetName("1abc"), EComponentError);
  EXPECT_THROW(b->SetName("a b"), EComponentError);
  b->SetName("Query2");
  b->SetTag(42);
  EXPECT_EQ(b->Tag(), 42);
  EXPECT_EQ(b->ClassName(), "TComponent");

  form.SetDesigning(true);
  EXPECT_TRUE(a->ComponentState().Contains(csDesigning));
  auto* late = new TComponent(&form);
  EXPECT_TRUE(late->ComponentState().Contains(csDesigning));
  a->Loading();
  EXPECT_TRUE(a->ComponentState().Contains(csLoading));
  a->Loaded();
  EXPECT_FALSE(a->ComponentState().Contains(csLoading));

  // Moving a component to another owner.
  TComponent other(nullptr);
  other.InsertComponent(b);
  EXPECT_EQ(form.ComponentCount(), 2);
  EXPECT_EQ(b->Owner(), &other);
  EXPECT_THROW(form.Components(5), EListError);
}

// Names are found through an index: it must follow renames, moves and deletions.
TEST(Component, FindComponentFollowsRenamesMovesAndDeletions) {
  TComponent form(nullptr);
  auto* a = new TComponent(&form);
  a->SetName("Query1");
  a->SetName("Orders");
  EXPECT_EQ(form.FindComponent("query1"), nullptr);
  EXPECT_EQ(form.FindComponent("ORDERS"), a);
  auto* b = new TComponent(&form);
  b->SetName("Query1");  // the old name is free again
  EXPECT_EQ(form.FindComponent("Query1"), b);

  TComponent other(nullptr);
  other.InsertComponent(b);
  EXPECT_EQ(form.FindComponent("Query1"), nullptr);
  EXPECT_EQ(other.FindComponent("query1"), b);
  b->SetName("");  // unnamed components are never found
  EXPECT_EQ(other.FindComponent("Query1"), nullptr);

  delete a;
  EXPECT_EQ(form.FindComponent("Orders"), nullptr);
  auto* c = new TComponent(&form);
  EXPECT_NO_THROW(c->SetName("orders"));
  EXPECT_THROW((new TComponent(&form))->SetName("ORDERS"), EComponentError);
}

// While an owner is being read from a form file its components are not told
// of each other's arrival; once it is loaded they are again.
TEST(Component, InsertNoticesWaitForTheOwnerToBeLoaded) {
  TComponent form(nullptr);
  auto* watcher = new Watcher(&form);
  form.Loading();
  new TComponent(&form);
  EXPECT_EQ(watcher->inserts, 0);
  form.Loaded();
  new TComponent(&form);
  EXPECT_EQ(watcher->inserts, 1);
}

TEST(Persistent, AssignBetweenUnrelatedClassesNamesBoth) {
  TStringList list;
  TComponent component(nullptr);
  try {
    list.Assign(&component);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TComponent to a TStringList");
  }
}

TEST(Streams, MemoryStreamReadWriteSeekAndCopy) {
  TMemoryStream m;
  m.WriteBuffer("hello", 5);
  EXPECT_EQ(m.Position(), 5);
  m.Seek(8, soFromBeginning);
  m.WriteBuffer("!", 1);
  EXPECT_EQ(m.Size(), 9);
  EXPECT_EQ(m.Memory()[6], 0);  // the gap is zero-filled
  m.SetPosition(1);
  char buf[4] = {};
  EXPECT_EQ(m.Read(buf, 3), 3);
  EXPECT_EQ(std::string(buf, 3), "ell");
  EXPECT_EQ(m.Seek(-2, soFromEnd), 7);
  EXPECT_EQ(m.Read(buf, 4), 2);
  EXPECT_THROW(m.ReadBuffer(buf, 1), EReadError);
  EXPECT_THROW(m.Seek(-1, soFromBeginning), EStreamError);

  TStringStream s;
  s.CopyFrom(m, 0);  // whole source
  EXPECT_EQ(s.Size(), 9);
  EXPECT_EQ(s.DataString().substr(0, 5), "hello");
  m.SetPosition(7);
  EXPECT_THROW(s.CopyFrom(m, 5), EReadError);
  s.SetSize(2);
  EXPECT_EQ(s.DataString(), "he");
  s.SetPosition(0);
  EXPECT_EQ(s.ReadString(10), "he");

  TStringList lines;
  TStringStream text("a\r\nb\n");
  lines.LoadFromStream(text);
  EXPECT_EQ(lines.Count(), 2);
  EXPECT_THROW(TFileStream("/nonexistent/dir/file", fmCreate), EInOutError);
}

class Item : public TCollectionItem {
 public:
  using TCollectionItem::TCollectionItem;
  std::string value;
  void Assign(const TPersistent* source) override {
    if (auto* other = dynamic_cast<const Item*>(source)) {
      value = other->value;
      return;
    }
    TCollectionItem::Assign(source);
  }
};

class ItemList : public TCollection {
 public:
  int updates = 0;

 protected:
  TCollectionItem* CreateItem() override { return new Item(this); }
  void Update(TCollectionItem*) override { ++updates; }
};

TEST(Collection, OwnsItemsAndAssignsCopies) {
  ItemList a;
  static_cast<Item*>(a.Add())->value = "x";
  static_cast<Item*>(a.Add())->value = "y";
  auto* inserted = static_cast<Item*>(a.Insert(0));
  inserted->value = "first";
  EXPECT_EQ(inserted->Index(), 0);
  ItemList b;
  b.Add();
  const int before = b.updates;
  b.Assign(&a);
  EXPECT_EQ(b.updates, before + 1);  // one notice for the whole copy
  ASSERT_EQ(b.Count(), 3);
  EXPECT_EQ(static_cast<Item*>(b.Items(2))->value, "y");
  delete b.Items(0);  // an item leaves its collection when destroyed
  EXPECT_EQ(b.Count(), 2);
  EXPECT_THROW(b.Items(2), EListError);
  auto orphan = std::unique_ptr<Item>(static_cast<Item*>(b.Items(0)));
  orphan->SetCollection(nullptr);
  EXPECT_EQ(b.Count(), 1);
}

}  // namespace
}  // namespace tessel
