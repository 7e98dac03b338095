#include "cfs/fs/CFSFileStream.h"

#include "platform/Exception.h"

TCFSFileStream::TCFSFileStream(TContainerFS* system, const std::string& fileName, std::uint16_t mode,
                               const std::string& password, const std::string& question, const std::string& answer,
                               std::uint8_t method, const TCFSStreamProgressEvent& onProgress)
    : OnProgress(onProgress), mode_(mode), fileName_(fileName), password_(password), readOnly_((mode & 3) == 0) {
  if (mode == kModeCreate) {
    readOnly_ = false;
    inner_ = std::make_unique<TCFSAdvancedFileStream>(system, fileName, mode, password, question, answer, method);
  } else {
    inner_ = std::make_unique<TCFSAdvancedFileStream>(system, fileName, mode, password, "", "", 0);
  }
  inner_->OnProgress = OnProgress;
}

std::int32_t TCFSFileStream::Write(const void* buffer, std::int32_t count) {
  if (readOnly_) throw Exception("TCFSFileStream.Write - file is in read only mode.");
  inner_->OnProgress = OnProgress;
  return inner_->Write(buffer, count);
}

std::int32_t TCFSFileStream::Read(void* buffer, std::int32_t count) {
  inner_->OnProgress = OnProgress;
  return inner_->Read(buffer, count);
}

std::int64_t TCFSFileStream::Seek(std::int64_t offset, int origin) { return inner_->Seek(offset, origin); }

std::int64_t TCFSFileStream::GetSize() { return inner_->GetSize(); }

void TCFSFileStream::SetSize(std::int64_t newSize) {
  if (readOnly_) throw Exception("TCFSFileStream.SetSize - file is in read only mode.");
  inner_->SetSize(newSize);
}

std::int64_t TCFSFileStream::SaveToFile(const std::string& fileName, const TDiskFileStamp& stamp) {
  inner_->OnProgress = OnProgress;
  return inner_->SaveToFile(fileName, stamp);
}

void TCFSFileStream::LoadFromFile(const std::string& fileName) {
  inner_->OnProgress = OnProgress;
  inner_->LoadFromFile(fileName);
}

void TCFSFileStream::LoadFromFile(TStream& file) {
  inner_->OnProgress = OnProgress;
  inner_->LoadFromStream(file);
}

TDiskFileStamp TCFSFileStream::LoadFromFile(const std::string& diskPath, TImportAhead& ahead, std::size_t index) {
  inner_->OnProgress = OnProgress;
  if (inner_->CanLoadFromAhead(ahead)) return inner_->LoadFromAhead(ahead, index);
  inner_->LoadFromFile(diskPath);
  return {};
}

std::int64_t TCFSFileStream::SaveToFile(const std::string& fileName, TExportAhead& ahead, std::size_t index,
                                       const TDiskFileStamp& stamp) {
  inner_->OnProgress = OnProgress;
  return inner_->SaveToFile(fileName, ahead, index, stamp);
}
