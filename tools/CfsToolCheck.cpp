// cfstool check: checks the directory and page ownership, reads every block of every stored file
// and every page of the container, and names each file that is damaged.
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "cfs/fs/CFSAdvancedFileStream.h"
#include "cfs/fs/ConsistencyCheck.h"
#include "cfs/fs/ContainerFS.h"
#include "cfs/fs/ContainerWalk.h"
#include "platform/Exception.h"
#include "tools/CfsToolCommands.h"

namespace {

constexpr std::int32_t kReadChunk = 0x10000;

// Empty when the file reads back whole; otherwise what went wrong.
std::string CheckFile(TContainerFS& fs, const TCFSWalkEntry& e, const std::string& password) {
  try {
    TCFSAdvancedFileStream s(&fs, "\\" + e.path, 0, password, "", "", 0);
    if (!s.PassThrough()) {
      // Each block is unpacked and checked against its size and checksum.
      std::int64_t total = 0;
      for (std::int32_t i = 0; i < s.BlockCount(); ++i)
        total += static_cast<std::int64_t>(s.LoadBlock(i).size());
      if (total != s.GetSize()) return "blocks hold " + std::to_string(total) + " bytes, not " + std::to_string(s.GetSize());
      return {};
    }
    std::vector<std::uint8_t> buffer(kReadChunk);
    std::int64_t total = 0;
    for (;;) {
      const std::int32_t n = s.Read(buffer.data(), kReadChunk);
      if (n <= 0) break;
      total += n;
    }
    if (total != s.GetSize())
      return "read stopped after " + std::to_string(total) + " of " + std::to_string(s.GetSize()) + " bytes";
    return {};
  } catch (const Exception& ex) {
    return ex.Message();
  }
}

// Notes which file owns each of the file's map and data pages; what went wrong when the chain of
// page maps cannot be followed.
std::string RecordPages(TContainerFS& fs, const TCFSWalkEntry& e, std::map<std::int32_t, std::string>& owners) {
  const std::int32_t n = fs.Directory().FindItem("\\" + e.path);
  if (n < 0 || n >= fs.Directory().ItemCount()) return "not found in the directory";
  const TCFSDirItem& item = fs.Directory().Item(n);
  if (item.FirstMapPageNo < 0) return {};
  try {
    TIntegerArray* mapPages = nullptr;
    TIntegerArray* dataPages = nullptr;
    fs.PageMaps().GetMaps(item, mapPages, dataPages);
    for (const TIntegerArray* list : {mapPages, dataPages})
      for (std::int32_t i = 0; list && i < list->Count(); ++i) owners.emplace((*list)[i], e.path);
    return {};
  } catch (const Exception& ex) {
    return ex.Message();
  }
}

// Page numbers whose stored checksum does not match their bytes (or that cannot be read).
std::vector<std::int32_t> BadPages(TContainerFS& fs) {
  TPageFileManager& pf = fs.PageFile();
  TCFSPageRec rec;
  pf.InitPageRecord(rec);
  std::vector<std::int32_t> bad;
  for (std::int32_t p = 1; p < pf.Header().PageCount(); ++p)
    if (!pf.ReadPage(rec, p, true)) bad.push_back(p);
  return bad;
}

}  // namespace

int CfsToolCheck(const CfsToolArgs& args, const CfsToolIO& io) {
  if (args.positional.size() != 1) return CfsToolUsageError(io, "check takes one container file");
  const std::string& file = args.positional[0];
  const std::string password = args.Password();
  std::unique_ptr<TContainerFS> fs;
  try {
    fs = std::make_unique<TContainerFS>(file, 0, password, "", "", 0);
    fs->SetThreadCount(args.Threads());
  } catch (const ECFSWrongPassword&) {
    // A wrong password is no damage.
    io.Out(std::string(password.empty() ? "PASSWORD NEEDED: the container is encrypted; give its password\n"
                                        : "WRONG PASSWORD: the password does not open the container (or the "
                                          "container is damaged)\n"));
    return kCfsToolFailed;
  } catch (const Exception& ex) {
    io.Out("DAMAGED container: " + ex.Message() + "\n");
    return kCfsToolFailed;
  }
  fs->OnPassword.Handler = [](void*, TContainerFS&, const std::string&, std::string&, bool& cancel) {
    cancel = true;
  };
  std::int64_t files = 0, locked = 0, lostPages = 0;
  std::set<std::string> damaged;
  // The directory and page ownership first: what they find, reading the files cannot.
  for (const TCFSConsistencyProblem& p : CheckConsistency(*fs)) {
    if (p.Item < 0) {
      ++lostPages;
      io.Out("LOST " + p.Path + ": " + p.Text + "\n");
      continue;
    }
    damaged.insert(p.Path);
    io.Out("DAMAGED " + p.Path + ": " + p.Text + "\n");
  }
  std::map<std::int32_t, std::string> owners;  // map and data pages of every file
  WalkContainer(
      *fs,
      [&](const TCFSWalkEntry& e) {
        if (e.folder) return;
        ++files;
        // A file with its own password cannot be read without it: not checked, not called damaged.
        if (!fs->Directory().CheckPassword("\\" + e.path, password)) {
          ++locked;
          io.Out("LOCKED " + e.path + ": its own password is needed to check it\n");
          return;
        }
        std::string problem = RecordPages(*fs, e, owners);
        if (problem.empty()) problem = CheckFile(*fs, e, password);
        if (problem.empty()) return;
        damaged.insert(e.path);
        io.Out("DAMAGED " + e.path + ": " + problem + "\n");
      },
      [](const std::string&) {});  // reported with the directory's problems, not entered
  // Pages that fail their checksum: the file owning one is damaged even where its reading did not
  // touch the bad bytes; a page no file owns is reported by number.
  std::int64_t badPages = 0;
  for (std::int32_t p : BadPages(*fs)) {
    ++badPages;
    const auto owner = owners.find(p);
    if (owner == owners.end()) {
      io.Out("DAMAGED page " + std::to_string(p) + ": checksum or read error\n");
    } else if (damaged.insert(owner->second).second) {
      io.Out("DAMAGED " + owner->second + ": page " + std::to_string(p) + " fails its checksum\n");
    }
  }
  std::ostringstream summary;
  summary << files << " files checked, " << damaged.size() << " damaged, " << locked << " locked, " << badPages
          << " bad pages, " << lostPages << " lost pages\n";
  io.Out(summary.str());
  return damaged.empty() && locked == 0 && badPages == 0 && lostPages == 0 ? kCfsToolOk : kCfsToolFailed;
}
