#include "tests/app/TestTree.h"

#include <fstream>
#include <random>
#include <stdexcept>

#include "platform/Text.h"
#include "tests/support/TempFolder.h"

namespace {

std::string Utf8Of(const std::filesystem::path& p) {
  std::u8string u = p.u8string();
  return std::string(u.begin(), u.end());
}

}  // namespace

TestTree::TestTree() {
  std::filesystem::path base = std::filesystem::temp_directory_path();
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate = base / ("zelk-app-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate)) {
      root_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a scratch directory");
}

TestTree::~TestTree() {
  // Read-only files (the fake games have some) need their attribute cleared first on Windows,
  // where remove_all alone leaves them and their folders behind.
  if (!root_.empty()) testsupport::RemoveTree(Dir(""));
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::filesystem::path TestTree::Native(const std::string& rel) const {
  return rel.empty() ? root_ : root_ / std::filesystem::path(std::u8string(rel.begin(), rel.end()));
}

std::string TestTree::Dir(const std::string& rel) const {
  std::string windows =
      platform::ReplaceSeparators(platform::Utf8ToCp936(Utf8Of(Native(rel))), '/', '\\');
  return platform::IncludeTrailingPathDelimiter(windows);
}

void TestTree::MakeFile(const std::string& rel, const std::string& content) const {
  std::filesystem::create_directories(Native(rel).parent_path());
  std::ofstream(Native(rel), std::ios::binary) << content;
}

void TestTree::MakeDir(const std::string& rel) const { std::filesystem::create_directories(Native(rel)); }

void TestTree::MakeGameDir(const std::string& rel) const {
  std::string base = rel.empty() ? rel : rel + "/";
  for (const char* file : {"zelkclient.exe", "ZELKUI.dll", "RMUI.dll", "Lua5.dll"})
    MakeFile(base + file, "MZ");
  MakeDir(base + "Interface");
  MakeDir(base + "userdata");
}

bool FakeProbe::SnapshotProcesses(std::vector<platform::ProcessEntry>& out) const {
  if (!snapshotWorks) return false;
  out.clear();
  for (const Process& p : processes) out.push_back({p.id, p.exeName});
  return true;
}

bool FakeProbe::ProcessMainModulePath(std::uint32_t processId, std::string& path) const {
  for (const Process& p : processes) {
    if (p.id != processId || p.modulePath.empty()) continue;
    path = p.modulePath;
    return true;
  }
  return false;
}
