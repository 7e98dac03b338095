#include "tests/support/Exceptions.h"

#include "platform/Exception.h"

namespace testsupport {

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "<no error>";
}

}  // namespace testsupport
