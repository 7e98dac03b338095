#pragma once
// A top-level window: caption, border, size, font, placement, modal and non-modal showing.
#include <functional>
#include <string>
#include <vector>

#include "ui/Control.h"

namespace ui {

class Application;
class Button;
class Timer;

class Form : public Container {
 public:
  explicit Form(Application& app, std::string name = {});
  ~Form() override;

  Application& App() const { return app_; }

  const std::string& Caption() const { return Text(); }
  void SetCaption(const std::string& caption) { SetText(caption); }

  BorderStyle GetBorderStyle() const { return border_; }
  void SetBorderStyle(BorderStyle style);
  Insets FrameInsets() const;

  // Width and Height (from Control) are the outer size; these the client area.
  int ClientWidth() const;
  int ClientHeight() const;
  void SetClientSize(int width, int height);
  Rect ClientArea() const override { return {0, 0, ClientWidth(), ClientHeight()}; }

  FormPosition Position() const { return position_; }
  void SetPosition(FormPosition position) { position_ = position; }
  // The form to centre on for FormPosition::CenterOnForm.
  void SetCenterOn(Form* form) { centerOn_ = form; }
  // Screen position of the client area's origin.
  Rect ScreenClientRect() const;

  const std::string& FontName() const { return fontName_; }
  int FontSize() const { return fontSize_; }
  void SetFont(const std::string& name, int pointSize);

  std::function<void()> OnCreate;
  std::function<void()> OnShow;
  std::function<void(CloseAction&)> OnClose;

  // Realises the form if needed, places it on its first showing and makes it visible.
  void ShowForm();
  void HideForm() { SetVisible(false); }
  // Shows the form and runs a nested loop until it is closed or a modal result is set.
  ModalResult ShowModal();
  bool IsModal() const { return modal_; }
  ModalResult GetModalResult() const { return modalResult_; }
  void SetModalResult(ModalResult result) { modalResult_ = result; }
  // Asks OnClose, then hides the form, ends its modal loop, or (main form) ends the program.
  void Close();

  // Creates the peers of the form and of every control that has none yet.
  void Realize();
  bool Realized() const { return GetPeer() != nullptr; }

  // Controls in creation order; a control's Id() is 1000 + its index here.
  const std::vector<Control*>& Controls() const { return controls_; }
  Control* FindControl(const std::string& name) const;

  Button* DefaultButton() const { return defaultButton_; }
  Button* CancelButton() const { return cancelButton_; }
  void SetDefaultButton(Button* button) { defaultButton_ = button; }
  void SetCancelButton(Button* button) { cancelButton_ = button; }

  void BringToFront() { Notify(Change::BringToFront); }
  void StartMoveByCaption() { Notify(Change::MoveByCaption); }

  // Fired by Application::CreateForm.
  void FireCreate() { if (OnCreate) OnCreate(); }

 protected:
  void VisibilityChanged() override;

 private:
  friend class Control;
  int Register(Control* control);
  void Unregister(Control* control);
  void PlaceForShowing();

  Application& app_;
  BorderStyle border_ = BorderStyle::Normal;
  FormPosition position_ = FormPosition::Designed;
  Form* centerOn_ = nullptr;
  std::string fontName_ = "MS Sans Serif";
  int fontSize_ = 8;
  bool modal_ = false;
  bool placed_ = false;
  ModalResult modalResult_ = ModalResult::None;
  std::vector<Control*> controls_;
  Button* defaultButton_ = nullptr;
  Button* cancelButton_ = nullptr;
};

}  // namespace ui
