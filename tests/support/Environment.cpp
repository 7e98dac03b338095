#include "tests/support/Environment.h"

#include <cstdlib>
#include <utility>

namespace testsupport {

void SetEnvironment(const std::string& name, const std::string& value) {
#ifdef _WIN32
  // The C runtime's copy is what getenv reads; an empty value removes the variable.
  _putenv_s(name.c_str(), value.c_str());
#else
  if (value.empty())
    unsetenv(name.c_str());
  else
    setenv(name.c_str(), value.c_str(), 1);
#endif
}

ScopedEnvironment::ScopedEnvironment(std::string name, const std::string& value) : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) before_ = old;
  SetEnvironment(name_, value);
}

ScopedEnvironment::~ScopedEnvironment() { SetEnvironment(name_, before_.value_or("")); }

}  // namespace testsupport
