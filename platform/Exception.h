#pragma once
// The general exception class of the whole system. Every error the engine raises is one of
// these carrying its exact message text (code page 936); the codecs and the zip writer derive
// their own classes from it.
#include <exception>
#include <string>
#include <utility>

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};
