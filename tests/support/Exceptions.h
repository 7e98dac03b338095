#pragma once
// The text of the error an action raises, for comparing with the exact message expected.
#include <functional>
#include <string>

namespace testsupport {

// The message of the Exception the action raises, "<no error>" when it raises none. Other
// exception types pass through and fail the test.
std::string ErrorOf(const std::function<void()>& action);

}  // namespace testsupport
