// tessel-designer: design a form of Tessel components in a window.
#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "controls/main_thread.h"
#include "design/lqSQLEditors.h"
#include "designer_window.h"
#include "form_document.h"
#include "options.h"

namespace designer = tessel::designer;

int main(int argc, char** argv) {
  designer::Options options;
  const std::string error = designer::ParseOptions(argc, argv, options);
  if (options.help) {
    std::fputs(designer::Usage().c_str(), stdout);
    return 0;
  }
  if (!error.empty()) {
    std::fprintf(stderr, "tessel-designer: %s\n\n%s", error.c_str(), designer::Usage().c_str());
    return 2;
  }

  QApplication app(argc, argv);
  // No display name: Qt would append it to every dialog's caption.
  QApplication::setApplicationName("tessel-designer");
  tessel::controls::InstallSynchronizeHook();
  struct Unhook {
    ~Unhook() { tessel::controls::RemoveSynchronizeHook(); }
  } unhook;
  // The package's components, editors and messages.
  tessel::Register();

  designer::DesignerWindow window;
  window.show();
  if (!options.form.empty()) {
    const bool opened =
        window.OpenForm(QString::fromStdString(options.form),
                        [&](tessel::TComponent& root) { designer::OverrideLogins(options, root); });
    if (!opened) return 1;
  }
  if (!options.select.empty()) {
    tessel::TComponent* chosen = window.Document().Root()->FindComponent(options.select);
    if (chosen == nullptr) {
      std::fprintf(stderr, "tessel-designer: the form has no component named %s\n",
                   options.select.c_str());
      return 2;
    }
    window.Document().Select(chosen);
  }
  if (!options.preview.empty() && !window.ShowPreview(QString::fromStdString(options.preview))) {
    std::fprintf(stderr, "tessel-designer: the preview failed\n");
  }

  int code = 0;  // outlives the calls below, which run from the event loop
  if (!options.screenshot.empty()) {
    // Lets the window lay out and paint before the picture is taken.
    QTimer::singleShot(300, &window, [&] {
      if (!window.grab().save(QString::fromStdString(options.screenshot))) {
        std::fprintf(stderr, "tessel-designer: cannot write %s\n", options.screenshot.c_str());
        code = 1;
      }
      app.exit(code);
    });
  }
  return app.exec();
}
