#include "app/SelectionWindow.h"

#include <vector>

#include "gamedir/Cp936Text.h"
#include "app/MainWindow.h"
#include "backup/GameEntries.h"
#include "platform/FileSystem.h"
#include "platform/Ini.h"

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

TForm2::TForm2(ui::Application& app, TForm1& mainForm) : ui::Form(app, "Form2"), main_(mainForm) {
  SetCaption(Cp936("备份选择(选好后直接关闭，如果全部备份，直接关闭就好了)"));
  SetBorderStyle(ui::BorderStyle::SystemMenu);
  SetPosition(ui::FormPosition::CenterOnForm);
  SetCenterOn(&mainForm);
  SetFont("MS Sans Serif", 8);
  SetBounds(0, 0, 583, 542);

  grp1.SetText(Cp936("选择要打包的帐号"));
  grp1.SetWidth(233);
  grp1.SetAlign(ui::Align::Left);
  pnl1.SetHeight(24);
  pnl1.SetAlign(ui::Align::Top);
  PlaceLinks(nxlnklbl1, nxlnklbl2, nxlnklbl3);
  SetUpList(lv1);
  lv1.AddColumn(Cp936("名称"), 150);
  lv1.AddColumn(Cp936("类型"));

  grp2.SetText(Cp936("选择要打包的插件"));
  grp2.SetAlign(ui::Align::Client);
  pnl2.SetHeight(24);
  pnl2.SetAlign(ui::Align::Top);
  PlaceLinks(nxlnklbl4, nxlnklbl5, nxlnklbl6);
  SetUpList(lv2);
  lv2.AddColumn(Cp936("插件目录"), 130);
  lv2.AddColumn(Cp936("插件名称"), 160);

  nxlnklbl1.OnClick = [this] { nxlnklbl1Click(); };
  nxlnklbl2.OnClick = [this] { nxlnklbl2Click(); };
  nxlnklbl3.OnClick = [this] { nxlnklbl3Click(); };
  nxlnklbl4.OnClick = [this] { nxlnklbl4Click(); };
  nxlnklbl5.OnClick = [this] { nxlnklbl5Click(); };
  nxlnklbl6.OnClick = [this] { nxlnklbl6Click(); };
  OnClose = [this](ui::CloseAction& action) { FormClose(action); };
}

void TForm2::FillLists() {
  lv1.Clear();
  lv2.Clear();
  const std::string& game = main_.GamePath;
  const std::string folder = Cp936("目录"), file = Cp936("文件");
  for (const TGameEntry& entry : ListAccountEntries(game)) lv1.AddItem(entry.name, {entry.folder ? folder : file});
  for (const std::string& name : ListAddonFolders(game))
    lv2.AddItem(name, {GetAddonName(game + "interface\\" + name + "\\info.ini", name)});

  SetChecks(lv1, 0);
  SetChecks(lv2, 0);
  ShowModal();
}

std::string TForm2::GetAddonName(const std::string& infoPath, const std::string& folderName) const {
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

void TForm2::SetChecks(ui::ListView& list, int mode) {
  if (mode < 0 || mode > 2) return;
  std::vector<bool> checks(static_cast<std::size_t>(list.Count()));
  for (int i = 0; i < list.Count(); ++i)
    checks[static_cast<std::size_t>(i)] = mode == 0 ? true : mode == 1 ? false : !list.Checked(i);
  list.SetAllChecked(checks);
}

void TForm2::FormClose(ui::CloseAction&) {
  main_.AccountList.clear();
  main_.AddonList.clear();

  int accounts = 0;
  for (const ui::ListItem& item : lv1.Items()) {
    if (!item.checked) continue;
    main_.AccountList.push_back(item.caption);
    ++accounts;
  }
  if (accounts > 0)
    main_.txt2.SetText(Cp936("帐号备份：") + std::to_string(accounts) + Cp936("个项目"));

  int addons = 0;
  for (const ui::ListItem& item : lv2.Items()) {
    if (!item.checked) continue;
    main_.AddonList.push_back(item.caption);
    ++addons;
  }
  if (addons > 0)
    main_.txt3.SetText(Cp936("插件备份：") + std::to_string(addons) + Cp936("个项目"));

  main_.btn1.SetEnabled(true);
}
