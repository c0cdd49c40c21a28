#include "statement_history.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

namespace tessel::explorer {

bool StatementHistory::UseFile(const QString& path, QString& why) {
  path_.clear();
  QFile file(path);
  if (file.exists()) {
    if (!file.open(QIODevice::ReadOnly)) {
      why = file.errorString();
      return false;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (!document.isArray()) {
      why = QObject::tr("%1 holds no list of statements").arg(path);
      return false;
    }
    items_.clear();
    for (const QJsonValue& value : document.array()) {
      if (value.isString() && items_.size() < capacity_) items_.append(value.toString());
    }
  }
  path_ = path;
  step_ = -1;
  return true;
}

void StatementHistory::Add(const QString& statement) {
  const QString text = statement.trimmed();
  step_ = -1;
  if (text.isEmpty()) return;
  items_.removeAll(text);
  items_.prepend(text);
  while (items_.size() > capacity_) items_.removeLast();
  Save();
}

QString StatementHistory::Older() {
  if (step_ + 1 >= items_.size()) return {};
  return items_[++step_];
}

QString StatementHistory::Newer() {
  if (step_ <= 0) {
    step_ = -1;
    return {};
  }
  return items_[--step_];
}

void StatementHistory::Save() const {
  if (path_.isEmpty()) return;
  // Statements may hold what others should not read: the file is the user's.
  QDir().mkpath(QFileInfo(path_).absolutePath());
  QSaveFile file(path_);
  if (!file.open(QIODevice::WriteOnly)) return;
  file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  file.write(QJsonDocument(QJsonArray::fromStringList(items_)).toJson());
  file.commit();  // a history not written is no reason to stop the user's work
}

}  // namespace tessel::explorer
