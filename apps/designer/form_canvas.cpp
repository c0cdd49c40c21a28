#include "form_canvas.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "delete_component.h"
#include "error_box.h"
#include "form_document.h"
#include "framework/dataset.h"
#include "framework/designer.h"
#include "framework/typinfo.h"

namespace tessel::designer {

namespace {

constexpr int kMargin = 16;
constexpr int kSlotWidth = ComponentIcon::kWidth + 12;
constexpr int kSlotHeight = ComponentIcon::kHeight + 12;
constexpr int kSlotsPerRow = 5;
// The closest an icon comes to the canvas's top and left edges.
constexpr int kEdge = 4;

// What the component is, drawn in a 32-pixel square at `box`: a database
// drum for a connection, a table for a dataset, a sheet of statements for
// anything else.
void DrawGlyph(QPainter& p, const QRectF& box, const TComponent& component) {
  const TClassInfo* info = ClassInfoOfObject(component);
  const bool dataset = dynamic_cast<const TDataSet*>(&component) != nullptr;
  const bool connection =
      !dataset && info != nullptr && info->Name().find("Server") != std::string::npos;
  p.setPen(QPen(QColor(40, 60, 90), 1.2));
  if (connection) {
    const QRectF body = box.adjusted(5, 6, -5, -4);
    p.setBrush(QColor(120, 160, 210));
    p.drawRect(body.adjusted(0, 0, 0, -4));
    p.drawEllipse(QRectF(body.left(), body.bottom() - 8, body.width(), 8));
    p.setPen(Qt::NoPen);
    p.drawRect(body.adjusted(0.6, 0, -0.6, -5));
    p.setPen(QPen(QColor(40, 60, 90), 1.2));
    p.drawLine(body.topLeft(), QPointF(body.left(), body.bottom() - 4));
    p.drawLine(body.topRight(), QPointF(body.right(), body.bottom() - 4));
    p.setBrush(QColor(170, 200, 235));
    p.drawEllipse(QRectF(body.left(), body.top() - 4, body.width(), 8));
  } else if (dataset) {
    const QRectF table = box.adjusted(3, 6, -3, -6);
    p.setBrush(Qt::white);
    p.drawRect(table);
    p.fillRect(QRectF(table.left() + 0.6, table.top() + 0.6, table.width() - 1.2, 5),
               QColor(90, 140, 90));
    for (int row = 1; row < 4; ++row) {
      const qreal y = table.top() + 5 + row * (table.height() - 5) / 4;
      p.drawLine(QPointF(table.left(), y), QPointF(table.right(), y));
    }
    p.drawLine(QPointF(table.center().x(), table.top()),
               QPointF(table.center().x(), table.bottom()));
  } else {
    const QRectF sheet = box.adjusted(7, 3, -7, -3);
    p.setBrush(QColor(250, 245, 220));
    p.drawRect(sheet);
    p.setPen(QPen(QColor(150, 90, 40), 1.5));
    for (int line = 0; line < 5; ++line) {
      const qreal y = sheet.top() + 5 + line * 5;
      p.drawLine(QPointF(sheet.left() + 3, y), QPointF(sheet.right() - (line % 2 ? 6 : 3), y));
    }
  }
}

}  // namespace

ComponentIcon::ComponentIcon(FormCanvas* canvas, TComponent* component)
    : QWidget(canvas), canvas_(canvas), component_(component) {
  setObjectName(QString::fromStdString(component->Name()));
  resize(kWidth, kHeight);
  setCursor(Qt::ArrowCursor);
}

void ComponentIcon::SetSelected(bool selected) {
  selected_ = selected;
  update();
}

void ComponentIcon::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF frame((width() - 40) / 2.0, 2, 40, 40);
  p.setPen(QPen(selected_ ? QColor(30, 90, 200) : QColor(150, 150, 150), selected_ ? 2 : 1));
  p.setBrush(selected_ ? QColor(225, 235, 250) : QColor(245, 245, 245));
  p.drawRoundedRect(frame, 4, 4);
  DrawGlyph(p, frame.adjusted(4, 4, -4, -4), *component_);
  const QString name = QString::fromStdString(component_->Name());
  setObjectName(name);
  const QRect label(0, 44, width(), height() - 44);
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(label, Qt::AlignHCenter | Qt::AlignTop,
             fontMetrics().elidedText(name, Qt::ElideRight, width()));
}

void ComponentIcon::mousePressEvent(QMouseEvent* event) {
  canvas_->Document().Select(component_);
  canvas_->setFocus();
  grip_ = event->position().toPoint();
  pressed_at_ = pos();
}

void ComponentIcon::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return;
  move(FormCanvas::Bounded(mapToParent(event->position().toPoint() - grip_)));
  canvas_->FitToIcons();
}

void ComponentIcon::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && pos() != pressed_at_) canvas_->IconMoved(this);
}

void ComponentIcon::mouseDoubleClickEvent(QMouseEvent*) {
  canvas_->Edit(component_);
}

void ComponentIcon::contextMenuEvent(QContextMenuEvent* event) {
  canvas_->Document().Select(component_);
  // The menu may delete this icon with its component: nothing here after exec.
  const std::unique_ptr<QMenu> menu = canvas_->ContextMenu(component_);
  menu->exec(event->globalPos());
}

FormCanvas::FormCanvas(FormDocument& document, QWidget* parent)
    : QWidget(parent), document_(document) {
  setObjectName("FormCanvas");
  setFocusPolicy(Qt::StrongFocus);
  setAutoFillBackground(true);
  QPalette colours = palette();
  colours.setColor(QPalette::Window, QColor(236, 233, 216));
  setPalette(colours);
  connect(&document_, &FormDocument::FormReplaced, this, &FormCanvas::Rebuild);
  connect(&document_, &FormDocument::FormRestored, this, &FormCanvas::Rebuild);
  connect(&document_, &FormDocument::ComponentAdded, this,
          [this](TComponent* component) { AddIcon(component, placing_at_.value_or(FreeSlot())); });
  connect(&document_, &FormDocument::ComponentRemoved, this, &FormCanvas::RemoveIcon);
  connect(&document_, &FormDocument::SelectionChanged, this, &FormCanvas::Select);
  connect(&document_, &FormDocument::Changed, this, [this] {
    for (auto& [component, icon] : icons_) icon->update();
  });
  Rebuild();
}

FormCanvas::~FormCanvas() = default;

ComponentIcon* FormCanvas::Icon(const TComponent* component) const {
  const auto it = icons_.find(component);
  return it == icons_.end() ? nullptr : it->second;
}

TComponent* FormCanvas::Place(const TClassInfo* info, QPoint at) {
  placing_at_ = at;
  TComponent* component = nullptr;
  Guarded(this, [&] { component = document_.AddComponent(info); });
  placing_at_.reset();
  if (component != nullptr) document_.Select(component);
  return component;
}

TComponent* FormCanvas::PlaceNext(const TClassInfo* info) {
  return Place(info, FreeSlot());
}

std::unique_ptr<QMenu> FormCanvas::ContextMenu(TComponent* component) {
  auto menu = std::make_unique<QMenu>(this);
  AddCommands(*menu, component);
  return menu;
}

void FormCanvas::AddCommands(QMenu& menu, TComponent* component) {
  const std::unique_ptr<TComponentEditor> editor = GetComponentEditor(component, &document_);
  for (int i = 0; i < editor->GetVerbCount(); ++i) {
    QAction* verb = menu.addAction(QString::fromStdString(editor->GetVerb(i)));
    connect(verb, &QAction::triggered, this, [this, component, i] {
      // Editors are made for one use.
      Guarded(this, [&] { GetComponentEditor(component, &document_)->ExecuteVerb(i); });
    });
  }
  if (editor->GetVerbCount() > 0) menu.addSeparator();
  QAction* remove = menu.addAction("&Delete");
  connect(remove, &QAction::triggered, this,
          [this, component] { DeleteAsked(this, document_, component); });
}

void FormCanvas::Edit(TComponent* component) {
  Guarded(this, [&] { GetComponentEditor(component, &document_)->Edit(); });
}

void FormCanvas::paintEvent(QPaintEvent*) {
  // The dotted grid of a form at design time.
  QPainter p(this);
  p.setPen(QColor(160, 160, 150));
  for (int x = 8; x < width(); x += 8) {
    for (int y = 8; y < height(); y += 8) p.drawPoint(x, y);
  }
}

void FormCanvas::mousePressEvent(QMouseEvent* event) {
  setFocus();
  if (event->button() != Qt::LeftButton) return;
  if (armed_ != nullptr) {
    const TClassInfo* info = armed_;
    armed_ = nullptr;
    const QPoint at = event->position().toPoint() - QPoint(ComponentIcon::kWidth / 2, 20);
    TComponent* component = Place(info, Bounded(at));
    emit Placed(component);
    return;
  }
  document_.Select(nullptr);
}

void FormCanvas::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete && document_.Selected() != nullptr) {
    DeleteAsked(this, document_, document_.Selected());
    return;
  }
  QWidget::keyPressEvent(event);
}

void FormCanvas::FitToIcons() {
  QRect bounds(0, 0, 1, 1);
  for (auto& [component, icon] : icons_) bounds |= icon->geometry();
  setMinimumSize(bounds.right() + kMargin, bounds.bottom() + kMargin);
}

void FormCanvas::IconMoved(ComponentIcon* icon) {
  RecordPlace(icon->Component(), icon->pos());
  const std::string name = icon->Component()->Name();
  document_.NoteChange(QString("Move %1").arg(QString::fromStdString(name)), name);
  document_.Modified();
}

QPoint FormCanvas::Bounded(QPoint at) {
  const auto bound = [](int v) { return std::clamp(v, kEdge, 32767); };
  return {bound(at.x()), bound(at.y())};
}

void FormCanvas::Rebuild() {
  for (auto& [component, icon] : icons_) delete icon;
  icons_.clear();
  // Saved places first, so that the free slots of the others avoid them.
  // Nested components (a dataset's fields) are listed under their parent.
  std::vector<TComponent*> components = document_.Components();
  std::erase_if(components, &FormDocument::IsNested);
  for (TComponent* component : components) {
    if (const std::optional<QPoint> at = SavedPlace(component)) AddIcon(component, *at);
  }
  for (TComponent* component : components) {
    if (icons_.count(component) == 0) AddIcon(component, FreeSlot());
  }
  FitToIcons();
}

void FormCanvas::AddIcon(TComponent* component, QPoint at) {
  auto* icon = new ComponentIcon(this, component);
  icon->move(at);
  icon->show();
  icons_[component] = icon;
  RecordPlace(component, at);
  FitToIcons();
}

std::optional<QPoint> FormCanvas::SavedPlace(const TComponent* component) {
  const std::int32_t info = component->DesignInfo();
  if (info == 0) return std::nullopt;
  return QPoint(DesignInfoLeft(info), DesignInfoTop(info));
}

void FormCanvas::RecordPlace(TComponent* component, QPoint at) {
  component->SetDesignInfo(MakeDesignInfo(at.x(), at.y()));
}

void FormCanvas::RemoveIcon(TComponent* component) {
  const auto it = icons_.find(component);
  if (it == icons_.end()) return;
  // The icon may be the sender of the menu that deletes it.
  it->second->hide();
  it->second->deleteLater();
  icons_.erase(it);
}

void FormCanvas::Select(TComponent* component) {
  for (auto& [placed, icon] : icons_) icon->SetSelected(placed == component);
}

QPoint FormCanvas::FreeSlot() const {
  for (int slot = 0;; ++slot) {
    const QRect place(kMargin + (slot % kSlotsPerRow) * kSlotWidth,
                      kMargin + (slot / kSlotsPerRow) * kSlotHeight, ComponentIcon::kWidth,
                      ComponentIcon::kHeight);
    bool taken = false;
    for (auto& [component, icon] : icons_) taken = taken || icon->geometry().intersects(place);
    if (!taken) return place.topLeft();
  }
}

}  // namespace tessel::designer
