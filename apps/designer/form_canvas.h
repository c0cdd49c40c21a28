#pragma once

// The form window's surface: each component of the form is an icon with its
// name below. A click selects an icon, dragging moves it, Delete removes the
// selected component, a double click runs the component editor's Edit (verb
// 0), and the context menu lists the editor's verbs. Deleting asks first
// when other components refer to the one going (delete_component.h). With a palette class
// armed, a click on an empty spot places a new component there.
//
// Each icon's place is its component's DesignInfo, which form files keep as
// Left and Top: placing or moving an icon records it there (a move marks the
// form modified), and an opened form shows its components where they were
// saved. Components without a place (forms written without one) go to free
// slots in rows, in creation order, and get that place. The canvas refers to
// the document and its components without owning them. GUI thread only.

#include <QWidget>
#include <map>
#include <memory>
#include <optional>

class QMenu;

namespace tessel {
class TClassInfo;
class TComponent;
}  // namespace tessel

namespace tessel::designer {

class FormDocument;
class FormCanvas;

class ComponentIcon : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 88;
  static constexpr int kHeight = 62;

  ComponentIcon(FormCanvas* canvas, TComponent* component);
  TComponent* Component() const { return component_; }
  bool Selected() const { return selected_; }
  void SetSelected(bool selected);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  FormCanvas* canvas_;
  TComponent* component_;
  bool selected_ = false;
  QPoint grip_;
  // Where a drag started.
  QPoint pressed_at_;
};

class FormCanvas : public QWidget {
  Q_OBJECT

 public:
  explicit FormCanvas(FormDocument& document, QWidget* parent = nullptr);
  ~FormCanvas() override;

  FormDocument& Document() const { return document_; }
  ComponentIcon* Icon(const TComponent* component) const;
  // The class the next click on an empty spot places (null: none).
  void SetArmed(const TClassInfo* info) { armed_ = info; }
  // Places a new component with its icon's top left at `at`.
  TComponent* Place(const TClassInfo* info, QPoint at);
  // Places a new component in the first free slot.
  TComponent* PlaceNext(const TClassInfo* info);
  // The component editor's verbs, then Delete; each action does its work
  // when triggered.
  std::unique_ptr<QMenu> ContextMenu(TComponent* component);
  // Adds those actions to menu (the window's Component menu).
  void AddCommands(QMenu& menu, TComponent* component);
  // What a double click does: the component editor's Edit.
  void Edit(TComponent* component);
  // Keeps the canvas large enough for its icons (they may be dragged out).
  void FitToIcons();
  // An icon was dragged to a new place: the component keeps it.
  void IconMoved(ComponentIcon* icon);
  // The top left corner closest to `at` where an icon may go: not at the
  // very corner (a DesignInfo of 0 means no place) and within the range a
  // form file keeps.
  static QPoint Bounded(QPoint at);

 signals:
  // A click placed the armed class.
  void Placed(TComponent* component);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Rebuild();
  void AddIcon(TComponent* component, QPoint at);
  // The saved place of the component, if it has one.
  static std::optional<QPoint> SavedPlace(const TComponent* component);
  static void RecordPlace(TComponent* component, QPoint at);
  void RemoveIcon(TComponent* component);
  void Select(TComponent* component);
  QPoint FreeSlot() const;

  FormDocument& document_;
  const TClassInfo* armed_ = nullptr;
  std::map<const TComponent*, ComponentIcon*> icons_;
  // Where the component being added goes; empty: the next free slot.
  std::optional<QPoint> placing_at_;
};

}  // namespace tessel::designer
