#include "undo_commands.h"

#include "form_document.h"

namespace tessel::designer {

FormChangeCommand::FormChangeCommand(FormDocument& document, const QString& text,
                                     std::string before, std::string after, std::string subject)
    : QUndoCommand(text),
      document_(document),
      before_(std::move(before)),
      after_(std::move(after)),
      subject_(std::move(subject)) {}

void FormChangeCommand::undo() {
  document_.Restore(before_, subject_);
}

void FormChangeCommand::redo() {
  // Pushed after the change was made: the form already is `after`.
  if (done_) {
    done_ = false;
    return;
  }
  document_.Restore(after_, subject_);
}

}  // namespace tessel::designer
