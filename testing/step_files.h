// The machine's files, one step at a time: every change (a write, a rename,
// a removal) is counted, any one of them can be made to fail with a chosen
// error or be the moment the power goes, and a test can look at the files
// between every two steps, as a reader at the worst moment would.
#pragma once

#include <functional>
#include <string>

#include "common/durable_file.h"

namespace Quellmar::testing {

class StepFiles : public FileSystem {
 public:
  explicit StepFiles(FileSystem& real = LocalFiles()) : real_(real) {}

  // Step number `step` (counted from 1) fails with `error` without doing
  // anything; 0 fails none.
  void FailAt(int step, FileError error) {
    fail_at_ = step;
    fail_with_ = error;
  }
  // From step number `step` on nothing reaches the disk any more: every
  // change fails, as when the machine stopped before it.
  void CutPowerAt(int step) { power_cut_at_ = step; }
  // Reads of the file of this name (in any folder) fail with `error`, as
  // when another program holds it without sharing it.
  void FailReadsOf(const std::string& name, FileError error) {
    unreadable_ = name;
    read_error_ = error;
  }
  // Called after every change that was made, with its number and a line
  // that says what it was.
  std::function<void(int step, const std::string& what)> after_step;
  int steps() const { return steps_; }

  FileError Read(const FilePath& path, std::string& bytes, uint64_t limit) override;
  FileError Write(const FilePath& path, std::string_view bytes, bool exclusive) override;
  FileError Rename(const FilePath& from, const FilePath& to) override;
  FileError Remove(const FilePath& path) override;

 private:
  // Counts a change; false (with the error) when it must not happen.
  bool Begin(FileError& error);
  FileError Done(FileError result, const std::string& what);

  FileSystem& real_;
  int steps_ = 0;
  int fail_at_ = 0;
  FileError fail_with_ = FileError::kNone;
  int power_cut_at_ = 0;
  std::string unreadable_;
  FileError read_error_ = FileError::kNone;
};

}  // namespace Quellmar::testing
