#pragma once

// Where tessel-sqld keeps its database files, and who may read them. With
// --data they live in the directory given; otherwise in a private directory
// in shared memory that the server removes when it stops, and that the next
// start removes when the server was killed before it could.

#include <string>
#include <vector>

namespace tessel::sqld::app {

// Makes `directory` (owner only when it is created here; one that exists
// keeps its mode, with a warning when every user may enter it) and makes the
// database files in it the owner's alone. Returns the warnings, or throws
// std::runtime_error when the directory cannot be made.
std::vector<std::string> prepareDataDirectory(const std::string& directory);

// A directory of this process, removed with everything in it on
// destruction. Its name carries the process id and start time, so that a
// later start can tell one whose server is gone.
class ScratchDirectory {
 public:
  // Creates it under `base` (0700); throws std::runtime_error on failure.
  explicit ScratchDirectory(const std::string& base);
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// /dev/shm when there is one, else the temporary directory.
std::string scratchBase();

// Removes the scratch directories under `base` that belong to this user and
// to a process that no longer runs; returns the paths removed.
std::vector<std::string> removeStaleScratch(const std::string& base);

}  // namespace tessel::sqld::app
