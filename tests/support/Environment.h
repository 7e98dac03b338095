#pragma once
// Environment variables the code under test reads (ZELK_THREADS, ZELK_SHELL_LOG).
#include <optional>
#include <string>

namespace testsupport {

// Sets the variable; an empty value removes it.
void SetEnvironment(const std::string& name, const std::string& value);

// The variable set to a value for the life of the object, then given back its earlier value.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, const std::string& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::optional<std::string> before_;
};

}  // namespace testsupport
