// Loading the client library and resolving its entry points, and releasing
// them again at unload.

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "binding/dblib_entry_points.h"
#include "binding/dblib_texts.h"
#include "binding/dblib_unload.h"
#include "runtime/lqSQLdb.h"

namespace tessel {

std::int32_t STATUS = 0;
std::int32_t RETCODE = 0;

namespace detail {

const char* const kEntryPointNames[kEntryPointCount] = {
#define TESSEL_ENTRY_NAME(name) #name,
    TESSEL_DBLIB_ENTRY_POINTS(TESSEL_ENTRY_NAME)
#undef TESSEL_ENTRY_NAME
};

void* entry_points[kEntryPointCount] = {};

}  // namespace detail

namespace {

// Binding state. The mutex serialises loading and unloading; the flags are
// atomic so that a wrapper's caller on another thread sees a finished load.
std::mutex loader_mutex;
std::atomic<bool> dblib_loaded{false};  // set once the library is loaded, before lookup
std::atomic<bool> all_bound{false};     // every entry point was found
void* dblib_handle = nullptr;           // guarded by loader_mutex
std::string loaded_name;                // guarded by loader_mutex
std::string last_load_error;            // guarded by loader_mutex

// The folder of the shared library that holds this code; empty when the
// package is linked into the program itself.
std::string PackageLibraryFolder() {
  Dl_info info{};
  static const int anchor = 0;
  if (dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr) return {};
  void* self = dlopen(nullptr, RTLD_NOW);
  void* holder = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
  const bool inProgram = holder == nullptr || holder == self;
  if (holder != nullptr) dlclose(holder);
  if (self != nullptr) dlclose(self);
  if (inProgram) return {};
  const std::string path = info.dli_fname;
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// TESSEL_DBLIB alone when set. Otherwise the names on the library search
// path, then an installed package's own copy: beside the shared package
// library, then where the package was installed, so that an installed
// program needs no TESSEL_DBLIB.
std::vector<std::string> CandidateNames() {
  const char* chosen = std::getenv("TESSEL_DBLIB");
  if (chosen != nullptr && *chosen != '\0') return {chosen};
  std::vector<std::string> names = {"libntwdblib.so", "ntwdblib.so"};
  if (const std::string folder = PackageLibraryFolder(); !folder.empty()) {
    names.push_back(folder + "libntwdblib.so");
  }
#ifdef TESSEL_INSTALLED_DBLIB
  names.push_back(TESSEL_INSTALLED_DBLIB);
#endif
  return names;
}

std::string DlError() {
  const char* text = dlerror();
  return text != nullptr ? text : "";
}

void LoadLibrary() {
  std::string errors;
  for (const std::string& name : CandidateNames()) {
    // RTLD_NODELETE: releasing the library at unload gives up our reference
    // but keeps it mapped. The client library keeps process-wide state that
    // only dbexit frees, and the package never calls dbexit (other code in the
    // process may still be using the library); unmapping would turn that state
    // into a leak and leave any of its exit handlers pointing nowhere.
    if (void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {
      dblib_handle = handle;
      loaded_name = name;
      return;
    }
    if (!errors.empty()) errors += "; ";
    errors += DlError();
  }
  last_load_error = errors;
  throw ElqDBLIBError(detail::SLoadLibError);
}

// Resolves every name in table order, keeping what is found, and reports the
// first one missing only after all were looked up.
void ResolveEntryPoints() {
  dlerror();
  for (std::size_t i = 0; i < detail::kEntryPointCount; ++i) {
    detail::entry_points[i] = dlsym(dblib_handle, detail::kEntryPointNames[i]);
  }
  for (std::size_t i = 0; i < detail::kEntryPointCount; ++i) {
    if (detail::entry_points[i] == nullptr) {
      last_load_error = loaded_name + ": no entry point " + detail::kEntryPointNames[i];
      throw ElqDBLIBError(detail::SGetProcAddrError);
    }
  }
}

}  // namespace

void InitializeDBLIB() {
  if (all_bound.load(std::memory_order_acquire)) return;
  detail::RunFinalizeAtExit();
  std::lock_guard lock(loader_mutex);
  if (dblib_loaded.load()) {
    if (all_bound.load()) return;
    throw ElqDBLIBError(detail::SGetProcAddrError);
  }
  LoadLibrary();
  dblib_loaded.store(true);
  ResolveEntryPoints();
  last_load_error.clear();
  all_bound.store(true, std::memory_order_release);
}

void FinalizeDBLIB() {
  dbRegisterTraceCallback(nullptr);
  if (SQLTraceIsActive()) {
    // Nobody can act on a failure at unload; the library is released anyway.
    try {
      SQLTraceActive(false);
    } catch (...) {
    }
  }
  std::lock_guard lock(loader_mutex);
  if (!dblib_loaded.load()) return;
  all_bound.store(false);
  dblib_loaded.store(false);
  for (void*& address : detail::entry_points) address = nullptr;
  dlclose(dblib_handle);
  dblib_handle = nullptr;
  loaded_name.clear();
}

std::string LoadedDBLIBName() {
  std::lock_guard lock(loader_mutex);
  return loaded_name;
}

std::string LastDBLIBLoadError() {
  std::lock_guard lock(loader_mutex);
  return last_load_error;
}

namespace detail {

void RunFinalizeAtExit() {
  // Package unload: the destructor runs once when the process ends, or when
  // the shared library holding the package is unloaded.
  struct Finalizer {
    ~Finalizer() { FinalizeDBLIB(); }
  };
  static Finalizer finalizer;
}

}  // namespace detail

void* detail::OptionalAddress(const char* name) {
  std::lock_guard lock(loader_mutex);
  return dblib_handle == nullptr ? nullptr : dlsym(dblib_handle, name);
}

}  // namespace tessel
