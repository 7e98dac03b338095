#pragma once
// The zip writer's link to the windows: it lets queued window messages through while it works
// and shows its boxes owned by the main window.
#include "ui/Application.h"
#include "zip/ZipHost.h"

class TAppZipHost : public TZipMessageHost {
 public:
  TAppZipHost(ui::Application& app, ui::Form* owner) : app_(app), owner_(owner) {}
  void ProcessMessages() override { app_.ProcessMessages(); }
  int ShowMessage(const std::string& text, const std::string& caption, unsigned) override {
    app_.ShowMessageBox(owner_, text, caption, ui::MessageIcon::Information);
    return 1;
  }

 private:
  ui::Application& app_;
  ui::Form* owner_;
};
