#pragma once
// Exception classes of the zip writer. Messages are the English texts the component reports.
#include <string>
#include <utility>

#include "platform/Exception.h"

class EZipException : public Exception {
 public:
  using Exception::Exception;
};
class EBadZipFile : public EZipException {
 public:
  using EZipException::EZipException;
};
class EIncompleteZip : public EZipException {
 public:
  using EZipException::EZipException;
};
class ENotAZipFile : public EZipException {
 public:
  using EZipException::EZipException;
};
class EUserCanceled : public EZipException {
 public:
  using EZipException::EZipException;
};
class ENotEnoughRoom : public EZipException {
 public:
  using EZipException::EZipException;
};
class EConfigFileSaveError : public EZipException {
 public:
  using EZipException::EZipException;
};

class EZLibError : public Exception {
 public:
  using Exception::Exception;
};
class EZCompressionError : public EZLibError {
 public:
  using EZLibError::EZLibError;
};

// Raised by the sorted entry list when a second entry of the same name is inserted.
class EListError : public Exception {
 public:
  using Exception::Exception;
};

// The component's message texts.
namespace zipmsg {
inline constexpr const char* kNotValidZip = "Not a valid zip file!";
inline constexpr const char* kIncompleteZip = "Incomplete Zip File";
inline constexpr const char* kUserCanceledZip = "User canceled Zip operation";
inline constexpr const char* kUserAborted = "User Aborted Operation";
inline constexpr const char* kUserCanceledName = "User canceled setting zip file name.";
inline constexpr const char* kNotEnoughRoom = "Not enough room to write archive";
inline constexpr const char* kDuplicateObject = "Duplicate Object index";
}  // namespace zipmsg
