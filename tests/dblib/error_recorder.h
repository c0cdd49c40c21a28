// Records what reaches the process-wide DB-Library error handler during a test.
#ifndef TESSEL_TESTS_DBLIB_ERROR_RECORDER_H
#define TESSEL_TESTS_DBLIB_ERROR_RECORDER_H

#include <ntwdblib.h>

#include <string>
#include <vector>

struct RecordedError {
  int severity;
  int number;
  std::string text;
};

// Installs the recording handler for its lifetime and puts the previous one back.
class ErrorRecorder {
 public:
  ErrorRecorder() : previous_(dberrhandle(&Handler)) { Errors().clear(); }
  ~ErrorRecorder() { dberrhandle(previous_); }
  ErrorRecorder(const ErrorRecorder&) = delete;
  ErrorRecorder& operator=(const ErrorRecorder&) = delete;

  static std::vector<RecordedError>& Errors() {
    static std::vector<RecordedError> errors;
    return errors;
  }
  static bool Saw(int number) {
    for (const auto& e : Errors()) {
      if (e.number == number) return true;
    }
    return false;
  }

 private:
  static INT Handler(PDBPROCESS, INT severity, INT dberr, INT, LPCSTR dberrstr, LPCSTR) {
    Errors().push_back({severity, dberr, dberrstr != nullptr ? dberrstr : ""});
    return INT_CANCEL;
  }
  DBERRHANDLE_PROC previous_;
};

#endif
