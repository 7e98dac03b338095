#pragma once
// The selection window: the accounts of the game's "userdata" folder and the add-ons of its
// "interface" folder, each with a check box. Closing it hands the checked names to the main
// window.
#include <string>

#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/Form.h"
#include "ui/ListView.h"

class TForm1;

class TForm2 : public ui::Form {
 public:
  TForm2(ui::Application& app, TForm1& mainForm);

  // Declaration order is creation order (and so the controls' identifiers).
  ui::GroupBox grp1{*this, "grp1"};
  ui::Panel pnl1{grp1, "pnl1"};
  ui::LinkLabel nxlnklbl1{pnl1, "nxlnklbl1"};
  ui::LinkLabel nxlnklbl2{pnl1, "nxlnklbl2"};
  ui::LinkLabel nxlnklbl3{pnl1, "nxlnklbl3"};
  ui::ListView lv1{grp1, "lv1"};
  ui::GroupBox grp2{*this, "grp2"};
  ui::Panel pnl2{grp2, "pnl2"};
  ui::LinkLabel nxlnklbl4{pnl2, "nxlnklbl4"};
  ui::LinkLabel nxlnklbl5{pnl2, "nxlnklbl5"};
  ui::LinkLabel nxlnklbl6{pnl2, "nxlnklbl6"};
  ui::ListView lv2{grp2, "lv2"};

  // Fills both lists from the main window's GamePath, checks every row and shows the window
  // modally; returns when it is closed.
  void FillLists();
  // Display name of an add-on from its "info.ini".
  std::string GetAddonName(const std::string& infoPath, const std::string& folderName) const;
  // Mode 0 checks every row, 1 clears every row, 2 inverts every row; others do nothing.
  void SetChecks(ui::ListView& list, int mode);

  void nxlnklbl1Click() { SetChecks(lv1, 0); }
  void nxlnklbl2Click() { SetChecks(lv1, 1); }
  void nxlnklbl3Click() { SetChecks(lv1, 2); }
  void nxlnklbl4Click() { SetChecks(lv2, 0); }
  void nxlnklbl5Click() { SetChecks(lv2, 1); }
  void nxlnklbl6Click() { SetChecks(lv2, 2); }
  void FormClose(ui::CloseAction& action);

 private:
  TForm1& main_;
};
