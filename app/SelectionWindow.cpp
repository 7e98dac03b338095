#include "app/SelectionWindow.h"

#include <vector>

#include "app/MainWindow.h"
#include "backup/GameEntries.h"
#include "gamedir/Cp936Text.h"
#include "platform/FileSystem.h"
#include "platform/Ini.h"

namespace tool {

namespace {

// The three link labels above a list, at the same places in both group boxes.
void PlaceLinks(ui::LinkLabel& all, ui::LinkLabel& none, ui::LinkLabel& invert) {
  const int lefts[] = {13, 77, 141};
  ui::LinkLabel* links[] = {&all, &none, &invert};
  const char* texts[] = {"全选", "清空", "反选"};
  for (int i = 0; i < 3; ++i) {
    links[i]->SetBounds(lefts[i], 6, 24, 13);
    links[i]->SetText(Cp936(texts[i]));
  }
}

void SetUpList(ui::ListView& list) {
  list.SetStyle(true, true, true);
  list.SetAlign(ui::Align::Client);
}

}  // namespace

SelectionWindow::SelectionWindow(ui::Application& app, MainWindow& mainForm) : ui::Form(app, "Form2"), main_(mainForm) {
  SetCaption(Cp936("备份选择(选好后直接关闭，如果全部备份，直接关闭就好了)"));
  SetBorderStyle(ui::BorderStyle::SystemMenu);
  SetPosition(ui::FormPosition::CenterOnForm);
  SetCenterOn(&mainForm);
  SetFont("MS Sans Serif", 8);
  SetBounds(0, 0, 583, 542);

  accountsGroup.SetText(Cp936("选择要打包的帐号"));
  accountsGroup.SetWidth(233);
  accountsGroup.SetAlign(ui::Align::Left);
  accountsLinks.SetHeight(24);
  accountsLinks.SetAlign(ui::Align::Top);
  PlaceLinks(checkAllAccounts, clearAccounts, invertAccounts);
  SetUpList(accountsList);
  accountsList.AddColumn(Cp936("名称"), 150);
  accountsList.AddColumn(Cp936("类型"));

  addonsGroup.SetText(Cp936("选择要打包的插件"));
  addonsGroup.SetAlign(ui::Align::Client);
  addonsLinks.SetHeight(24);
  addonsLinks.SetAlign(ui::Align::Top);
  PlaceLinks(checkAllAddons, clearAddons, invertAddons);
  SetUpList(addonsList);
  addonsList.AddColumn(Cp936("插件目录"), 130);
  addonsList.AddColumn(Cp936("插件名称"), 160);

  checkAllAccounts.OnClick = [this] { SetChecks(accountsList, CheckAction::CheckAll); };
  clearAccounts.OnClick = [this] { SetChecks(accountsList, CheckAction::ClearAll); };
  invertAccounts.OnClick = [this] { SetChecks(accountsList, CheckAction::Invert); };
  checkAllAddons.OnClick = [this] { SetChecks(addonsList, CheckAction::CheckAll); };
  clearAddons.OnClick = [this] { SetChecks(addonsList, CheckAction::ClearAll); };
  invertAddons.OnClick = [this] { SetChecks(addonsList, CheckAction::Invert); };
  OnClose = [this](ui::CloseAction& action) { HandOverChoices(action); };
}

void SelectionWindow::FillLists() {
  accountsList.Clear();
  addonsList.Clear();
  const std::string& game = main_.gamePath;
  const std::string folder = Cp936("目录"), file = Cp936("文件");
  for (const TGameEntry& entry : ListAccountEntries(game)) accountsList.AddItem(entry.name, {entry.folder ? folder : file});
  for (const std::string& name : ListAddonFolders(game))
    addonsList.AddItem(name, {GetAddonName(game + "interface\\" + name + "\\info.ini", name)});

  SetChecks(accountsList, CheckAction::CheckAll);
  SetChecks(addonsList, CheckAction::CheckAll);
  ShowModal();
}

std::string SelectionWindow::GetAddonName(const std::string& infoPath, const std::string& folderName) const {
  if (!platform::FileExists(infoPath)) return infoPath;
  std::string name;
  try {
    name = platform::ReadProfileString(infoPath, folderName, "name", Cp936("插件名读取错误"));
    // Add-on packs mark their folders in the path; the whole path counts.
    if (ContainsText(infoPath, "BF_")) name = Cp936("大脚 - ") + name;
    if (ContainsText(infoPath, "Moon_")) name = Cp936("盒子 - ") + name;
  } catch (...) {
    // An unreadable file leaves whatever name was read so far.
  }
  return name;
}

void SelectionWindow::SetChecks(ui::ListView& list, CheckAction action) {
  std::vector<bool> checks(static_cast<std::size_t>(list.Count()));
  for (int i = 0; i < list.Count(); ++i)
    checks[static_cast<std::size_t>(i)] =
        action == CheckAction::Invert ? !list.Checked(i) : action == CheckAction::CheckAll;
  list.SetAllChecked(checks);
}

void SelectionWindow::HandOverChoices(ui::CloseAction&) {
  main_.accounts.clear();
  main_.addons.clear();

  int accounts = 0;
  for (const ui::ListItem& item : accountsList.Items()) {
    if (!item.checked) continue;
    main_.accounts.push_back(item.caption);
    ++accounts;
  }
  if (accounts > 0)
    main_.accountsText.SetText(Cp936("帐号备份：") + std::to_string(accounts) + Cp936("个项目"));

  int addons = 0;
  for (const ui::ListItem& item : addonsList.Items()) {
    if (!item.checked) continue;
    main_.addons.push_back(item.caption);
    ++addons;
  }
  if (addons > 0)
    main_.addonsText.SetText(Cp936("插件备份：") + std::to_string(addons) + Cp936("个项目"));

  main_.collectButton.SetEnabled(true);
}

}  // namespace tool
