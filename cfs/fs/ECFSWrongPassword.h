#pragma once
// The error of opening a container with a password that does not open it. Its own type, so that
// a caller asking for the password can tell it from a damaged or unreadable file and try again
// with one open per try; the message is the general one of the facade's constructor.
#include <string>

#include "platform/Exception.h"

class ECFSWrongPassword : public Exception {
 public:
  using Exception::Exception;
};
