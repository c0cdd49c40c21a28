#pragma once

// The statements the user ran last, most recent first, for the explorer's
// Query > History menu and for stepping back and forth through them
// (Ctrl+Up, Ctrl+Down). A statement run again moves to the front rather than
// being listed twice; the oldest fall off beyond the capacity. With a file,
// the list is read from it at start and written back after each statement,
// so it outlives the window. Main thread.

#include <QString>
#include <QStringList>

namespace tessel::explorer {

class StatementHistory {
 public:
  explicit StatementHistory(int capacity = 50) : capacity_(capacity) {}

  // Reads the list kept in path (a JSON array of strings) and keeps writing
  // it there; a missing file is an empty history. False, with why, when the
  // file cannot be read; the history is then kept in memory only.
  bool UseFile(const QString& path, QString& why);
  // Puts statement (trimmed; empty ones are ignored) in front and starts
  // stepping from the front again.
  void Add(const QString& statement);
  const QStringList& Items() const { return items_; }

  // Steps to an older or newer statement than the last one stepped to;
  // null at either end.
  QString Older();
  QString Newer();

 private:
  void Save() const;

  int capacity_;
  QStringList items_;
  QString path_;
  int step_ = -1;  // index of the statement stepped to, -1: none yet
};

}  // namespace tessel::explorer
