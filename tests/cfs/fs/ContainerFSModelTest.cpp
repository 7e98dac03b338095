// Random operations on many stored files, checked against an in-memory model, with the
// container closed and reopened at random points and its page ownership checked throughout.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "tests/cfs/fs/FSTestUtil.h"

using namespace storagetest;
using namespace fstest;

namespace {

constexpr std::int64_t kMaxSize = 300 * 1024;

struct OpenFile {
  std::int32_t handle;
  std::string name;
  std::int64_t position;
};

class ModelRun {
 public:
  ModelRun(std::string container, std::string password, std::uint32_t seed)
      : container_(std::move(container)), password_(std::move(password)), rng_(seed) {
    fs_ = std::make_unique<TContainerFS>(container_, kModeCreate, password_, "", "", 0);
    fs_->Directory().CreateDir("sub");
  }

  void Run(int operations) {
    for (int op = 0; op < operations && !::testing::Test::HasFailure(); ++op) Step(op);
    open_.clear();
    CheckAll("end");
  }

 private:
  std::int64_t Rand(std::int64_t lo, std::int64_t hi) { return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng_); }
  std::string RandomName() {
    const auto i = Rand(0, 29);
    return (i % 5 == 0 ? "sub\\f" : "f") + std::to_string(i);
  }
  bool IsOpen(const std::string& name) const {
    for (const auto& o : open_)
      if (o.name == name) return true;
    return false;
  }
  // A file password for some names, so their pages use a key of their own.
  std::string FilePassword(const std::string& name) const { return name.back() == '7' ? "pw-" + name : ""; }

  void Step(int op) {
    const auto kind = Rand(0, 99);
    if (kind < 8) {  // create, or replace a closed file
      const std::string name = RandomName();
      const std::int32_t r = fs_->FileCreate(name, FilePassword(name), "", "");
      if (IsOpen(name)) {
        ASSERT_EQ(r, -16) << op;
      } else {
        ASSERT_GE(r, 0) << op;
        files_[name].clear();
      }
    } else if (kind < 20) {  // open
      const std::string name = RandomName();
      if (open_.size() >= 6) return;
      const std::int32_t h = fs_->FileOpen(name, 2, FilePassword(name), "", "");
      if (!files_.count(name)) {
        ASSERT_EQ(h, -1) << op;
        return;
      }
      ASSERT_GT(h, lastHandle_) << op;
      lastHandle_ = h;
      open_.push_back({h, name, 0});
    } else if (kind < 28) {  // close
      if (open_.empty()) return;
      const auto i = static_cast<std::size_t>(Rand(0, std::int64_t(open_.size()) - 1));
      fs_->FileClose(open_[i].handle);
      open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(i));
    } else if (kind < 58) {  // write, sometimes after a seek past the end
      if (open_.empty()) return;
      OpenFile& o = open_[static_cast<std::size_t>(Rand(0, std::int64_t(open_.size()) - 1))];
      Bytes& model = files_[o.name];
      if (Rand(0, 2) == 0) o.position = Rand(0, std::int64_t(model.size()) + 9000);
      ASSERT_EQ(fs_->FileSeek(o.handle, 0, o.position), o.position);
      const std::int64_t room = kMaxSize - o.position;
      if (room <= 0) return;
      const auto len = static_cast<std::int32_t>(Rand(1, std::min<std::int64_t>(room, Rand(0, 1) ? 300 : 40000)));
      const Bytes data = Pattern(static_cast<std::size_t>(len), static_cast<std::uint32_t>(op));
      ASSERT_EQ(fs_->FileWrite(o.handle, data.data(), len), len) << op << " " << o.name << " LastError " << fs_->LastError();
      if (std::int64_t(model.size()) < o.position + len) model.resize(static_cast<std::size_t>(o.position + len), 0);
      std::copy(data.begin(), data.end(), model.begin() + o.position);
      o.position += len;
    } else if (kind < 78) {  // read
      if (open_.empty()) return;
      OpenFile& o = open_[static_cast<std::size_t>(Rand(0, std::int64_t(open_.size()) - 1))];
      const Bytes& model = files_[o.name];
      o.position = Rand(0, std::int64_t(model.size()) + 100);
      ASSERT_EQ(fs_->FileSeek(o.handle, 0, o.position), o.position);
      const auto len = static_cast<std::int32_t>(Rand(1, 20000));
      Bytes got(static_cast<std::size_t>(len));
      const std::int64_t want = std::max<std::int64_t>(0, std::min<std::int64_t>(len, std::int64_t(model.size()) - o.position));
      ASSERT_EQ(fs_->FileRead(o.handle, got.data(), len), want) << op;
      ASSERT_TRUE(std::equal(got.begin(), got.begin() + want, model.begin() + std::min<std::int64_t>(o.position, model.size()))) << op;
      o.position += want;
    } else if (kind < 88) {  // truncate or extend
      if (open_.empty()) return;
      OpenFile& o = open_[static_cast<std::size_t>(Rand(0, std::int64_t(open_.size()) - 1))];
      Bytes& model = files_[o.name];
      const std::int64_t size = Rand(0, 3) == 0 ? 0 : Rand(0, std::min<std::int64_t>(kMaxSize, model.size() + 20000));
      ASSERT_EQ(fs_->FileSetSize(o.handle, size), size) << op;
      model.resize(static_cast<std::size_t>(size), 0);
      o.position = size;
    } else if (kind < 97) {  // delete
      const std::string name = RandomName();
      const bool deleted = fs_->DeleteFile(name);
      ASSERT_EQ(deleted, files_.count(name) > 0 && !IsOpen(name)) << op << " " << name;
      if (deleted) files_.erase(name);
    } else {  // close the container and open it again
      open_.clear();
      fs_.reset();
      lastHandle_ = -1;  // numbers start again with a new facade
      fs_ = std::make_unique<TContainerFS>(container_, 2, password_, "", "", 0);
      CheckAll("reopen at " + std::to_string(op));
    }
  }

  void CheckAll(const std::string& when) {
    SCOPED_TRACE(when);
    ExpectPagesConsistent(*fs_);
    for (const auto& [name, model] : files_) {
      const Bytes got = ReadWhole(*fs_, name, FilePassword(name));
      ASSERT_EQ(got.size(), model.size()) << name;
      const auto diff = std::mismatch(got.begin(), got.end(), model.begin());
      ASSERT_TRUE(diff.first == got.end()) << name << " differs from byte " << (diff.first - got.begin());
    }
  }

  std::string container_;
  std::string password_;
  std::mt19937 rng_;
  std::unique_ptr<TContainerFS> fs_;
  std::map<std::string, Bytes> files_;
  std::vector<OpenFile> open_;
  std::int32_t lastHandle_ = -1;
};

}  // namespace

TEST(ContainerFSModel, RandomOperationsMatchTheModel) {
  ScratchDir tmp;
  ModelRun(tmp / "plain.cfs", "", 20261207).Run(2500);
}

TEST(ContainerFSModel, RandomOperationsInAnEncryptedContainer) {
  ScratchDir tmp;
  ModelRun(tmp / "locked.cfs", "container pw", 77).Run(1500);
}
