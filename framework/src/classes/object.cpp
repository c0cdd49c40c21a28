#include "framework/object.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

#include "framework/exceptions.h"

namespace tessel {

std::string ClassNameOf(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> demangled(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
  std::string name = status == 0 && demangled ? demangled.get() : type.name();
  const auto colon = name.rfind("::");
  return colon == std::string::npos ? name : name.substr(colon + 2);
}

std::string TObject::ClassName() const {
  return ClassNameOf(typeid(*this));
}

std::string Exception::ClassName() const {
  return ClassNameOf(typeid(*this));
}

}  // namespace tessel
