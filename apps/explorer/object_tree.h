#pragma once

// The explorer's tree of what the server holds: its databases, in each the
// tables, views and procedures, and under a table or view its columns with
// their types. Only the databases and the objects of the current database
// are read when the tree opens; another database's objects and a table's
// columns are read when the user expands them. A double-click on a table,
// view or column writes a SELECT, on a procedure an EXEC (StatementChosen).
// Main thread; the catalog is read on the window's connection.

#include <QTreeWidget>
#include <memory>

#include "object_catalog.h"

namespace tessel::explorer {

class ObjectTree : public QTreeWidget {
  Q_OBJECT

 public:
  explicit ObjectTree(TSQLServer* server, QWidget* parent = nullptr);
  ~ObjectTree() override;

  // Reads the databases again and the objects of the current one; false
  // (and CatalogFailed) when the catalog cannot be read.
  bool Load();
  // The item of an object (or database, with object empty), or nullptr.
  QTreeWidgetItem* Find(const QString& database, const QString& object = {}) const;
  // Tables, views and procedures listed so far, over every database.
  int ObjectCount() const { return objects_; }

 signals:
  void StatementChosen(const QString& sql);
  void CatalogFailed(const QString& message);

 private:
  void Expand(QTreeWidgetItem* item);
  void Choose(QTreeWidgetItem* item);
  void FillDatabase(QTreeWidgetItem* database);
  void FillColumns(QTreeWidgetItem* object);
  // Runs read; a failure becomes CatalogFailed and false.
  template <typename Read>
  bool Reading(Read read);

  ObjectCatalog catalog_;
  std::string current_;  // the connection's database
  int objects_ = 0;
};

}  // namespace tessel::explorer
