#pragma once
#include <exception>

#include "framework/Types.h"

// Base of every error the program raises; carries a fixed message text.
class Exception : public std::exception {
 public:
  explicit Exception(AnsiText message) : message_(std::move(message)) {}
  const AnsiText& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  AnsiText message_;
};

// An input/output error carrying the system's error code.
class EInOutError : public Exception {
 public:
  explicit EInOutError(int errorCode);
  int ErrorCode() const noexcept { return errorCode_; }

 private:
  int errorCode_;
};

// printf-style formatting into an AnsiText.
AnsiText FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The text an error box shows for a message: a full stop is appended when the
// code of the last character is above that of '.', so "File not found" reads
// "File not found." while "Done!" or "Done." stay as they are.
AnsiText ErrorBoxText(const AnsiText& message);
