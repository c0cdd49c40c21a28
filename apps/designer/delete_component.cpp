#include "delete_component.h"

#include <QMessageBox>
#include <QStringList>

#include "form_document.h"
#include "framework/component.h"
#include "references.h"

namespace tessel::designer {

bool DeleteAsked(QWidget* parent, FormDocument& document, TComponent* component) {
  if (component == nullptr || component->Owner() != document.Root()) return false;
  const std::vector<std::string> references = ReferencesTo(*document.Root(), *component);
  if (!references.empty()) {
    QStringList names;
    for (const std::string& reference : references) names << QString::fromStdString(reference);
    QMessageBox box(QMessageBox::Question, "Delete",
                    QString("%1 is used by %2. Delete it and clear these references?")
                        .arg(QString::fromStdString(component->Name()), names.join(", ")),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setObjectName("ConfirmDelete");
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes) return false;
  }
  document.DeleteComponent(component);
  return true;
}

}  // namespace tessel::designer
