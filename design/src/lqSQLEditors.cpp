// Registration and the editors behind the property panel and the context
// menus of update objects and queries.

#include "design/lqSQLEditors.h"

#include <QApplication>
#include <QWidget>

#include "design/lqFieldsDialog.h"
#include "design/lqSQLBDialog.h"
#include "design/lqSQLPDialog.h"
#include "design/lqSQLUpdateDialog.h"
#include "design_texts.h"
#include "form_face.h"
#include "framework/params.h"
#include "framework/show_message.h"
#include "runtime/Tessel.h"
#include "runtime/published.h"

namespace tessel {

void Register() {
  RegisterComponents(
      "Tessel", {ClassInfoOf<TSQLServer>(), ClassInfoOf<TTessel>(), ClassInfoOf<TSQLUpdate>()});
  RegisterPropertyEditor(ClassInfoOf<TParams>()->AsPropertyType(), nullptr, "",
                         PropertyEditorClass<TlqParamsProperty>());
  RegisterPropertyEditor(ClassInfoOf<TUpdateParams>()->AsPropertyType(), nullptr, "",
                         PropertyEditorClass<TlqUpdateParamsProperty>());
  RegisterComponentEditor(ClassInfoOf<TSQLUpdate>(), ComponentEditorClass<TlqSQLBuildEditor>());
  RegisterComponentEditor(ClassInfoOf<TTessel>(), ComponentEditorClass<TlqFieldsEditor>());
  SetShowMessageHook([](const std::string& message) {
    design::ShowMessage(QApplication::activeWindow(), message);
  });
}

TPropertyAttributes TlqParamsProperty::GetAttributes() const {
  return TPropertyAttributes{paDialog};
}

std::string TlqParamsProperty::GetValue() const {
  return "(TParams)";
}

void TlqParamsProperty::Edit() {
  TPersistent* component = GetComponent(0);
  const TPropInfo* property = GetPropInfo();
  auto* params =
      property->get_object ? dynamic_cast<TParams*>(property->get_object(*component)) : nullptr;
  if (params == nullptr) return;
  // Only a query has SQL text to take names from; another component's list
  // is edited as it stands.
  const auto* query = dynamic_cast<const TTessel*>(component);
  TParams working;
  working.Assign(params);
  TlqParamsDialog dialog;
  dialog.SetQuery(query != nullptr && query->Params() == params ? query : nullptr);
  dialog.SetParams(&working);
  if (!dialog.Execute()) return;
  params->Assign(&working);
  // The form holds new parameters now and must be saved.
  Modified();
}

TPropertyAttributes TlqUpdateParamsProperty::GetAttributes() const {
  return TPropertyAttributes{paDialog};
}

std::string TlqUpdateParamsProperty::GetValue() const {
  return "(TUpdateParams)";
}

void TlqUpdateParamsProperty::Edit() {
  auto* query = dynamic_cast<TTessel*>(GetComponent(0));
  if (query == nullptr) return;
  TUpdateParams working;
  if (query->UpdateParams() != nullptr) working.Assign(query->UpdateParams());
  TlqSQLUpdateDialog dialog;
  dialog.SetQuery(query);
  dialog.SetUpdateParams(&working);
  if (!dialog.Execute()) return;
  query->SetUpdateParams(&working);
  Modified();
}

std::string TlqSQLBuildEditor::GetVerb(int Index) const {
  return Index == 0 ? "SQL&Update editor..." : std::string();
}

void TlqSQLBuildEditor::ExecuteVerb(int Index) {
  auto* update = dynamic_cast<TSQLUpdate*>(Component());
  TTessel* query = update != nullptr ? update->DataSet() : nullptr;
  if (query == nullptr) {
    ShowMessage(design::kNotAssigned);
    return;
  }
  if (Index != 0) return;
  if (query->DataBaseName() == nullptr) {
    ShowMessage(design::kDataBaseNameMissing);
    return;
  }
  TlqSQLBuildDialog dialog;
  dialog.SetUpdateObject(update);
  if (dialog.Execute()) Modified();
}

std::string TlqFieldsEditor::GetVerb(int Index) const {
  return Index == 0 ? "&Fields..." : std::string();
}

void TlqFieldsEditor::ExecuteVerb(int Index) {
  auto* query = dynamic_cast<TTessel*>(Component());
  if (query == nullptr || Index != 0) return;
  TlqFieldsDialog dialog(query, Designer(), QApplication::activeWindow());
  dialog.exec();
}

}  // namespace tessel
