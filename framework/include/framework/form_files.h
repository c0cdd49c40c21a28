#pragma once

// Form files: a component and everything it owns, as text.
//
//   object DataModule1: TDataModule
//     object SQLServer1: TSQLServer
//       ServerName = 'localhost,1433'
//       Connected = True
//     end
//     object Tessel1: TTessel
//       DataBaseName = SQLServer1
//       SQL.Strings = (
//         'select * from orders')
//     end
//   end
//
// The writer writes each published property that differs from its default,
// in published order, then the defined ones ("Data"), then the owned
// components in creation order. The reader creates the root and its
// components (each in the loading state), sets their properties, binds their
// events to handlers registered by name, resolves references by name once
// the whole file is read, and then calls Loaded on every component in
// creation order (so a server saved as connected opens). Reading what the
// writer wrote and writing it again gives the same text.
//
// A file that cannot be read raises EFormError naming the file and line, and
// leaves nothing behind: every component made so far is destroyed, and no
// reference to one of them remains. Main thread only.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "framework/component.h"
#include "framework/exceptions.h"

namespace tessel {

// A form file that cannot be read or written; Message() reads
// "<file>:<line>: <what>".
class EFormError : public EReadError {
 public:
  EFormError(std::string file_name, int line, const std::string& what);
  const std::string& FileName() const { return file_name_; }
  int Line() const { return line_; }
  // The message without file and line.
  const std::string& What() const { return what_; }

 private:
  std::string file_name_;
  int line_;
  std::string what_;
};

struct TFormReadOptions {
  // Bind events to the handlers registered under their names; an unknown
  // name is an error. Off (design time): events keep their handler names
  // but do nothing.
  bool bind_events = true;
  // The root's owner (usually none: the caller owns the root).
  TComponent* owner = nullptr;
  // Called once every property is set and every reference resolved, before
  // any component's Loaded: a chance to change settings (a server's login)
  // before a component acts on them. What it raises fails the read.
  std::function<void(TComponent& root)> before_loaded;
};

// The text of root and the components it owns. Raises EWriteError for a
// component of an unregistered class or a reference to a component outside
// the form.
std::string WriteComponentText(const TComponent& root);
void WriteComponentFile(const TComponent& root, const std::string& file_name);

// Reads a form; the root is of the class the file names. file_name is used in
// messages only.
std::unique_ptr<TComponent> ReadComponentText(std::string_view text,
                                              const std::string& file_name = "<text>",
                                              const TFormReadOptions& options = {});
// Reads the file; one that cannot be opened raises EFormError with line 0.
std::unique_ptr<TComponent> ReadComponentFile(const std::string& file_name,
                                              const TFormReadOptions& options = {});

}  // namespace tessel
