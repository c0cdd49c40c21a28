// The call trace: time-stamped lines to a registered routine or to
// "~Tessel.log" in the temporary directory.
//
// The log file lives in a directory other users can write to, so it is opened
// without following a symbolic link, and a file there that is not a regular
// file of ours with a single name is refused rather than emptied. Each line is
// flushed as it is written: a trace is read after a crash or hang, and its
// last line must be the last call made.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "binding/dblib_unload.h"
#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "runtime/lqSQLdb.h"

namespace tessel {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using TraceFilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::atomic<bool> trace_active{false};
std::atomic<TTraceRoutine> trace_callback{nullptr};
std::mutex trace_file_mutex;
TraceFilePtr trace_file;                  // guarded by trace_file_mutex; set while the file is open
std::recursive_mutex trace_switch_mutex;  // serialises SQLTraceActive; a callback may switch too

[[noreturn]] void CannotCreate(const std::string& path, const std::string& why) {
  throw EInOutError("Cannot create trace file '" + path + "': " + why);
}

// Creates the file, or empties it when it is a regular file of this user.
TraceFilePtr CreateTraceFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                        S_IRUSR | S_IWUSR);
  if (fd < 0) CannotCreate(path, std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
      st.st_nlink != 1) {
    ::close(fd);
    CannotCreate(path, "not a regular file owned by this user");
  }
  if (::fchmod(fd, S_IRUSR | S_IWUSR) != 0 || ::ftruncate(fd, 0) != 0) {
    const std::string why = std::strerror(errno);
    ::close(fd);
    CannotCreate(path, why);
  }
  std::FILE* f = ::fdopen(fd, "wb");
  if (f == nullptr) {
    const std::string why = std::strerror(errno);
    ::close(fd);
    CannotCreate(path, why);
  }
  return TraceFilePtr(f);
}

std::string StampedLine(const std::string& msg) {
  const TDateTime now = Now();
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  DecodeTime(now, hour, minute, second, millisecond);
  return TimeToStr(now) + Format(".%3d ", {millisecond}) + msg;
}

void CloseTraceFile() {
  std::lock_guard lock(trace_file_mutex);
  trace_file.reset();
}

}  // namespace

std::string TraceFileName() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
  if (path.back() != '/') path += '/';
  return path + "~Tessel.log";
}

void SQLWriteTrace(const std::string& msg) {
  const std::string line = StampedLine(msg);
  if (TTraceRoutine callback = trace_callback.load()) {
    callback(line.c_str());
    return;
  }
  std::lock_guard lock(trace_file_mutex);
  if (!trace_file) trace_file = CreateTraceFile(TraceFileName());
  std::fputs(line.c_str(), trace_file.get());
  std::fputs("\r\n", trace_file.get());
  std::fflush(trace_file.get());
}

bool SQLTraceIsActive() {
  return trace_active.load(std::memory_order_relaxed);
}

void SQLTraceActive(bool value) {
  detail::RunFinalizeAtExit();
  std::lock_guard lock(trace_switch_mutex);
  if (trace_active.load() == value) return;
  trace_active.store(value);
  if (value) {
    SQLWriteTrace("Tessel logging started");
    return;
  }
  if (trace_callback.load() != nullptr) return;
  SQLWriteTrace("Tessel logging ended");
  CloseTraceFile();
}

TTraceRoutine dbRegisterTraceCallback(TTraceRoutine routine) {
  return trace_callback.exchange(routine);
}

}  // namespace tessel
