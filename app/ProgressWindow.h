#pragma once
// The progress window of the packing run: borderless, centred on the main window, with the
// file being stored and two bars (current file, files done).
#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/Form.h"

class TForm1;

class TForm3 : public ui::Form {
 public:
  TForm3(ui::Application& app, TForm1& mainForm);

  // Declaration order is creation order (and so the controls' identifiers).
  ui::Panel pnl1{*this, "pnl1"};
  ui::Label lbl1{pnl1, "lbl1"};
  ui::Label lbl2{pnl1, "lbl2"};
  ui::ProgressBar pb1{pnl1, "pb1"};
  ui::ProgressBar pb2{pnl1, "pb2"};
};
