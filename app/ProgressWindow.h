#pragma once
// The progress window of the packing run (form "Form3", class TForm3 in the designer; unit
// Unit3): borderless, centred on the main window, with the file being stored and two bars
// (current file, files done).
//
// Control names and their members:
//   pnl1 -> frame   lbl1 -> titleLabel   lbl2 -> fileLabel   pb1 -> fileBar   pb2 -> overallBar
#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/Form.h"

namespace tool {

class MainWindow;

class ProgressWindow : public ui::Form {
 public:
  ProgressWindow(ui::Application& app, MainWindow& mainForm);

  // Declaration order is creation order (and so the controls' identifiers).
  ui::Panel frame{*this, "pnl1"};
  ui::Label titleLabel{frame, "lbl1"};
  ui::Label fileLabel{frame, "lbl2"};
  ui::ProgressBar fileBar{frame, "pb1"};
  ui::ProgressBar overallBar{frame, "pb2"};
};

}  // namespace tool
