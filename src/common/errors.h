#pragma once
// Failures inside the program's own layers travel as exceptions; the command that
// caught one shows or logs its message. There are no numeric error codes.

#include <stdexcept>
#include <string>

namespace tessellink {

class AppError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file could not be written; the previous file is whole.
class FileWriteError : public AppError {
 public:
  using AppError::AppError;
};

// A file could not be read or is not in the expected form; nothing was changed.
class FileReadError : public AppError {
 public:
  using AppError::AppError;
};

}  // namespace tessellink
