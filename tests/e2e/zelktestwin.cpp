// zelktestwin: a small window built like the tool's forms (class "ZelkForm", controls numbered
// from 1000 in creation order), used to check zelkdriver on its own.
//   1000 STATIC status line    1001 BUTTON "询问" (message box, answer goes to the status line)
//   1002 EDIT password         1003 SysListView32 with check boxes, columns "名称" and "类型"
//   1004 BUTTON "统计" (status line = "选中：N" with the number of checked rows)
//   1005 BUTTON "隐藏" (hidden, disabled)
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

namespace {

HWND g_status, g_list;

HWND child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id)
{
    return CreateWindowExW(0, cls, text, WS_CHILD | style, x, y, w, h, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

void fillList()
{
    ListView_SetExtendedListViewStyle(g_list, LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    const wchar_t* headers[] = {L"名称", L"类型"};
    for (int c = 0; c < 2; ++c) {
        LVCOLUMNW col = {};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.cx = c == 0 ? 150 : 80;
        col.pszText = const_cast<LPWSTR>(headers[c]);
        ListView_InsertColumn(g_list, c, &col);
    }
    const wchar_t* rows[][2] = {{L"甲帐号", L"目录"}, {L"乙 帐号", L"文件"}, {L"C:\\路径\\info.ini", L"目录"}};
    for (int r = 0; r < 3; ++r) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = r;
        item.pszText = const_cast<LPWSTR>(rows[r][0]);
        ListView_InsertItem(g_list, &item);
        ListView_SetItemText(g_list, r, 1, const_cast<LPWSTR>(rows[r][1]));
        ListView_SetCheckState(g_list, r, TRUE);
    }
}

LRESULT CALLBACK formProc(HWND h, UINT msg, WPARAM w, LPARAM l)
{
    switch (msg) {
    case WM_CREATE:
        g_status = child(h, L"STATIC", L"状态：等待", WS_VISIBLE, 10, 10, 300, 20, 1000);
        child(h, L"BUTTON", L"询问", WS_VISIBLE | BS_PUSHBUTTON, 10, 40, 80, 25, 1001);
        child(h, L"EDIT", L"", WS_VISIBLE | WS_BORDER | ES_PASSWORD, 100, 40, 100, 22, 1002);
        g_list = child(h, WC_LISTVIEWW, L"", WS_VISIBLE | WS_BORDER | LVS_REPORT, 10, 75, 300, 120, 1003);
        child(h, L"BUTTON", L"统计", WS_VISIBLE | BS_PUSHBUTTON, 210, 40, 80, 25, 1004);
        EnableWindow(child(h, L"BUTTON", L"隐藏", BS_PUSHBUTTON, 300, 40, 60, 25, 1005), FALSE);
        fillList();
        return 0;
    case WM_COMMAND:
        if (LOWORD(w) == 1001 && HIWORD(w) == BN_CLICKED) {
            int answer = MessageBoxW(h, L"要继续吗？", L"提示", MB_YESNO | MB_ICONQUESTION);
            SetWindowTextW(g_status, answer == IDYES ? L"回答：是" : L"回答：否");
        } else if (LOWORD(w) == 1004 && HIWORD(w) == BN_CLICKED) {
            int n = 0, rows = ListView_GetItemCount(g_list);
            for (int r = 0; r < rows; ++r)
                n += ListView_GetCheckState(g_list, r) ? 1 : 0;
            wchar_t text[64];
            swprintf(text, 64, L"选中：%d", n);
            SetWindowTextW(g_status, text);
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(h, msg, w, l);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, LPWSTR, int show)
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = formProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"ZelkForm";
    RegisterClassW(&wc);
    HWND form = CreateWindowExW(0, L"ZelkForm", L"驱动测试窗口", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                100, 100, 340, 250, nullptr, nullptr, inst, nullptr);
    ShowWindow(form, show);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return 0;
}
