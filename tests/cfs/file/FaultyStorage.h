#pragma once
// Storage files that fail on purpose: a disk file wrapped so that writes stop at a size limit
// (a full disk), a write or read touching a chosen offset fails, or SetSize fails. The faults are
// shared by every part file of the factory and can be armed or disarmed at any time.
#include <memory>
#include <string>

#include "cfs/file/CFSDiskFile.h"
#include "cfs/file/CFSStorageFactory.h"
#include "platform/Exception.h"

namespace storagetest {

struct StorageFaults {
  // A full disk: nothing is stored at or beyond this offset of a file. A write reaching it stores
  // what fits and reports the short count; growing a file beyond it raises. -1: no limit.
  std::int64_t sizeLimit = -1;
  // A write covering this file offset fails whole (nothing stored). -1: never.
  std::int64_t failWriteAt = -1;
  // A read covering this file offset fails whole. -1: never.
  std::int64_t failReadAt = -1;
  // Every SetSize raises.
  bool failSetSize = false;
  // Faults hit so far, so that a test knows its fault was reached.
  int hits = 0;

  void Disarm() { *this = StorageFaults{.hits = hits}; }
};

class FaultyFile : public TCFSAbstractFile {
 public:
  FaultyFile(std::unique_ptr<TCFSAbstractFile> inner, std::shared_ptr<StorageFaults> faults)
      : TCFSAbstractFile(inner->GetFileName(), inner->GetReadOnly(), inner->GetExclusive()),
        inner_(std::move(inner)), faults_(std::move(faults)) {}

  void SetExclusive(bool value) override {
    inner_->SetExclusive(value);
    Exclusive = value;
  }
  void SetReadOnly(bool value) override {
    inner_->SetReadOnly(value);
    ReadOnly = value;
  }
  void SetSize(std::int64_t newSize) override {
    const StorageFaults& f = *faults_;
    if (f.failSetSize || (f.sizeLimit >= 0 && newSize > f.sizeLimit && newSize > inner_->GetSize())) {
      ++faults_->hits;
      throw Exception("There is not enough space on the disk.");
    }
    inner_->SetSize(newSize);
  }
  void Close() override { inner_->Close(); }
  void Flush() override { inner_->Flush(); }
  bool Open(bool createNew) override { return inner_->Open(createNew); }
  std::string OpenErrorText() const override { return inner_->OpenErrorText(); }
  std::int64_t Seek(std::int64_t offset, std::uint16_t origin) override { return inner_->Seek(offset, origin); }

  std::int32_t Read(void* buffer, std::int32_t count) override {
    return ReadFails(inner_->Seek(0, 1), count) ? 0 : inner_->Read(buffer, count);
  }
  std::int32_t ReadAt(std::int64_t pos, void* buffer, std::int32_t count) override {
    return ReadFails(pos, count) ? 0 : inner_->ReadAt(pos, buffer, count);
  }
  std::int32_t Write(const void* buffer, std::int32_t count) override {
    if (count <= 0) return inner_->Write(buffer, count);
    const std::int32_t allowed = Writable(inner_->Seek(0, 1), count);
    return allowed > 0 ? inner_->Write(buffer, allowed) : 0;
  }
  std::int32_t WriteAt(std::int64_t pos, const void* buffer, std::int32_t count) override {
    const std::int32_t allowed = count > 0 ? Writable(pos, count) : count;
    return allowed > 0 ? inner_->WriteAt(pos, buffer, allowed) : 0;
  }

 private:
  static bool Covers(std::int64_t at, std::int64_t pos, std::int32_t count) {
    return at >= 0 && pos <= at && at < pos + count;
  }
  bool ReadFails(std::int64_t pos, std::int32_t count) {
    if (count <= 0 || !Covers(faults_->failReadAt, pos, count)) return false;
    ++faults_->hits;
    return true;
  }
  // How many of count bytes at pos may be stored.
  std::int32_t Writable(std::int64_t pos, std::int32_t count) {
    StorageFaults& f = *faults_;
    if (Covers(f.failWriteAt, pos, count)) {
      ++f.hits;
      return 0;
    }
    if (f.sizeLimit >= 0 && pos + count > f.sizeLimit) {
      ++f.hits;
      return pos >= f.sizeLimit ? 0 : static_cast<std::int32_t>(f.sizeLimit - pos);
    }
    return count;
  }

  std::unique_ptr<TCFSAbstractFile> inner_;
  std::shared_ptr<StorageFaults> faults_;
};

// Disk part files behind FaultyFile, all sharing faults.
inline TCFSStorageFactory FaultyDisk(std::shared_ptr<StorageFaults> faults) {
  return {[faults](const std::string& name, bool readOnly, bool exclusive) -> std::unique_ptr<TCFSAbstractFile> {
            return std::make_unique<FaultyFile>(std::make_unique<TCFSDiskFile>(name, readOnly, exclusive), faults);
          },
          false};
}

}  // namespace storagetest
