#include "designer_window.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QUndoStack>
#include <QVBoxLayout>

#include "clipboard.h"
#include "delete_component.h"
#include "error_box.h"
#include "form_canvas.h"
#include "form_document.h"
#include "framework/dataset.h"
#include "framework/field.h"
#include "palette.h"
#include "preview_panel.h"
#include "property_panel.h"
#include "runtime/Tessel.h"

namespace tessel::designer {

namespace {

const char kFormFilter[] = "Form files (*.tfm);;All files (*)";

}  // namespace

DesignerWindow::DesignerWindow(QWidget* parent)
    : QMainWindow(parent), document_(new FormDocument(this)), settings_(DesignerSettings::Load()) {
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
  connect(document_, &FormDocument::Announced, this,
          [this](const QString& text) { statusBar()->showMessage(text); });
  statusBar()->setObjectName("StatusLine");
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
  QAction* undo = document_->UndoStack()->createUndoAction(this, "&Undo");
  undo->setShortcut(QKeySequence::Undo);
  undo->setObjectName("undo");
  edit->addAction(undo);
  QAction* redo = document_->UndoStack()->createRedoAction(this, "&Redo");
  redo->setShortcut(QKeySequence::Redo);
  redo->setObjectName("redo");
  edit->addAction(redo);
  edit->addSeparator();
  edit->addAction("Cu&t", QKeySequence::Cut, this, &DesignerWindow::CutSelected)
      ->setObjectName("cut");
  edit->addAction("&Copy", QKeySequence::Copy, this, &DesignerWindow::CopySelected)
      ->setObjectName("copy");
  edit->addAction("&Paste", QKeySequence::Paste, this, &DesignerWindow::PasteClip)
      ->setObjectName("paste");
  edit->addAction("&Delete", this, [this] { DeleteAsked(this, *document_, document_->Selected()); })
      ->setObjectName("delete");

  // The selected component's commands, as its context menu lists them.
  QMenu* component = menuBar()->addMenu("&Component");
  component->setObjectName("componentMenu");
  connect(component, &QMenu::aboutToShow, this, [this, component] {
    component->clear();
    if (TComponent* selected = document_->Selected()) {
      canvas_->AddCommands(*component, selected);
    } else {
      component->addAction("(No component selected)")->setEnabled(false);
    }
  });

  QMenu* run = menuBar()->addMenu("&Run");
  QAction* preview = run->addAction("&Preview", this, [this] { PreviewChosen(); });
  preview->setShortcut(Qt::Key_F9);
  preview->setObjectName("preview");

  QMenu* tools = menuBar()->addMenu("&Tools");
  tools->addAction("&Options...", this, &DesignerWindow::ChooseOptions)->setObjectName("options");

  QMenu* help = menuBar()->addMenu("&Help");
  help->addAction("&About Tessel Designer", this, &DesignerWindow::ShowAbout)
      ->setObjectName("about");
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
  std::vector<std::string> holders;
  if (!Guarded(this, [&] { holders = document_->Save(file_name, settings_.save_passwords); })) {
    return false;
  }
  const QString name = QFileInfo(file_name).fileName();
  if (holders.empty()) {
    statusBar()->showMessage(QString("Saved %1").arg(name));
    return true;
  }
  statusBar()->showMessage(QString("Saved %1, readable by you only").arg(name));
  if (!password_told_) {
    password_told_ = true;
    QMessageBox box(QMessageBox::Information, "Password saved",
                    QString("%1 holds the password of %2 in clear text, so it is saved readable "
                            "by you only.\nTo leave passwords out of form files, turn off "
                            "Tools > Options > Save passwords.")
                        .arg(name, QString::fromStdString(holders.front())),
                    QMessageBox::Ok, this);
    box.setObjectName("PasswordNotice");
    box.exec();
  }
  return true;
}

QString DesignerWindow::StatusText() const {
  return statusBar()->currentMessage();
}

bool DesignerWindow::ShowPreview(const QString& query_name) {
  if (!preview_dock_->isVisible()) {
    preview_dock_->show();
    // Room for a page of rows without hiding the form.
    resizeDocks({preview_dock_}, {height() * 2 / 5}, Qt::Vertical);
  }
  return preview_->Run(query_name);
}

bool DesignerWindow::PreviewChosen() {
  QString name;
  if (dynamic_cast<TTessel*>(document_->Selected()) != nullptr) {
    name = QString::fromStdString(document_->Selected()->Name());
  } else if (!preview_->QueryList()->currentText().isEmpty()) {
    name = preview_->QueryList()->currentText();
  }
  if (name.isEmpty()) {
    preview_dock_->show();
    statusBar()->showMessage("The form has no query to preview");
    return false;
  }
  return ShowPreview(name);
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
  QFileDialog dialog(this, "Save form", document_->FileName(), kFormFilter);
  dialog.setObjectName("SaveFormDialog");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix("tfm");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  // A native dialog may ignore the default suffix.
  return SaveForm(WithFormSuffix(dialog.selectedFiles().front()));
}

QString DesignerWindow::WithFormSuffix(const QString& file_name) {
  return QFileInfo(file_name).suffix().isEmpty() ? file_name + ".tfm" : file_name;
}

void DesignerWindow::CopySelected() {
  TComponent* selected = document_->Selected();
  if (selected == nullptr) return;
  Guarded(this, [&] {
    const std::string clip = CopyComponentText(document_->Text(), selected->Name());
    QApplication::clipboard()->setText(QString::fromStdString(clip));
    statusBar()->showMessage(QString("Copied %1").arg(QString::fromStdString(selected->Name())));
  });
}

void DesignerWindow::CutSelected() {
  TComponent* selected = document_->Selected();
  if (selected == nullptr) return;
  CopySelected();
  DeleteAsked(this, *document_, selected);
}

void DesignerWindow::PasteClip() {
  const std::string clip = QApplication::clipboard()->text().toStdString();
  // Fields go into the selected dataset, or the selected field's.
  std::string into;
  if (const auto* dataset = dynamic_cast<const TDataSet*>(document_->Selected())) {
    into = dataset->Name();
  } else if (const auto* field = dynamic_cast<const TField*>(document_->Selected());
             field != nullptr && field->DataSet() != nullptr) {
    into = field->DataSet()->Name();
  }
  Guarded(this, [&] {
    statusBar()->clearMessage();
    const std::vector<TComponent*> added = document_->Paste(clip, into);
    QStringList names;
    for (TComponent* component : added) names << QString::fromStdString(component->Name());
    // What the paste announced (a dataset left closed) stays in the line.
    const QString announced = statusBar()->currentMessage();
    statusBar()->showMessage(QString("Pasted %1").arg(names.join(", ")) +
                             (announced.isEmpty() ? QString() : ". " + announced));
  });
}

void DesignerWindow::ChooseOptions() {
  OptionsDialog dialog(settings_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  settings_ = dialog.Settings();
  settings_.Store();
}

void DesignerWindow::ShowAbout() {
  QMessageBox::about(this, "About Tessel Designer",
                     "<b>Tessel Designer</b><p>Places Tessel's components on a form, sets their "
                     "properties, saves the form as text for tessel-run and applications to read, "
                     "and previews a query's rows live from the server.</p>"
                     "<p>Built with Qt " QT_VERSION_STR ".</p>");
}

}  // namespace tessel::designer
