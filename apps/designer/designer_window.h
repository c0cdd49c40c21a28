#pragma once

// The designer's main window: the component palette across the top, the
// property panel on the left, the form's surface in the middle and the
// preview below it (shown by Run > Preview). File > New, Open, Save and
// Save As read and write text form files (Save As adds .tfm to a name
// without a suffix); a form with unsaved changes is offered for saving
// before it is replaced or the window closes. Edit undoes and redoes every
// change, and cuts, copies and pastes components as form-file text.
// Component lists the selected component's commands (its context menu). A form
// holding a password is saved readable by its owner only, and the user is
// told so once, or saved without it as Tools > Options says. Run > Preview
// (F9) runs the selected query, or the preview's chosen one. The status
// line says what a change did beyond what was asked.
// Owns the document and its views. GUI thread only.

#include <QMainWindow>
#include <functional>

#include "framework/component.h"
#include "options_dialog.h"

class QDockWidget;
class QScrollArea;

namespace tessel::designer {

class FormCanvas;
class FormDocument;
class PropertyPanel;
class Palette;
class PreviewPanel;

class DesignerWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit DesignerWindow(QWidget* parent = nullptr);
  ~DesignerWindow() override;

  FormDocument& Document() const { return *document_; }
  Palette* ComponentPalette() const { return palette_; }
  FormCanvas* Canvas() const { return canvas_; }
  PropertyPanel* Properties() const { return properties_; }
  PreviewPanel* Preview() const { return preview_; }

  // Reads a form file; a failure is shown and the current form stays.
  // adjust runs before the components act on their properties (logins).
  bool OpenForm(const QString& file_name,
                const std::function<void(TComponent& root)>& adjust = nullptr);
  // Writes the form; a failure is shown.
  bool SaveForm(const QString& file_name);
  // Shows the preview and runs the named query in it.
  bool ShowPreview(const QString& query_name);
  // Run > Preview: the selected query, else the one the preview shows.
  bool PreviewChosen();
  // Asks for a file name and saves there.
  bool SaveAs();
  // Edit > Cut, Copy, Paste of the selected component.
  void CopySelected();
  void CutSelected();
  void PasteClip();
  // The name with .tfm added when it has no suffix.
  static QString WithFormSuffix(const QString& file_name);

  const DesignerSettings& Settings() const { return settings_; }
  void SetSettings(const DesignerSettings& settings) { settings_ = settings; }
  // The status line's text.
  QString StatusText() const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void UpdateTitle();
  // Offers to save unsaved changes; false when the user cancelled.
  bool MaybeSave();
  void NewForm();
  void ChooseAndOpen();
  bool Save();
  void ChooseOptions();
  void ShowAbout();

  FormDocument* document_;
  Palette* palette_;
  FormCanvas* canvas_;
  QScrollArea* canvas_area_;
  PropertyPanel* properties_;
  PreviewPanel* preview_;
  QDockWidget* preview_dock_;
  DesignerSettings settings_;
  // The owner-only notice is given once per session.
  bool password_told_ = false;
};

}  // namespace tessel::designer
