#include "fuzz/FuzzFiles.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace fuzzfiles {

namespace {

// The folder lives as long as the process and is removed when libFuzzer exits normally.
struct ScratchFolder {
  std::string path;
  ScratchFolder() {
    const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    const fs::path dir = base / ("zelk-fuzz-" + std::to_string(::getpid()));
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir);
    path = dir.string() + "/";
  }
  ~ScratchFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

}  // namespace

const std::string& Folder() {
  static const ScratchFolder folder;
  return folder.path;
}

std::string Write(const std::string& name, const std::uint8_t* data, std::size_t size) {
  const std::string path = Folder() + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) {
    std::fprintf(stderr, "fuzz: cannot write %s\n", path.c_str());
    std::abort();
  }
  return path;
}

void Remove(const std::string& name) {
  std::error_code ec;
  fs::remove_all(Folder() + name, ec);
}

bool HoldsOnly(std::initializer_list<std::string> names) {
  for (const auto& entry : fs::directory_iterator(Folder())) {
    const std::string name = entry.path().filename().string();
    if (std::find(names.begin(), names.end(), name) == names.end()) {
      std::fprintf(stderr, "fuzz: unexpected entry %s in the scratch folder\n", name.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace fuzzfiles
