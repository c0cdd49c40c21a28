#include "palette.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QToolButton>

#include "framework/designer.h"
#include "framework/sysutils.h"
#include "framework/typinfo.h"

namespace tessel::designer {

namespace {

const char kClassProperty[] = "tesselClass";

const TClassInfo* ClassOf(const QObject* button) {
  return static_cast<const TClassInfo*>(button->property(kClassProperty).value<const void*>());
}

}  // namespace

Palette::Palette(QWidget* parent) : QTabWidget(parent) {
  setObjectName("Palette");
  setDocumentMode(true);
  Reload();
}

void Palette::Reload() {
  Disarm();
  while (count() > 0) {
    QWidget* page = widget(0);
    removeTab(0);
    delete page;
  }
  std::vector<const TPalettePage*> pages;
  for (const TPalettePage& page : PalettePages()) {
    if (CompareText(page.name, "Tessel") == 0) {
      pages.insert(pages.begin(), &page);
    } else {
      pages.push_back(&page);
    }
  }
  for (const TPalettePage* page : pages) {
    auto* tab = new QWidget;
    auto* row = new QHBoxLayout(tab);
    row->setContentsMargins(4, 2, 4, 2);
    for (const TClassInfo* info : page->classes) {
      auto* button = new QToolButton(tab);
      button->setObjectName(QString::fromStdString(info->Name()));
      button->setText(QString::fromStdString(info->Name()));
      button->setToolTip(QString("%1: click, then click on the form; or double-click")
                             .arg(QString::fromStdString(info->Name())));
      button->setCheckable(true);
      button->setProperty(kClassProperty, QVariant::fromValue(static_cast<const void*>(info)));
      button->installEventFilter(this);
      connect(button, &QToolButton::clicked, this,
              [this, info, button](bool checked) { Arm(checked ? info : nullptr, button); });
      row->addWidget(button);
    }
    row->addStretch();
    addTab(tab, QString::fromStdString(page->name));
  }
}

QToolButton* Palette::Button(const QString& class_name) const {
  return findChild<QToolButton*>(class_name);
}

void Palette::Disarm() {
  Arm(nullptr, nullptr);
}

void Palette::Arm(const TClassInfo* info, QToolButton* button) {
  for (QToolButton* other : findChildren<QToolButton*>()) {
    if (other != button) other->setChecked(false);
  }
  if (button != nullptr) button->setChecked(info != nullptr);
  if (armed_ == info) return;
  armed_ = info;
  emit ArmedChanged(info);
}

bool Palette::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick) {
    if (const TClassInfo* info = ClassOf(watched)) {
      Disarm();
      emit PlaceRequested(info);
      return true;
    }
  }
  return QTabWidget::eventFilter(watched, event);
}

}  // namespace tessel::designer
