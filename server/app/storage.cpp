#include "storage.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tessel::sqld::app {

namespace {

namespace fs = std::filesystem;

constexpr char kScratchPrefix[] = "tessel-sqld-";

// Field 22 of /proc/<pid>/stat, the start time in clock ticks after boot;
// empty when no such process runs. With the pid it names one process even
// after the pid is used again.
std::string startTime(long pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return {};
  // The command name in parentheses may hold spaces; fields after it do not.
  auto close = line.rfind(')');
  if (close == std::string::npos) return {};
  std::istringstream fields(line.substr(close + 1));
  std::string field;
  for (int number = 3; fields >> field; ++number) {
    if (number == 22) return field;
  }
  return {};
}

bool allDigits(std::string_view s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// "tessel-sqld-<pid>-<start time>-XXXXXX": the pid and start time, or false.
bool parseScratchName(std::string_view name, long& pid, std::string& start) {
  if (name.rfind(kScratchPrefix, 0) != 0) return false;
  name.remove_prefix(sizeof kScratchPrefix - 1);
  auto dash = name.find('-');
  auto second = dash == std::string_view::npos ? dash : name.find('-', dash + 1);
  if (second == std::string_view::npos || name.size() - second - 1 != 6) return false;
  std::string_view pidText = name.substr(0, dash);
  std::string_view startText = name.substr(dash + 1, second - dash - 1);
  if (!allDigits(pidText) || pidText.size() > 9 || !allDigits(startText)) return false;
  pid = std::stol(std::string(pidText));
  start = std::string(startText);
  return true;
}

bool isDatabaseFile(const std::string& name) {
  for (const char* suffix : {".db", ".db-wal", ".db-shm", ".db-journal"}) {
    std::string_view s(suffix);
    if (name.size() > s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0)
      return true;
  }
  return false;
}

}  // namespace

std::vector<std::string> prepareDataDirectory(const std::string& directory) {
  std::vector<std::string> warnings;
  struct stat st {};
  if (::stat(directory.c_str(), &st) != 0) {
    std::error_code ec;
    fs::create_directories(directory, ec);
    if (!ec) fs::permissions(directory, fs::perms::owner_all, fs::perm_options::replace, ec);
    if (ec) {
      throw std::runtime_error("cannot create the data directory '" + directory +
                               "': " + ec.message());
    }
    return warnings;
  }
  if (!S_ISDIR(st.st_mode)) {
    throw std::runtime_error("the data directory '" + directory + "' is not a directory");
  }
  // A group the owner chose (the service's own, say) is left alone.
  if ((st.st_mode & S_IRWXO) != 0) {
    warnings.push_back("other users may list the data directory '" + directory +
                       "'; 'chmod 700' keeps its database names private");
  }
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(directory, ec)) {
    const std::string path = entry.path().string();
    if (!isDatabaseFile(entry.path().filename().string())) continue;
    struct stat file {};
    if (::lstat(path.c_str(), &file) != 0 || !S_ISREG(file.st_mode)) continue;
    if (file.st_uid != ::geteuid() || (file.st_mode & (S_IRWXG | S_IRWXO)) == 0) continue;
    if (::chmod(path.c_str(), file.st_mode & S_IRWXU) != 0) {
      warnings.push_back("cannot make '" + path +
                         "' readable by its owner only: " + std::strerror(errno));
    }
  }
  return warnings;
}

ScratchDirectory::ScratchDirectory(const std::string& base) {
  const long pid = static_cast<long>(::getpid());
  std::string pattern =
      base + "/" + kScratchPrefix + std::to_string(pid) + "-" + startTime(pid) + "-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!::mkdtemp(buffer.data())) {
    throw std::runtime_error("cannot create a directory in " + base + ": " + std::strerror(errno));
  }
  path_ = buffer.data();
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string scratchBase() {
  std::error_code ec;
  if (fs::is_directory("/dev/shm", ec)) return "/dev/shm";
  return fs::temp_directory_path(ec).string();
}

std::vector<std::string> removeStaleScratch(const std::string& base) {
  std::vector<std::string> removed;
  // Without /proc no owner can be told from a stranger: remove nothing.
  if (startTime(static_cast<long>(::getpid())).empty()) return removed;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(base, ec)) {
    long pid = 0;
    std::string start;
    if (!parseScratchName(entry.path().filename().string(), pid, start)) continue;
    const std::string path = entry.path().string();
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
      continue;
    if (startTime(pid) == start) continue;  // its server still runs
    std::error_code removeError;
    fs::remove_all(path, removeError);
    if (!removeError) removed.push_back(path);
  }
  return removed;
}

}  // namespace tessel::sqld::app
