#include <gtest/gtest.h>

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "tests/support/Files.h"
#include "tests/support/TempFolder.h"

using namespace platform;

TEST(File, ReadWriteSeekSizeAndSetEnd) {
  testsupport::TempFolder dir;
  const std::string path = dir.Path() + "data.bin";
  auto f = File::Open(path, FileAccess::ReadWrite, FileShare::Exclusive, FileDisposition::CreateNew);
  ASSERT_TRUE(f) << LastErrorText();
  EXPECT_EQ(f->Path(), path);
  EXPECT_EQ(f->Write("hello world", 11), 11);
  EXPECT_EQ(f->Size(), 11);
  EXPECT_EQ(f->Seek(6, SeekOrigin::Begin), 6);
  char buf[16] = {};
  EXPECT_EQ(f->Read(buf, 16), 5);  // short read at the end
  EXPECT_EQ(std::string(buf, 5), "world");
  EXPECT_EQ(f->Read(buf, 4), 0);
  EXPECT_EQ(f->Seek(-5, SeekOrigin::End), 6);
  EXPECT_EQ(f->Seek(-1, SeekOrigin::Current), 5);
  EXPECT_EQ(f->Position(), 5);
  EXPECT_TRUE(f->SetEndOfFile());
  EXPECT_EQ(f->Size(), 5);
  EXPECT_EQ(f->Position(), 5);  // size does not move the position
  // Extending: seek past the end and set the end there; the gap reads as zeros.
  EXPECT_EQ(f->Seek(5000000000LL, SeekOrigin::Begin), 5000000000LL);  // 64-bit offsets
  EXPECT_EQ(f->Seek(100, SeekOrigin::Begin), 100);
  EXPECT_TRUE(f->SetEndOfFile());
  EXPECT_EQ(f->Size(), 100);
  EXPECT_EQ(f->Seek(50, SeekOrigin::Begin), 50);
  EXPECT_EQ(f->Read(buf, 2), 2);
  EXPECT_EQ(buf[0], 0);
  EXPECT_TRUE(f->Flush());
  EXPECT_EQ(f->Seek(-1, SeekOrigin::Begin), -1);
}

TEST(File, DispositionsAndReadOnlyAccess) {
  testsupport::TempFolder dir;
  const std::string path = dir.Path() + "d.txt";
  EXPECT_FALSE(File::Open(path, FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting));
  ASSERT_TRUE(testsupport::WriteFile(path, "abc"));
  EXPECT_FALSE(File::Open(path, FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::CreateNew));
  {
    auto f = File::Open(path, FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::OpenAlways);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Size(), 3);  // kept
  }
  {
    auto f = File::Open(path, FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Write("x", 1), -1);  // opened for reading only
  }
  {
    auto f = File::Open(path, FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::CreateAlways);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Size(), 0);  // truncated
  }
  {
    ASSERT_TRUE(testsupport::WriteFile(path, "abc"));
    auto f = File::Open(path, FileAccess::Read, FileShare::ReadWrite, FileDisposition::CreateAlways);
    ASSERT_TRUE(f);  // reading handle, still truncated
    EXPECT_EQ(f->Size(), 0);
  }
  auto g = File::Open(dir.Path() + "new.txt", FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::OpenAlways);
  EXPECT_TRUE(g);
  g.reset();
  // A folder is not a file, and a read-only file cannot be opened for writing.
  EXPECT_FALSE(File::Open(dir.Path(), FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting));
  ASSERT_TRUE(SetFileAttributes(path, kAttrReadOnly));
  EXPECT_FALSE(File::Open(path, FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::OpenExisting));
  EXPECT_FALSE(File::Open(path, FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::CreateAlways));
  EXPECT_TRUE(File::Open(path, FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting));
  SetFileAttributes(path, 0);
}

TEST(File, ExclusiveOpenRefusesOtherOpeners) {
  testsupport::TempFolder dir;
  const std::string path = dir.Path() + "lock.bin";
  ASSERT_TRUE(testsupport::WriteFile(path, "x"));
  {
    auto ex = File::Open(path, FileAccess::ReadWrite, FileShare::Exclusive, FileDisposition::OpenExisting);
    ASSERT_TRUE(ex);
    std::string error;
    EXPECT_FALSE(File::Open(path, FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(File::Open(path, FileAccess::Read, FileShare::Exclusive, FileDisposition::OpenExisting));
  }
  // Sharing openers coexist, and keep an exclusive opener out.
  auto a = File::Open(path, FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting);
  auto b = File::Open(path, FileAccess::ReadWrite, FileShare::ReadWrite, FileDisposition::OpenExisting);
  ASSERT_TRUE(a);
  ASSERT_TRUE(b);
  EXPECT_FALSE(File::Open(path, FileAccess::Read, FileShare::Exclusive, FileDisposition::OpenExisting));
  a.reset();
  b.reset();
  EXPECT_TRUE(File::Open(path, FileAccess::Read, FileShare::Exclusive, FileDisposition::OpenExisting));
}
