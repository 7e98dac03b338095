// The message dialog (any buttons, including Yes/No/All) and the input dialog, built from the
// framework's own forms.
#include <algorithm>
#include <memory>
#include <vector>

#include "ui/Controls.h"
#include "ui/win32/Win32Internal.h"

namespace ui::win32 {

namespace {

constexpr int kMargin = 12;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 8;

std::string CaptionFor(MessageIcon icon, const Application& app) {
  switch (icon) {
    case MessageIcon::Error: return Narrow(L"错误");
    case MessageIcon::Warning: return Narrow(L"警告");
    case MessageIcon::Information: return Narrow(L"信息");
    case MessageIcon::Question: return Narrow(L"确认");
    case MessageIcon::None: break;
  }
  return app.Title();
}

struct ButtonSpec {
  const wchar_t* caption;
  ModalResult result;
};

std::vector<ButtonSpec> ButtonsFor(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::OkCancel: return {{L"OK", ModalResult::Ok}, {L"Cancel", ModalResult::Cancel}};
    case MessageButtons::YesNo: return {{L"&Yes", ModalResult::Yes}, {L"&No", ModalResult::No}};
    case MessageButtons::YesNoCancel:
      return {{L"&Yes", ModalResult::Yes}, {L"&No", ModalResult::No}, {L"Cancel", ModalResult::Cancel}};
    case MessageButtons::YesNoAll:
      return {{L"&Yes", ModalResult::Yes}, {L"&No", ModalResult::No}, {L"&All", ModalResult::All}};
    case MessageButtons::Ok: break;
  }
  return {{L"OK", ModalResult::Ok}};
}

void UseOwnerLook(Form& form, Form* owner) {
  form.SetBorderStyle(BorderStyle::SystemMenu);
  form.SetPosition(FormPosition::CenterOnForm);
  form.SetCenterOn(owner);
  if (owner) form.SetFont(owner->FontName(), owner->FontSize());
}

}  // namespace

ModalResult RunMessageDialogForm(Application& app, Form* owner, const MessageRequest& request) {
  Form form(app, "MessageDialog");
  form.SetCaption(request.caption.empty() ? CaptionFor(request.icon, app) : request.caption);
  UseOwnerLook(form, owner);
  Image icon(form, "icon");
  Label text(form, "text");
  std::vector<std::unique_ptr<Button>> buttons;
  for (const ButtonSpec& spec : ButtonsFor(request.buttons)) {
    auto button = std::make_unique<Button>(form, "button");
    button->SetText(Narrow(spec.caption));
    button->SetModalResult(spec.result);
    // Esc answers Cancel, or No where there is no Cancel.
    if (spec.result == ModalResult::Cancel ||
        (spec.result == ModalResult::No && !form.CancelButton()))
      form.SetCancelButton(button.get());
    buttons.push_back(std::move(button));
  }
  form.SetDefaultButton(buttons.front().get());
  form.Realize();  // the font is needed to measure the text

  int iconSpace = request.icon == MessageIcon::None ? 0 : 32 + kMargin;
  Size size = app.GetBackend().MeasureText(form, request.text, 420);
  int textHeight = std::max(size.height, iconSpace ? 32 : 0);
  int rowWidth = static_cast<int>(buttons.size()) * (kButtonWidth + kButtonGap) - kButtonGap;
  int width = std::max(kMargin + iconSpace + size.width + kMargin, rowWidth + 2 * kMargin);
  int buttonsTop = kMargin + textHeight + kMargin + 4;
  form.SetClientSize(width, buttonsTop + kButtonHeight + kMargin);

  icon.SetIcon(request.icon);
  icon.SetBounds(kMargin, kMargin, 32, 32);
  icon.SetVisible(iconSpace > 0);
  text.SetBounds(kMargin + iconSpace, kMargin + (textHeight - size.height) / 2, size.width, size.height);
  text.SetText(request.text);
  int left = (width - rowWidth) / 2;
  for (auto& button : buttons) {
    button->SetBounds(left, buttonsTop, kButtonWidth, kButtonHeight);
    left += kButtonWidth + kButtonGap;
  }
  form.OnShow = [&] {
    if (HWND first = HandleOf(buttons.front().get())) SetFocus(first);
  };
  ModalResult result = form.ShowModal();
  return result == ModalResult::None ? ModalResult::Cancel : result;
}

bool RunInputDialogForm(Application& app, Form* owner, const InputRequest& request,
                        std::string& value, bool& exact) {
  Form form(app, "InputDialog");
  form.SetCaption(request.caption);
  UseOwnerLook(form, owner);
  Label prompt(form, "prompt");
  Edit edit(form, "edit");
  Button ok(form, "ok"), cancel(form, "cancel");
  ok.SetText("OK");
  ok.SetModalResult(ModalResult::Ok);
  cancel.SetText("Cancel");
  cancel.SetModalResult(ModalResult::Cancel);
  form.SetDefaultButton(&ok);
  form.SetCancelButton(&cancel);
  form.Realize();

  constexpr int kWidth = 260;
  Size size = app.GetBackend().MeasureText(form, request.prompt, kWidth - 2 * kMargin);
  prompt.SetBounds(kMargin, kMargin, kWidth - 2 * kMargin, std::max(size.height, 13));
  prompt.SetText(request.prompt);
  int editTop = prompt.Bounds().Bottom() + 6;
  edit.SetBounds(kMargin, editTop, kWidth - 2 * kMargin, 21);
  edit.SetText(value);
  int buttonsTop = editTop + 21 + kMargin;
  int left = (kWidth - 2 * kButtonWidth - kButtonGap) / 2;
  ok.SetBounds(left, buttonsTop, kButtonWidth, kButtonHeight);
  cancel.SetBounds(left + kButtonWidth + kButtonGap, buttonsTop, kButtonWidth, kButtonHeight);
  form.SetClientSize(kWidth, buttonsTop + kButtonHeight + kMargin);
  form.OnShow = [&] {
    if (HWND hwnd = HandleOf(&edit)) {
      SetFocus(hwnd);
      SendMessageW(hwnd, EM_SETSEL, 0, -1);
    }
  };
  if (form.ShowModal() != ModalResult::Ok) return false;
  value = edit.Text();
  exact = edit.TextExact();
  return true;
}

}  // namespace ui::win32
