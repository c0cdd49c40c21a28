#include "form_secrets.h"

#include <QSaveFile>

#include "form_text.h"
#include "framework/exceptions.h"
#include "framework/sysutils.h"

namespace tessel::designer {

namespace {

// A component's properties: two deeper than its header under the root.
constexpr int kPropertyIndent = 4;

bool IsPasswordLine(const std::string& line, std::string* value = nullptr) {
  std::string name, text;
  if (!PropertyLine(line, kPropertyIndent, name, text)) return false;
  if (CompareText(name, "Password") != 0) return false;
  if (value != nullptr) *value = text;
  return true;
}

}  // namespace

std::vector<std::string> PasswordHolders(const std::string& form_text) {
  std::vector<std::string> holders;
  for (const FormObjectLines& object : ObjectsAt(SplitLines(form_text), 2)) {
    for (const std::string& line : object.lines) {
      std::string value;
      if (IsPasswordLine(line, &value) && value != "''") holders.push_back(object.name);
    }
  }
  return holders;
}

std::string WithoutPasswords(const std::string& form_text) {
  std::vector<std::string> kept;
  for (std::string& line : SplitLines(form_text)) {
    if (!IsPasswordLine(line)) kept.push_back(std::move(line));
  }
  return JoinLines(kept);
}

void WriteFormFile(const std::string& file_name, const std::string& text, bool owner_only) {
  QSaveFile file(QString::fromStdString(file_name));
  const auto fail = [&] {
    throw EWriteError("Cannot write " + file_name + ": " + file.errorString().toStdString());
  };
  if (!file.open(QIODevice::WriteOnly)) fail();
  if (owner_only && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) fail();
  if (file.write(text.data(), static_cast<qint64>(text.size())) !=
      static_cast<qint64>(text.size())) {
    fail();
  }
  if (!file.commit()) fail();
}

}  // namespace tessel::designer
