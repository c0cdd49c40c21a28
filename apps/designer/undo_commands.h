#pragma once

// One undoable change of the form (placing, moving, deleting, pasting a
// component, or editing its properties through any editor): the form's text
// before and after it. Undo and redo put the whole form back from that text,
// which is how every kind of change, including those a component editor's
// dialog makes, goes back exactly. The command is pushed once the change is
// made, so its first redo does nothing. Refers to the document; GUI thread.

#include <QUndoCommand>
#include <string>

namespace tessel::designer {

class FormDocument;

class FormChangeCommand : public QUndoCommand {
 public:
  // subject: the component the change is about, selected after undo and
  // redo when the form has it.
  FormChangeCommand(FormDocument& document, const QString& text, std::string before,
                    std::string after, std::string subject);

  void undo() override;
  void redo() override;

 private:
  FormDocument& document_;
  std::string before_;
  std::string after_;
  std::string subject_;
  bool done_ = true;
};

}  // namespace tessel::designer
