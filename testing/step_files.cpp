#include "testing/step_files.h"

namespace Quellmar::testing {

bool StepFiles::Begin(FileError& error) {
  ++steps_;
  if (power_cut_at_ > 0 && steps_ >= power_cut_at_) {
    error = FileError::kOther;
    return false;
  }
  if (steps_ == fail_at_) {
    error = fail_with_;
    return false;
  }
  return true;
}

FileError StepFiles::Done(FileError result, const std::string& what) {
  if (result == FileError::kNone && after_step) after_step(steps_, what);
  return result;
}

FileError StepFiles::Read(const FilePath& path, std::string& bytes, uint64_t limit) {
  if (!unreadable_.empty() && path.filename() == FilePath(unreadable_)) {
    bytes.clear();
    return read_error_;
  }
  return real_.Read(path, bytes, limit);
}

FileError StepFiles::Write(const FilePath& path, std::string_view bytes, bool exclusive) {
  FileError e;
  if (!Begin(e)) return e;
  return Done(real_.Write(path, bytes, exclusive), "write " + path.filename().string());
}

FileError StepFiles::Rename(const FilePath& from, const FilePath& to) {
  FileError e;
  if (!Begin(e)) return e;
  return Done(real_.Rename(from, to),
              "rename " + from.filename().string() + " to " + to.filename().string());
}

FileError StepFiles::Remove(const FilePath& path) {
  FileError e;
  if (!Begin(e)) return e;
  return Done(real_.Remove(path), "remove " + path.filename().string());
}

}  // namespace Quellmar::testing
