#include "zip/ZipReader.h"

#include "zip/WideText.h"

TZipReader::TZipReader() = default;

void TZipReader::SetZipName(const std::u16string& name) {
  if (!name.empty() && name.back() == u'?') {
    std::u16string dir = ziptext::ExtractFilePath(name.substr(0, name.size() - 1));
    if (dir.empty()) dir = u"C:\\";
    std::u16string chosen;
    if (!Host().OpenFileDialog(u"Open a Zip File",
                               u"Zip Files (*.ZIP)|*.zip|SFX Files (*.EXE)|*.exe|Jar Files (*.JAR)|*.jar|All Files (*.*)|*.*",
                               dir, chosen)) {
      throw EUserCanceled(zipmsg::kUserCanceledName);
    }
    SetZipName(chosen);
    return;
  }
  if (ziptext::SameText(name, zipName_)) return;
  zipName_ = name;
  contents_.clear();
  endCentral_ = TEndCentral{};
  endCentralChanged_ = false;
}

void TZipReader::SetRootDir(const std::u16string& dir) {
  rootDir_ = dir.empty() ? dir : ziptext::IncludeTrailingBackslash(dir);
  RelativePathList.Clear();
  if (!rootDir_.empty()) RelativePathList.Add(rootDir_);
}

void TZipReader::SetZipComment(const std::string& comment) {
  endCentral_.ZipComment = comment;
  endCentralChanged_ = true;
}

void TZipReader::PumpMessages() {
  Host().ProcessMessages();
  for (;;) {
    if (cancel_) {
      cancel_ = false;
      throw EUserCanceled(zipmsg::kUserAborted);
    }
    if (!pause_) return;
    Host().Sleep(1000);
    Host().ProcessMessages();
  }
}

int TZipReader::HandleMessage(int id, const std::string& text, const std::string& caption, unsigned flags) {
  int result = 1;
  if (OnHandleMessage) {
    OnHandleMessage(this, id, text, caption, flags, result);
    return result;
  }
  return Host().ShowMessage(text, caption, flags);
}
