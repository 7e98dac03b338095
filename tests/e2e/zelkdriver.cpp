// zelkdriver: drives the windows of another process from outside, for the end-to-end tests.
//
//   zelkdriver [--desktop NAME] [--timeout MS] COMMAND ARGS...
//
// WINDOW is a top-level window caption (exact; "~part" matches a caption containing part).
// CTL addresses a child control: a number is its dialog ID, "text:T" its window text,
// "class:C" or "class:C:N" the first (or N-th, from 0) control of window class C.
//
//   windows                      list top-level windows
//   wait WINDOW                  wait until the window exists and is visible
//   gone WINDOW                  wait until no visible window has that caption
//   controls WINDOW              list the window's controls (all levels)
//   text WINDOW CTL              print the control's text
//   wait-text WINDOW CTL TEXT    wait until the control's text equals TEXT ("T*" = starts with T)
//   click WINDOW CTL             click a button or link label
//   settext WINDOW CTL TEXT      set a control's text
//   columns WINDOW CTL           list view column captions
//   rows WINDOW CTL              list view rows: check state and every column
//   check WINDOW CTL ROW on|off|toggle
//   close WINDOW                 ask the window to close (WM_CLOSE)
//   answer WINDOW BUTTON         click a message box button by its text or "id:N"
//   processes                    list running processes with their executable's full path
//   kill EXENAME [DIR]           terminate the processes with that executable name (under DIR)
//   exited EXENAME [DIR]         wait until no process with that executable name (under DIR) runs
//
// Output is UTF-8, one record per line: a keyword, then key=value fields; the text field comes
// last and escapes "\" as "\\", tab as "\t", CR as "\r" and LF as "\n". Exit code 0 on success,
// 1 when something is not found, times out or fails, 2 on a usage error.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

namespace {

int g_timeoutMs = 10000;

std::string toUtf8(const std::wstring& w)
{
    if (w.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::string escape(const std::wstring& w)
{
    std::string out;
    for (char c : toUtf8(w)) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        default: out += c;
        }
    }
    return out;
}

void emit(const std::string& line)
{
    std::string l = line + "\n";
    fwrite(l.data(), 1, l.size(), stdout);
    fflush(stdout);
}

[[noreturn]] void fail(const std::string& why)
{
    emit("error " + why);
    exit(1);
}

std::wstring windowText(HWND h)
{
    // WM_GETTEXT works across processes (the system marshals the buffer).
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &len))
        return {};
    std::wstring buf(len + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXT, len + 1, reinterpret_cast<LPARAM>(buf.data()), SMTO_ABORTIFHUNG, 5000, &got))
        return {};
    buf.resize(got < len + 1 ? got : len);
    return buf;
}

std::wstring className(HWND h)
{
    wchar_t buf[256] = {};
    GetClassNameW(h, buf, 256);
    return buf;
}

std::vector<HWND> topLevelWindows()
{
    std::vector<HWND> v;
    EnumWindows([](HWND h, LPARAM p) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
        return TRUE;
    }, reinterpret_cast<LPARAM>(&v));
    return v;
}

std::vector<HWND> childWindows(HWND parent)
{
    std::vector<HWND> v;
    EnumChildWindows(parent, [](HWND h, LPARAM p) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
        return TRUE;
    }, reinterpret_cast<LPARAM>(&v));
    return v;
}

bool captionMatches(const std::wstring& caption, const std::wstring& pattern)
{
    if (!pattern.empty() && pattern[0] == L'~')
        return caption.find(pattern.substr(1)) != std::wstring::npos;
    return caption == pattern;
}

HWND findWindowNow(const std::wstring& pattern)
{
    for (HWND h : topLevelWindows())
        if (IsWindowVisible(h) && captionMatches(windowText(h), pattern))
            return h;
    return nullptr;
}

// Polls until pred returns true or the timeout passes.
bool waitFor(const std::function<bool()>& pred)
{
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(g_timeoutMs);
    for (;;) {
        if (pred())
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(100);
    }
}

HWND waitWindow(const std::wstring& pattern)
{
    HWND found = nullptr;
    if (!waitFor([&] { found = findWindowNow(pattern); return found != nullptr; }))
        fail("timeout window=" + escape(pattern));
    return found;
}

HWND findControl(HWND top, const std::wstring& spec)
{
    std::vector<HWND> kids = childWindows(top);
    if (spec.rfind(L"text:", 0) == 0) {
        std::wstring t = spec.substr(5);
        for (HWND h : kids)
            if (windowText(h) == t)
                return h;
        return nullptr;
    }
    if (spec.rfind(L"class:", 0) == 0) {
        std::wstring rest = spec.substr(6);
        int index = 0;
        size_t colon = rest.find(L':');
        if (colon != std::wstring::npos) {
            index = _wtoi(rest.c_str() + colon + 1);
            rest.resize(colon);
        }
        for (HWND h : kids)
            if (_wcsicmp(className(h).c_str(), rest.c_str()) == 0 && index-- == 0)
                return h;
        return nullptr;
    }
    wchar_t* endp = nullptr;
    long id = wcstol(spec.c_str(), &endp, 10);
    if (spec.empty() || *endp != L'\0')
        return nullptr;
    for (HWND h : kids)
        if (GetWindowLongPtrW(h, GWLP_ID) == id)
            return h;
    return nullptr;
}

HWND waitControl(HWND top, const std::wstring& spec)
{
    HWND found = nullptr;
    if (!waitFor([&] { found = findControl(top, spec); return found != nullptr; }))
        fail("no-control ctl=" + escape(spec));
    return found;
}

std::string controlLine(HWND h)
{
    char head[160];
    snprintf(head, sizeof head, "control id=%ld hwnd=0x%llx visible=%d enabled=%d ",
             static_cast<long>(GetWindowLongPtrW(h, GWLP_ID)),
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(h)),
             IsWindowVisible(h) ? 1 : 0, IsWindowEnabled(h) ? 1 : 0);
    return std::string(head) + "class=" + escape(className(h)) + " text=" + escape(windowText(h));
}

// Memory in the process that owns a window, for messages whose arguments carry pointers.
class RemoteBuffer {
public:
    RemoteBuffer(HWND owner, size_t size) : size_(size)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(owner, &pid);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (!process_)
            fail("open-process pid=" + std::to_string(pid));
        address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (!address_)
            fail("remote-alloc");
    }
    ~RemoteBuffer()
    {
        VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        CloseHandle(process_);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    void* at(size_t offset) const { return static_cast<char*>(address_) + offset; }
    void write(size_t offset, const void* data, size_t n) const
    {
        SIZE_T done = 0;
        if (offset + n > size_ || !WriteProcessMemory(process_, at(offset), data, n, &done) || done != n)
            fail("remote-write");
    }
    void read(size_t offset, void* data, size_t n) const
    {
        SIZE_T done = 0;
        if (offset + n > size_ || !ReadProcessMemory(process_, at(offset), data, n, &done) || done != n)
            fail("remote-read");
    }

private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
    size_t size_ = 0;
};

LRESULT send(HWND h, UINT msg, WPARAM w, LPARAM l)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(h, msg, w, l, SMTO_ABORTIFHUNG, 5000, &result))
        fail("send-timeout msg=" + std::to_string(msg));
    return static_cast<LRESULT>(result);
}

constexpr size_t kTextChars = 2048;
constexpr size_t kTextOffset = 512;  // the structure goes first, the text buffer after it

std::wstring listViewText(HWND lv, const RemoteBuffer& mem, int row, int column)
{
    LVITEMW item = {};
    item.iSubItem = column;
    item.cchTextMax = static_cast<int>(kTextChars);
    item.pszText = static_cast<LPWSTR>(mem.at(kTextOffset));
    wchar_t zero = 0;
    mem.write(kTextOffset, &zero, sizeof zero);
    mem.write(0, &item, sizeof item);
    LRESULT n = send(lv, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(mem.at(0)));
    if (n <= 0)
        return {};
    if (static_cast<size_t>(n) >= kTextChars)
        n = kTextChars - 1;
    std::wstring text(static_cast<size_t>(n), L'\0');
    mem.read(kTextOffset, text.data(), static_cast<size_t>(n) * sizeof(wchar_t));
    return text;
}

int columnCount(HWND lv)
{
    HWND header = reinterpret_cast<HWND>(send(lv, LVM_GETHEADER, 0, 0));
    return header ? static_cast<int>(send(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
}

bool isChecked(HWND lv, int row)
{
    return ((send(lv, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

int cmdColumns(HWND lv)
{
    RemoteBuffer mem(lv, kTextOffset + kTextChars * sizeof(wchar_t));
    int n = columnCount(lv);
    for (int c = 0; c < n; ++c) {
        LVCOLUMNW col = {};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.cchTextMax = static_cast<int>(kTextChars);
        col.pszText = static_cast<LPWSTR>(mem.at(kTextOffset));
        wchar_t zero = 0;
        mem.write(kTextOffset, &zero, sizeof zero);
        mem.write(0, &col, sizeof col);
        if (!send(lv, LVM_GETCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(mem.at(0))))
            fail("get-column index=" + std::to_string(c));
        mem.read(0, &col, sizeof col);
        std::wstring text(kTextChars, L'\0');
        mem.read(kTextOffset, text.data(), kTextChars * sizeof(wchar_t));
        text.resize(wcsnlen(text.c_str(), kTextChars));
        emit("column index=" + std::to_string(c) + " width=" + std::to_string(col.cx) + " text=" + escape(text));
    }
    return 0;
}

int cmdRows(HWND lv)
{
    RemoteBuffer mem(lv, kTextOffset + kTextChars * sizeof(wchar_t));
    int rows = static_cast<int>(send(lv, LVM_GETITEMCOUNT, 0, 0));
    int cols = columnCount(lv);
    emit("count rows=" + std::to_string(rows) + " columns=" + std::to_string(cols));
    for (int r = 0; r < rows; ++r) {
        std::string line = "row index=" + std::to_string(r) + " checked=" + (isChecked(lv, r) ? "1" : "0") + " text=";
        for (int c = 0; c < cols; ++c) {
            if (c)
                line += '\t';
            line += escape(listViewText(lv, mem, r, c));
        }
        emit(line);
    }
    return 0;
}

int cmdCheck(HWND lv, int row, const std::wstring& how)
{
    int rows = static_cast<int>(send(lv, LVM_GETITEMCOUNT, 0, 0));
    if (row < 0 || row >= rows)
        fail("no-row index=" + std::to_string(row));
    bool want;
    if (how == L"on")
        want = true;
    else if (how == L"off")
        want = false;
    else if (how == L"toggle")
        want = !isChecked(lv, row);
    else {
        emit("usage check state must be on, off or toggle");
        return 2;
    }
    RemoteBuffer mem(lv, sizeof(LVITEMW));
    LVITEMW item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(want ? 2 : 1);
    mem.write(0, &item, sizeof item);
    send(lv, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(mem.at(0)));
    if (isChecked(lv, row) != want)
        fail("check-not-applied index=" + std::to_string(row));
    emit("row index=" + std::to_string(row) + " checked=" + (want ? "1" : "0"));
    return 0;
}

std::wstring withoutAccelerator(std::wstring t)
{
    // "是(&Y)" -> "是", "&Yes" -> "Yes"
    size_t p = t.find(L"(&");
    if (p != std::wstring::npos && t.size() >= p + 4 && t[p + 3] == L')')
        t.erase(p, 4);
    std::wstring out;
    for (wchar_t c : t)
        if (c != L'&')
            out += c;
    return out;
}

int cmdAnswer(const std::wstring& caption, const std::wstring& button)
{
    HWND box = nullptr;
    if (!waitFor([&] {
            for (HWND h : topLevelWindows())
                if (IsWindowVisible(h) && className(h) == L"#32770" && captionMatches(windowText(h), caption)) {
                    box = h;
                    return true;
                }
            return false;
        }))
        fail("timeout message-box=" + escape(caption));
    std::wstring message;
    for (HWND h : childWindows(box))
        if (_wcsicmp(className(h).c_str(), L"Static") == 0 && !windowText(h).empty())
            message += (message.empty() ? L"" : L"\n") + windowText(h);
    for (HWND h : childWindows(box)) {
        if (_wcsicmp(className(h).c_str(), L"Button") != 0)
            continue;
        int id = static_cast<int>(GetWindowLongPtrW(h, GWLP_ID));
        bool match = button.rfind(L"id:", 0) == 0 ? id == _wtoi(button.c_str() + 3)
                                                  : withoutAccelerator(windowText(h)) == withoutAccelerator(button);
        if (match) {
            emit("message text=" + escape(message));
            std::wstring label = windowText(h);
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(h));
            emit("answered id=" + std::to_string(id) + " text=" + escape(label));
            return 0;
        }
    }
    fail("no-button text=" + escape(button));
}

bool startsWithNoCase(const std::wstring& s, const std::wstring& prefix)
{
    return s.size() >= prefix.size() && _wcsnicmp(s.c_str(), prefix.c_str(), prefix.size()) == 0;
}

std::wstring mainModulePath(DWORD pid);

// Running processes with the executable name `exe` whose executable lies under `under` (when
// given), so that parallel runs sharing the wine server leave each other alone.
std::vector<DWORD> processesOf(const std::wstring& exe, const std::wstring& under)
{
    std::vector<DWORD> found;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        fail("snapshot");
    PROCESSENTRY32W pe = {};
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32FirstW(snap, &pe); ok; ok = Process32NextW(snap, &pe)) {
        if (_wcsicmp(pe.szExeFile, exe.c_str()) != 0)
            continue;
        if (!under.empty() && !startsWithNoCase(mainModulePath(pe.th32ProcessID), under))
            continue;
        found.push_back(pe.th32ProcessID);
    }
    CloseHandle(snap);
    return found;
}

// Only processes whose executable lies under `under` (when given) are ended, so that parallel
// runs sharing the wine server leave each other alone.
int cmdKill(const std::wstring& exe, const std::wstring& under)
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        fail("snapshot");
    PROCESSENTRY32W pe = {};
    pe.dwSize = sizeof pe;
    int killed = 0;
    for (BOOL ok = Process32FirstW(snap, &pe); ok; ok = Process32NextW(snap, &pe)) {
        if (_wcsicmp(pe.szExeFile, exe.c_str()) != 0)
            continue;
        if (!under.empty() && !startsWithNoCase(mainModulePath(pe.th32ProcessID), under))
            continue;
        HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pe.th32ProcessID);
        if (p && TerminateProcess(p, 1)) {
            WaitForSingleObject(p, 5000);
            ++killed;
        }
        if (p)
            CloseHandle(p);
    }
    CloseHandle(snap);
    emit("killed count=" + std::to_string(killed));
    return 0;
}

std::wstring mainModulePath(DWORD pid)
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snap == INVALID_HANDLE_VALUE)
        return {};
    MODULEENTRY32W me = {};
    me.dwSize = sizeof me;
    std::wstring path = Module32FirstW(snap, &me) ? me.szExePath : L"";
    CloseHandle(snap);
    return path;
}

int cmdProcesses()
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        fail("snapshot");
    PROCESSENTRY32W pe = {};
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32FirstW(snap, &pe); ok; ok = Process32NextW(snap, &pe))
        emit("process pid=" + std::to_string(pe.th32ProcessID) + " exe=" + escape(pe.szExeFile) +
             " text=" + escape(mainModulePath(pe.th32ProcessID)));
    CloseHandle(snap);
    return 0;
}

int usage()
{
    emit("usage zelkdriver [--desktop NAME] [--timeout MS] COMMAND ARGS... (see the source for commands)");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::wstring> args(argv + 1, argv + argc);
    std::wstring desktop;
    size_t i = 0;
    while (i < args.size() && args[i].rfind(L"--", 0) == 0) {
        if (args[i] == L"--desktop" && i + 1 < args.size()) {
            desktop = args[i + 1];
            i += 2;
        } else if (args[i] == L"--timeout" && i + 1 < args.size()) {
            g_timeoutMs = _wtoi(args[i + 1].c_str());
            i += 2;
        } else {
            return usage();
        }
    }
    if (i >= args.size())
        return usage();
    const std::wstring cmd = args[i];
    // Process commands work without a desktop (and must, when it is already gone).
    if (!desktop.empty() && cmd != L"kill" && cmd != L"processes" && cmd != L"exited") {
        // Join the named desktop (a wine virtual desktop, which may still be starting) before any
        // window call binds this thread to the default one.
        HDESK d = nullptr;
        if (cmd == L"gone") {
            // A virtual desktop ends with its last window: no desktop, no window.
            d = OpenDesktopW(desktop.c_str(), 0, FALSE, GENERIC_ALL);
            if (!d) {
                emit("gone");
                return 0;
            }
        } else {
            waitFor([&] { d = OpenDesktopW(desktop.c_str(), 0, FALSE, GENERIC_ALL); return d != nullptr; });
        }
        if (!d || !SetThreadDesktop(d))
            fail("desktop name=" + escape(desktop));
    }
    std::vector<std::wstring> a(args.begin() + static_cast<long>(i) + 1, args.end());
    auto need = [&](size_t n) {
        if (a.size() != n) {
            usage();
            exit(2);
        }
    };

    if (cmd == L"windows") {
        need(0);
        for (HWND h : topLevelWindows()) {
            char head[96];
            snprintf(head, sizeof head, "window hwnd=0x%llx visible=%d ",
                     static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(h)), IsWindowVisible(h) ? 1 : 0);
            emit(std::string(head) + "class=" + escape(className(h)) + " text=" + escape(windowText(h)));
        }
        return 0;
    }
    if (cmd == L"wait") {
        need(1);
        HWND h = waitWindow(a[0]);
        RECT r = {};
        GetWindowRect(h, &r);
        char head[128];
        snprintf(head, sizeof head, "found left=%ld top=%ld width=%ld height=%ld ",
                 static_cast<long>(r.left), static_cast<long>(r.top), static_cast<long>(r.right - r.left),
                 static_cast<long>(r.bottom - r.top));
        emit(std::string(head) + "class=" + escape(className(h)) + " text=" + escape(windowText(h)));
        return 0;
    }
    if (cmd == L"gone") {
        need(1);
        if (!waitFor([&] { return findWindowNow(a[0]) == nullptr; }))
            fail("still-open window=" + escape(a[0]));
        emit("gone");
        return 0;
    }
    if (cmd == L"processes") {
        need(0);
        return cmdProcesses();
    }
    if (cmd == L"kill") {
        if (a.size() != 1 && a.size() != 2)
            return usage();
        return cmdKill(a[0], a.size() == 2 ? a[1] : L"");
    }
    if (cmd == L"exited") {
        if (a.size() != 1 && a.size() != 2)
            return usage();
        const std::wstring under = a.size() == 2 ? a[1] : L"";
        // Waiting on the process handles costs the waited-for program nothing; polling the
        // process list would take a share of the processor it is being timed on.
        const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(g_timeoutMs);
        for (DWORD pid : processesOf(a[0], under)) {
            HANDLE p = OpenProcess(SYNCHRONIZE, FALSE, pid);
            if (!p)
                continue;
            const ULONGLONG now = GetTickCount64();
            WaitForSingleObject(p, now < end ? static_cast<DWORD>(end - now) : 0);
            CloseHandle(p);
        }
        if (!waitFor([&] { return processesOf(a[0], under).empty(); }))
            fail("still-running exe=" + escape(a[0]));
        emit("exited");
        return 0;
    }
    if (cmd == L"answer") {
        need(2);
        return cmdAnswer(a[0], a[1]);
    }
    if (cmd == L"close") {
        need(1);
        PostMessageW(waitWindow(a[0]), WM_CLOSE, 0, 0);
        emit("closed");
        return 0;
    }
    if (cmd == L"controls") {
        need(1);
        for (HWND h : childWindows(waitWindow(a[0])))
            emit(controlLine(h));
        return 0;
    }
    if (cmd == L"text" || cmd == L"click" || cmd == L"columns" || cmd == L"rows") {
        need(2);
        HWND c = waitControl(waitWindow(a[0]), a[1]);
        if (cmd == L"text") {
            emit(controlLine(c));
            return 0;
        }
        if (cmd == L"columns")
            return cmdColumns(c);
        if (cmd == L"rows")
            return cmdRows(c);
        // Buttons and link labels both act on BM_CLICK; posting it keeps the driver free when the
        // click opens a modal window.
        if (!IsWindowVisible(c) || !IsWindowEnabled(c))
            fail("not-clickable " + controlLine(c));
        PostMessageW(c, BM_CLICK, 0, 0);
        emit("clicked");
        return 0;
    }
    if (cmd == L"settext") {
        need(3);
        HWND c = waitControl(waitWindow(a[0]), a[1]);
        send(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(a[2].c_str()));
        emit(controlLine(c));
        return 0;
    }
    if (cmd == L"wait-text") {
        need(3);
        HWND top = waitWindow(a[0]);
        std::wstring want = a[2];
        bool prefix = !want.empty() && want.back() == L'*';
        if (prefix)
            want.pop_back();
        std::wstring last;
        if (!waitFor([&] {
                HWND c = findControl(top, a[1]);
                if (!c)
                    return false;
                last = windowText(c);
                return prefix ? last.rfind(want, 0) == 0 : last == want;
            }))
            fail("text-timeout last=" + escape(last));
        emit("text text=" + escape(last));
        return 0;
    }
    if (cmd == L"check") {
        need(4);
        HWND c = waitControl(waitWindow(a[0]), a[1]);
        return cmdCheck(c, _wtoi(a[2].c_str()), a[3]);
    }
    return usage();
}
