#pragma once
// Scratch directory trees for the window tests, and a system probe that places the program and
// the running clients wherever a test wants them.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "gamedir/GameLocator.h"

class TestTree {
 public:
  TestTree();
  ~TestTree();
  TestTree(const TestTree&) = delete;
  TestTree& operator=(const TestTree&) = delete;

  // `rel` is a UTF-8 path with "/" below the tree's root.
  std::filesystem::path Native(const std::string& rel) const;
  // The program's form of a directory below the root: code page 936, "\" separators, ending
  // in "\".
  std::string Dir(const std::string& rel) const;
  void MakeFile(const std::string& rel, const std::string& content = {}) const;
  void MakeDir(const std::string& rel) const;
  // The client files and folders a game directory is recognised by.
  void MakeGameDir(const std::string& rel) const;

 private:
  std::filesystem::path root_;
};

class FakeProbe : public SystemProbe {
 public:
  struct Process {
    std::uint32_t id;
    std::string exeName;
    std::string modulePath;  // empty: the module cannot be read
  };
  std::string programPath;
  std::vector<Process> processes;
  bool snapshotWorks = true;
  bool programPathExact = true;

  std::string ProgramPath() const override { return programPath; }
  bool ProgramPathExact() const override { return programPathExact; }
  bool SnapshotProcesses(std::vector<platform::ProcessEntry>& out) const override;
  bool ProcessMainModulePath(std::uint32_t processId, std::string& path) const override;
};
