#include "ui/Application.h"

namespace ui {

Application::Application(std::unique_ptr<Backend> backend) : backend_(std::move(backend)) {
  backend_->Attach(*this);
}

Application::~Application() {
  // Later forms may refer to earlier ones: release them in reverse order of creation.
  while (!forms_.empty()) forms_.pop_back();
}

void Application::Run() {
  if (mainForm_ && !terminated_) Dispatch([this] { mainForm_->ShowForm(); });
  if (!terminated_) backend_->RunLoop();
}

void Application::Terminate() {
  terminated_ = true;
  backend_->Quit();
}

void Application::ProcessMessages() { backend_->ProcessMessages(); }

ModalResult Application::ShowMessageBox(Form* owner, const std::string& text,
                                        const std::string& caption, MessageIcon icon,
                                        MessageButtons buttons) {
  return backend_->ShowMessageBox(owner ? owner : ActiveForm(), {text, caption, icon, buttons});
}

ModalResult Application::ShowMessageDialog(const std::string& text, MessageIcon icon,
                                           MessageButtons buttons, Form* owner) {
  // The backend titles the dialog after its kind.
  return backend_->ShowMessageDialog(owner ? owner : ActiveForm(), {text, {}, icon, buttons});
}

bool Application::InputQuery(const std::string& caption, const std::string& prompt,
                             std::string& value, bool* exact) {
  bool entryExact = true;
  const bool confirmed = backend_->ShowInputDialog(ActiveForm(), {caption, prompt}, value, entryExact);
  if (exact) *exact = entryExact;
  return confirmed;
}

void Application::Dispatch(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ShowError(e.what());
  } catch (...) {
    ShowError("Unknown error.");
  }
}

void Application::ShowError(const std::string& message) {
  ShowMessageBox(ActiveForm(), message, title_, MessageIcon::Error, MessageButtons::Ok);
}

Form* Application::ActiveForm() const {
  return modalStack_.empty() ? mainForm_ : modalStack_.back();
}

}  // namespace ui
