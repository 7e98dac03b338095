#pragma once
// The selection window (form "Form2", class TForm2 in the designer; unit Unit2): the accounts of
// the game's "userdata" folder and the add-ons of its "interface" folder, each with a check box.
// Closing it hands the checked names to the main window.
//
// Control names and their members:
//   grp1 -> accountsGroup    pnl1 -> accountsLinks    lv1 -> accountsList
//   nxlnklbl1 -> checkAllAccounts   nxlnklbl2 -> clearAccounts   nxlnklbl3 -> invertAccounts
//   grp2 -> addonsGroup      pnl2 -> addonsLinks      lv2 -> addonsList
//   nxlnklbl4 -> checkAllAddons     nxlnklbl5 -> clearAddons     nxlnklbl6 -> invertAddons
#include <string>

#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/Form.h"
#include "ui/ListView.h"

namespace tool {

class MainWindow;

// What the three links above each list do to its check boxes.
enum class CheckAction { CheckAll, ClearAll, Invert };

class SelectionWindow : public ui::Form {
 public:
  SelectionWindow(ui::Application& app, MainWindow& mainForm);

  // Declaration order is creation order (and so the controls' identifiers).
  ui::GroupBox accountsGroup{*this, "grp1"};
  ui::Panel accountsLinks{accountsGroup, "pnl1"};
  ui::LinkLabel checkAllAccounts{accountsLinks, "nxlnklbl1"};
  ui::LinkLabel clearAccounts{accountsLinks, "nxlnklbl2"};
  ui::LinkLabel invertAccounts{accountsLinks, "nxlnklbl3"};
  ui::ListView accountsList{accountsGroup, "lv1"};
  ui::GroupBox addonsGroup{*this, "grp2"};
  ui::Panel addonsLinks{addonsGroup, "pnl2"};
  ui::LinkLabel checkAllAddons{addonsLinks, "nxlnklbl4"};
  ui::LinkLabel clearAddons{addonsLinks, "nxlnklbl5"};
  ui::LinkLabel invertAddons{addonsLinks, "nxlnklbl6"};
  ui::ListView addonsList{addonsGroup, "lv2"};

  // Fills both lists from the main window's gamePath, checks every row and shows the window
  // modally; returns when it is closed.
  void FillLists();
  // Display name of an add-on from its "info.ini".
  std::string GetAddonName(const std::string& infoPath, const std::string& folderName) const;
  void SetChecks(ui::ListView& list, CheckAction action);
  // On closing: the checked names go to the main window, which counts them.
  void HandOverChoices(ui::CloseAction& action);

 private:
  MainWindow& main_;
};

}  // namespace tool
