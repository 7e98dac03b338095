#include "backup/ReadBack.h"

#include <exception>

#include "cfs/fs/ContainerFS.h"
#include "cfs/fs/ContainerReadBack.h"
#include "platform/Exception.h"
#include "platform/Text.h"

namespace {

// Reads every stored file through its block stream, which checks the page checksums and block
// CRCs on the way.
void ReadAll(TContainerFS& container, const std::string& password) {
  const std::string shortFile = ReadEveryFile(container, password);
  if (!shortFile.empty()) throw Exception(platform::Utf8ToCp936("读取不完整：") + "\\" + shortFile);
}

}  // namespace

std::string ReadBackContainer(const std::string& fileName, const std::string& password, int threadCount) {
  try {
    TContainerFS container(fileName, 0, password, "", "", 0);
    if (threadCount > 0) container.SetThreadCount(threadCount);
    ReadAll(container, password);
    return {};
  } catch (const std::exception& e) {
    return e.what();
  }
}
