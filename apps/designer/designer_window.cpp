#include "designer_window.h"

#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QSplitter>
#include <QVBoxLayout>

#include "error_box.h"
#include "form_canvas.h"
#include "form_document.h"
#include "palette.h"
#include "preview_panel.h"
#include "property_panel.h"

namespace tessel::designer {

namespace {

const char kFormFilter[] = "Form files (*.tfm);;All files (*)";

}  // namespace

DesignerWindow::DesignerWindow(QWidget* parent)
    : QMainWindow(parent), document_(new FormDocument(this)) {
  setObjectName("DesignerWindow");
  palette_ = new Palette(this);
  properties_ = new PropertyPanel(*document_, this);
  canvas_ = new FormCanvas(*document_);
  canvas_area_ = new QScrollArea(this);
  canvas_area_->setWidget(canvas_);
  canvas_area_->setWidgetResizable(true);

  auto* split = new QSplitter(this);
  split->addWidget(properties_);
  split->addWidget(canvas_area_);
  split->setStretchFactor(1, 1);
  split->setSizes({340, 560});
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(palette_);
  layout->addWidget(split, 1);
  setCentralWidget(central);

  preview_ = new PreviewPanel(*document_, this);
  preview_dock_ = new QDockWidget("Preview", this);
  preview_dock_->setObjectName("PreviewDock");
  preview_dock_->setWidget(preview_);
  addDockWidget(Qt::BottomDockWidgetArea, preview_dock_);
  preview_dock_->hide();

  connect(palette_, &Palette::ArmedChanged, canvas_, &FormCanvas::SetArmed);
  connect(palette_, &Palette::PlaceRequested, canvas_,
          [this](const TClassInfo* info) { canvas_->PlaceNext(info); });
  connect(canvas_, &FormCanvas::Placed, palette_, &Palette::Disarm);
  connect(document_, &FormDocument::Changed, this, &DesignerWindow::UpdateTitle);
  BuildMenus();
  UpdateTitle();
  resize(900, 640);
}

DesignerWindow::~DesignerWindow() = default;

void DesignerWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->addAction("&New", QKeySequence::New, this, [this] {
    if (MaybeSave()) NewForm();
  });
  file->addAction("&Open...", QKeySequence::Open, this, [this] {
    if (MaybeSave()) ChooseAndOpen();
  });
  file->addAction("&Save", QKeySequence::Save, this, [this] { Save(); });
  file->addAction("Save &As...", QKeySequence::SaveAs, this, [this] { SaveAs(); });
  file->addSeparator();
  file->addAction("&Quit", QKeySequence::Quit, this, &QWidget::close);

  QMenu* edit = menuBar()->addMenu("&Edit");
  edit->addAction("&Delete", this, [this] { document_->DeleteComponent(document_->Selected()); });

  QMenu* run = menuBar()->addMenu("&Run");
  QAction* preview = run->addAction("&Preview", this, [this] { preview_dock_->show(); });
  preview->setShortcut(Qt::Key_F9);
}

void DesignerWindow::UpdateTitle() {
  const QString name = document_->FileName().isEmpty()
                           ? QString("Untitled")
                           : QFileInfo(document_->FileName()).fileName();
  setWindowTitle(QString("%1%2 - Tessel Designer").arg(name, document_->IsModified() ? "*" : ""));
}

bool DesignerWindow::OpenForm(const QString& file_name,
                              const std::function<void(TComponent& root)>& adjust) {
  return Guarded(this, [&] { document_->Open(file_name, adjust); });
}

bool DesignerWindow::SaveForm(const QString& file_name) {
  return Guarded(this, [&] { document_->Save(file_name); });
}

bool DesignerWindow::ShowPreview(const QString& query_name) {
  if (!preview_dock_->isVisible()) {
    preview_dock_->show();
    // Room for a page of rows without hiding the form.
    resizeDocks({preview_dock_}, {height() * 2 / 5}, Qt::Vertical);
  }
  return preview_->Run(query_name);
}

void DesignerWindow::closeEvent(QCloseEvent* event) {
  if (MaybeSave()) {
    preview_->Stop();
    event->accept();
  } else {
    event->ignore();
  }
}

bool DesignerWindow::MaybeSave() {
  if (!document_->IsModified()) return true;
  const auto answer = QMessageBox::question(
      this, "Tessel Designer", "The form has unsaved changes. Save them?",
      QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
  if (answer == QMessageBox::Cancel) return false;
  return answer == QMessageBox::Discard || Save();
}

void DesignerWindow::NewForm() {
  preview_->Stop();
  document_->NewForm();
}

void DesignerWindow::ChooseAndOpen() {
  const QString file_name =
      QFileDialog::getOpenFileName(this, "Open form", document_->FileName(), kFormFilter);
  if (!file_name.isEmpty()) OpenForm(file_name);
}

bool DesignerWindow::Save() {
  if (document_->FileName().isEmpty()) return SaveAs();
  return SaveForm(document_->FileName());
}

bool DesignerWindow::SaveAs() {
  const QString file_name =
      QFileDialog::getSaveFileName(this, "Save form", document_->FileName(), kFormFilter);
  return !file_name.isEmpty() && SaveForm(file_name);
}

}  // namespace tessel::designer
