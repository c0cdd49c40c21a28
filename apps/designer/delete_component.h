#pragma once

// Deleting a component as the user asked for it (Edit > Delete, the Delete
// key, the context menu, Cut): when other components of the form refer to
// it, the user is told which and asked first, since the references are
// cleared with it. GUI thread only.

class QWidget;

namespace tessel {
class TComponent;
}

namespace tessel::designer {

class FormDocument;

// Deletes component unless the user declines; false when nothing was deleted.
bool DeleteAsked(QWidget* parent, FormDocument& document, TComponent* component);

}  // namespace tessel::designer
