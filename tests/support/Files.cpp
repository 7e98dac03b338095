#include "tests/support/Files.h"

#include <fstream>
#include <iterator>

#include "platform/File.h"

namespace testsupport {
namespace {

constexpr std::int64_t kLargestRead = std::int64_t{1} << 30;

bool WriteNew(const std::string& path, const void* data, std::size_t size) {
  auto f = platform::File::Open(path, platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
                                platform::FileDisposition::CreateAlways);
  const auto n = static_cast<std::int64_t>(size);
  return f && (n == 0 || f->Write(data, n) == n);
}

}  // namespace

std::optional<std::string> TryReadFile(const std::string& path) {
  auto f = platform::File::Open(path, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                                platform::FileDisposition::OpenExisting);
  if (!f) return std::nullopt;
  const std::int64_t size = f->Size();
  if (size < 0 || size > kLargestRead) return std::nullopt;
  std::string s(static_cast<std::size_t>(size), '\0');
  if (size > 0 && f->Read(s.data(), size) != size) return std::nullopt;
  return s;
}

std::string ReadFile(const std::string& path) { return TryReadFile(path).value_or("<missing>"); }

Bytes ReadAll(const std::string& path) {
  const std::optional<std::string> s = TryReadFile(path);
  return s ? Bytes(s->begin(), s->end()) : Bytes{};
}

std::optional<std::string> TryReadNativeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string s(std::istreambuf_iterator<char>(in), {});
  if (in.bad()) return std::nullopt;
  return s;
}

std::string ReadNativeFile(const std::filesystem::path& path) { return TryReadNativeFile(path).value_or(""); }

bool WriteFile(const std::string& path, std::string_view data) { return WriteNew(path, data.data(), data.size()); }

bool WriteAll(const std::string& path, const Bytes& data) { return WriteNew(path, data.data(), data.size()); }

bool Patch(const std::string& path, std::int64_t offset, const Bytes& data) {
  auto f = platform::File::Open(path, platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
                                platform::FileDisposition::OpenExisting);
  return f && f->Seek(offset, platform::SeekOrigin::Begin) == offset &&
         f->Write(data.data(), static_cast<std::int64_t>(data.size())) == static_cast<std::int64_t>(data.size());
}

}  // namespace testsupport
