#pragma once
// The names the storage, page file and container tests share: scratch folders, raw file access
// and byte patterns from tests/support.
#include "platform/Exception.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "tests/support/Bytes.h"
#include "tests/support/Exceptions.h"
#include "tests/support/Files.h"
#include "tests/support/TempFolder.h"

namespace storagetest {

using testsupport::Bytes;
using testsupport::ErrorOf;
using testsupport::Patch;
using testsupport::Pattern;
using testsupport::ReadAll;
using testsupport::Text;
using testsupport::WriteAll;

// dir / "name" gives the path of a file in the folder.
using ScratchDir = testsupport::TempFolder;

}  // namespace storagetest
