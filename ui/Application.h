#pragma once
// The application: owns the backend and the forms, runs the message loop, shows message boxes
// and dialogs, and reports errors that escape event handlers.
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/Backend.h"
#include "ui/Form.h"

namespace ui {

class Application {
 public:
  explicit Application(std::unique_ptr<Backend> backend);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  Backend& GetBackend() const { return *backend_; }

  // Constructs a form owned by the application (the first one becomes the main form),
  // realises it and runs its OnCreate handler.
  template <class F, class... Args>
  F& CreateForm(Args&&... args) {
    auto form = std::make_unique<F>(*this, std::forward<Args>(args)...);
    F& ref = *form;
    forms_.push_back(std::move(form));
    if (!mainForm_) mainForm_ = &ref;
    ref.Realize();
    Dispatch([&ref] { ref.FireCreate(); });
    return ref;
  }
  Form* MainForm() const { return mainForm_; }
  const std::vector<std::unique_ptr<Form>>& Forms() const { return forms_; }

  // Shows the main form and runs the message loop until Terminate.
  void Run();
  void Terminate();
  bool Terminated() const { return terminated_; }
  void ProcessMessages();

  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title) { title_ = title; }

  ModalResult ShowMessageBox(Form* owner, const std::string& text, const std::string& caption,
                             MessageIcon icon, MessageButtons buttons = MessageButtons::Ok);
  // A message dialog titled after its kind (icon), with the given buttons.
  ModalResult ShowMessageDialog(const std::string& text, MessageIcon icon, MessageButtons buttons,
                                Form* owner = nullptr);
  // The input dialog: true when confirmed; `value` is the initial text and the entry.
  // `exact` (when given) receives whether code page 936 holds every character of the entry.
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value,
                  bool* exact = nullptr);

  // Runs an event handler; an error escaping it is shown by ShowError and swallowed, as the
  // message loop does for every handler it calls.
  void Dispatch(const std::function<void()>& handler);
  // The default error report: a message box with the error's text, owned by the active form.
  void ShowError(const std::string& message);

  // The form that is shown modally at the innermost level, else the main form.
  Form* ActiveForm() const;
  void PushModal(Form* form) { modalStack_.push_back(form); }
  void PopModal() { if (!modalStack_.empty()) modalStack_.pop_back(); }

 private:
  std::unique_ptr<Backend> backend_;
  std::vector<std::unique_ptr<Form>> forms_;
  std::vector<Form*> modalStack_;
  Form* mainForm_ = nullptr;
  bool terminated_ = false;
  std::string title_;
};

}  // namespace ui
