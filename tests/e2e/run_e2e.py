#!/usr/bin/env python3
"""End-to-end runs of the Windows programs under wine, driven from outside by zelkdriver.exe.

Cases:
  driver        zelkdriver against its own test window (every command once)
  in_game_dir   the tool placed in a fake game directory finds it and lists its contents
  process_scan  the tool placed elsewhere finds the game through the running client
  demo          like in_game_dir, for scripts/demo: screenshots, optionally left open

Needs an X display (run it under xvfb-run -a) and scripts/wine-run. Screenshots go to
--artifacts. Prints one line per check and exits non-zero when one fails.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

DESKTOP_SIZE = "1024x768"
MAIN_CAPTION = "Zelk配置备份工具 V1.0"
SELECTION_CAPTION = "备份选择(选好后直接关闭，如果全部备份，直接关闭就好了)"
TOOL_EXE = "Zelk配置备份工具.exe"
NOT_FOUND_HEADER = "未发现Zelk，请先运行游戏或者将此程序放到Zelk目录."


class Failure(Exception):
    pass


def log(msg):
    print(msg, flush=True)


def win_path(path):
    """Unix path -> the path Windows programs see under wine (Z: maps the Unix root)."""
    return "Z:" + os.path.realpath(path).replace("/", "\\")


def unescape(text):
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            nxt = text[i + 1]
            out.append({"\\": "\\", "t": "\t", "r": "\r", "n": "\n"}.get(nxt, "\\" + nxt))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def parse_record(line):
    """'kind k=v k=v text=...' -> (kind, fields); text runs to the end of the line."""
    head, sep, text = line.partition(" text=")
    parts = head.split(" ")
    fields = {}
    for p in parts[1:]:
        k, _, v = p.partition("=")
        if k:
            fields[k] = v
    if sep:
        fields["text"] = text
    return parts[0], fields


class Wine:
    def __init__(self, args):
        self.wine_run = args.wine_run
        self.desktop = None
        self.started = []

    def run(self, argv, timeout=60, cwd=None):
        p = subprocess.run([self.wine_run] + argv, capture_output=True, timeout=timeout, cwd=cwd)
        return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")

    def start(self, argv, cwd=None):
        p = subprocess.Popen([self.wine_run] + argv, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.started.append(p)
        return p

    def start_on_desktop(self, exe_path, name, cwd=None):
        """Starts a program inside a wine virtual desktop (gives windows title bars)."""
        self.desktop = name
        return self.start(["explorer", "/desktop=%s,%s" % (name, DESKTOP_SIZE), win_path(exe_path)], cwd=cwd)

    def stop_all(self):
        for p in self.started:
            try:
                p.wait(timeout=15)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()


class Driver:
    def __init__(self, wine, exe):
        self.wine = wine
        self.exe = exe

    def call(self, *args, timeout_ms=10000, expect_ok=True):
        argv = [self.exe]
        if self.wine.desktop:
            argv += ["--desktop", self.wine.desktop]
        argv += ["--timeout", str(timeout_ms)] + list(args)
        rc, out, err = self.wine.run(argv, timeout=timeout_ms / 1000 + 60)
        if rc != 0 and not out.strip():
            # The driver prints a record before every exit, so no output at all means wine failed
            # to start it or it died before acting (seen once in a few hundred calls, exit 1 and
            # nothing on stderr): start it once more.
            log("note zelkdriver %s: exit %d without output (%s), started again"
                % (" ".join(args), rc, err.strip() or "no message"))
            rc, out, err = self.wine.run(argv, timeout=timeout_ms / 1000 + 60)
        records = [parse_record(line) for line in out.splitlines() if line.strip()]
        for _, f in records:
            if "text" in f:
                f["text"] = unescape(f["text"])
        if expect_ok and rc != 0:
            raise Failure("zelkdriver %s failed (exit %d): %s %s" % (" ".join(args), rc, out.strip(), err.strip()))
        return rc, records

    def records(self, kind, *args, **kw):
        return [f for k, f in self.call(*args, **kw)[1] if k == kind]

    def controls(self, window):
        return self.records("control", "controls", window)

    def list_view_by_columns(self, window, columns):
        """The dialog ID of the list view whose column captions are `columns`."""
        for c in self.controls(window):
            if c["class"].lower() == "syslistview32":
                got = [f["text"] for f in self.records("column", "columns", window, c["id"])]
                if got == columns:
                    return c["id"]
        raise Failure("no list view with columns %s in %s" % (columns, window))

    def rows(self, window, ctl):
        return [(f["checked"] == "1", f["text"].split("\t")) for f in self.records("row", "rows", window, ctl)]

    def error_boxes(self):
        """Captions of visible message boxes (the tool shows start-up failures in one)."""
        found = []
        for w in self.records("window", "windows"):
            if w.get("class") == "#32770" and w.get("visible") == "1":
                found.append(w.get("text", ""))
        return found


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def eq(self, what, got, want):
        if got == want:
            self.passed += 1
            log("ok   %s" % what)
        else:
            self.failed += 1
            log("FAIL %s\n       got:  %r\n       want: %r" % (what, got, want))

    def true(self, what, cond, detail=""):
        self.eq(what + (" (%s)" % detail if detail and not cond else ""), bool(cond), True)


# The shots the README shows, by artifact name. Only when ZELK_DOCS_SCREENSHOTS names a folder
# (never in CI) are they copied there under these names.
DOCS_SCREENSHOTS = {
    "job_main_window": "main-window.png",
    "job_selection_window": "selection-window.png",
    "job_restore_window": "restore-program.png",
}


def screenshot(args, name, rect=None):
    os.makedirs(args.artifacts, exist_ok=True)
    path = os.path.join(args.artifacts, name + ".png")
    full = path + ".full.png"
    subprocess.run(["import", "-window", "root", full], check=True, timeout=60)
    if rect:
        # A little margin around the window; the virtual desktop sits at the screen's origin.
        x, y, w, h = rect
        x0, y0 = max(0, x - 8), max(0, y - 8)
        subprocess.run(["convert", full, "-crop", "%dx%d+%d+%d" % (w + 16, h + 16, x0, y0), "+repage", path],
                       check=True, timeout=60)
        os.remove(full)
    else:
        os.replace(full, path)
    log("screenshot %s" % path)
    docs = os.environ.get("ZELK_DOCS_SCREENSHOTS")
    if docs and name in DOCS_SCREENSHOTS:
        shutil.copyfile(path, os.path.join(docs, DOCS_SCREENSHOTS[name]))
    return path


def desktop_name(args):
    # Unique per run: two runs on one wine server must not share a desktop.
    return "zelk-e2e-%s-%d" % (args.case, os.getpid())


def window_rect(driver, caption):
    f = driver.records("found", "wait", caption)[0]
    return int(f["left"]), int(f["top"]), int(f["width"]), int(f["height"])


# ---------------------------------------------------------------------------------------------
# Expected contents of the selection window, worked out from the fake game directory itself.

def read_profile_value(path, section, key):
    """One value of a Windows profile file: section and key names compared case-insensitively and
    trimmed, the value trimmed and stripped of one pair of enclosing quotes; None when missing."""
    with open(path, "rb") as f:
        data = f.read()
    # Like the Windows profile functions: a byte-order mark selects UTF-8 or UTF-16, otherwise the
    # file is in the ANSI code page (936).
    if data.startswith(b"\xef\xbb\xbf"):
        text = data[3:].decode("utf-8", "replace")
    elif data.startswith(b"\xff\xfe"):
        text = data[2:].decode("utf-16-le", "replace")
    else:
        text = data.decode("gbk", "replace")
    current = None
    for raw in text.splitlines():
        line = raw.strip()
        if line.startswith("["):
            end = line.find("]")
            current = (line[1:end] if end >= 0 else line[1:]).strip().lower()
            continue
        if current != section.lower() or "=" not in line:
            continue
        k, _, v = line.partition("=")
        if k.strip().lower() == key.lower():
            v = v.strip()
            if len(v) >= 2 and v[0] == v[-1] and v[0] in "'\"":
                v = v[1:-1]
            return v
    return None


def addon_display_name(game_win, interface_dir, folder):
    info_win = game_win + "interface\\" + folder + "\\info.ini"
    info = os.path.join(interface_dir, folder, "info.ini")
    if not os.path.isfile(info):
        return info_win
    value = read_profile_value(info, folder, "name")
    if value is None:
        value = "插件名读取错误"
    if "BF_" in info_win:
        value = "大脚 - " + value
    if "Moon_" in info_win:
        value = "盒子 - " + value
    return value


def find_child(parent, name):
    """The entry of `parent` matching `name` case-insensitively (the game's files are looked up
    the Windows way)."""
    for entry in os.listdir(parent):
        if entry.lower() == name.lower():
            return os.path.join(parent, entry)
    raise Failure("the fake game has no %s in %s" % (name, parent))


def expected_rows(game_dir, game_win):
    userdata = find_child(game_dir, "userdata")
    interface = find_child(game_dir, "interface")
    accounts = sorted((n, "目录" if os.path.isdir(os.path.join(userdata, n)) else "文件")
                      for n in os.listdir(userdata) if not n.startswith("."))
    addons = sorted((n, addon_display_name(game_win, interface, n))
                    for n in os.listdir(interface)
                    if not n.startswith(".") and os.path.isdir(os.path.join(interface, n)))
    return accounts, addons


def make_game(args, wine, game_dir, seed, large=False):
    more = ["--large"] if large else []
    if os.path.exists(game_dir):
        shutil.rmtree(game_dir)
    os.makedirs(os.path.dirname(game_dir), exist_ok=True)
    if args.fake_game and os.access(args.fake_game, os.X_OK):
        subprocess.run([args.fake_game, game_dir, "--seed", str(seed)] + more, check=True, timeout=300)
    elif args.fake_game_exe:
        rc, out, err = wine.run([args.fake_game_exe, win_path(os.path.dirname(game_dir)) + "\\" +
                                 os.path.basename(game_dir), "--seed", str(seed)] + more, timeout=300)
        if rc != 0:
            raise Failure("make_fake_game failed (%d): %s %s" % (rc, out, err))
    else:
        raise Failure("no fixture generator (make_fake_game) was given")
    for name in ("zelkclient.exe", "userdata", "interface"):
        find_child(game_dir, name)


# ---------------------------------------------------------------------------------------------

def case_driver(args, wine, driver, checks):
    win = "驱动测试窗口"
    testwin = os.path.join(args.work, "zelktestwin.exe")  # under the work folder, like every program we start
    shutil.copyfile(args.testwin, testwin)
    wine.start_on_desktop(testwin, desktop_name(args))
    driver.call("wait", win, timeout_ms=60000)

    controls = {c["id"]: c for c in driver.controls(win)}
    checks.eq("control ids and classes",
              {i: controls[i]["class"] for i in ("1000", "1001", "1002", "1003", "1004", "1005") if i in controls},
              {"1000": "Static", "1001": "Button", "1002": "Edit", "1003": "SysListView32",
               "1004": "Button", "1005": "Button"})
    checks.eq("hidden disabled button", (controls["1005"]["visible"], controls["1005"]["enabled"]), ("0", "0"))
    checks.eq("columns", [f["text"] for f in driver.records("column", "columns", win, "1003")], ["名称", "类型"])
    checks.eq("rows with all columns", driver.rows(win, "1003"),
              [(True, ["甲帐号", "目录"]), (True, ["乙 帐号", "文件"]), (True, ["C:\\路径\\info.ini", "目录"])])

    driver.call("check", win, "class:SysListView32", "1", "toggle")
    driver.call("check", win, "1003", "2", "off")
    driver.call("check", win, "1003", "2", "on")
    driver.call("check", win, "1003", "0", "off")
    checks.eq("check states after toggling", [c for c, _ in driver.rows(win, "1003")], [False, False, True])
    driver.call("click", win, "text:统计")
    rc, _ = driver.call("wait-text", win, "1000", "选中：1", timeout_ms=5000, expect_ok=False)
    checks.eq("the window sees the new check states", rc, 0)

    driver.call("settext", win, "1002", "密码 abc")
    checks.eq("edit text", driver.records("control", "text", win, "1002")[0]["text"], "密码 abc")

    rc, _ = driver.call("click", win, "1005", expect_ok=False)
    checks.eq("a hidden button cannot be clicked", rc, 1)
    rc, _ = driver.call("wait", "没有这个窗口", timeout_ms=300, expect_ok=False)
    checks.eq("waiting for a missing window times out", rc, 1)
    rc, _ = driver.call("rows", win, "9999", timeout_ms=300, expect_ok=False)
    checks.eq("a missing control is reported", rc, 1)

    driver.call("click", win, "1001")
    driver.call("wait", "提示")
    screenshot(args, "driver_testwin")
    answered = driver.records("answered", "answer", "提示", "否")
    checks.true("message box answered", answered)
    rc, _ = driver.call("wait-text", win, "1000", "回答：否", timeout_ms=5000, expect_ok=False)
    checks.eq("the message box returned No", rc, 0)

    driver.call("close", win)
    rc, out = driver.call("gone", win, timeout_ms=10000, expect_ok=False)
    checks.eq("closed window is gone", rc, 0)
    if rc:
        log("still there: %r %r" % (out, driver.records("window", "windows")[:4]))
        screenshot(args, "driver_not_closed")


def header_text(driver, caption):
    for c in driver.controls(caption):
        if c["class"] == "ZelkHeaderPanel":
            return c["text"]
    raise Failure("no ZelkHeaderPanel in %s" % caption)


def wait_for(pred, timeout, what):
    end = time.time() + timeout
    last = None
    while time.time() < end:
        ok, last = pred()
        if ok:
            return last
        time.sleep(0.3)
    raise Failure("timed out waiting for %s (last seen: %r)" % (what, last))


def wait_selection_window(driver, timeout_s=60):
    """Waits for the selection window; a start-up error box ends the wait with its text."""
    def seen():
        boxes = driver.error_boxes()
        if boxes:
            detail = driver.records("message", "answer", "~", "id:1", timeout_ms=2000, expect_ok=False)
            raise Failure("the tool shows a message box %r: %s" % (boxes, [m.get("text") for m in detail]))
        rc, _ = driver.call("wait", SELECTION_CAPTION, timeout_ms=1000, expect_ok=False)
        return rc == 0, None
    try:
        wait_for(seen, timeout_s, "the selection window")
    except Failure:
        for f in driver.records("process", "processes"):
            log("  process %s %s" % (f.get("exe"), f.get("text")))
        raise


def run_tool_case(args, wine, driver, checks, *, scan, demo=False):
    work = args.work
    game_dir = os.path.join(work, "game")
    make_game(args, wine, game_dir, seed=7 if scan else 3)
    game_win = win_path(game_dir) + "\\"

    tool_dir = os.path.join(work, "elsewhere") if scan else game_dir
    os.makedirs(tool_dir, exist_ok=True)
    tool = os.path.join(tool_dir, TOOL_EXE)
    shutil.copyfile(args.tool, tool)

    wine.start_on_desktop(tool, desktop_name(args), cwd=tool_dir)
    driver.call("wait", MAIN_CAPTION, timeout_ms=60000)
    if scan:
        # Without a running client the tool keeps searching: several ticks pass with no result.
        time.sleep(2)
        checks.eq("header while no client runs", header_text(driver, MAIN_CAPTION), NOT_FOUND_HEADER)
        rc, _ = driver.call("wait", SELECTION_CAPTION, timeout_ms=200, expect_ok=False)
        checks.eq("no selection window while searching", rc, 1)
        client = find_child(game_dir, "zelkclient.exe")
        shutil.copyfile(args.client, client)
        wine.start([client, "240"], cwd=game_dir)
    wait_selection_window(driver)

    header = header_text(driver, MAIN_CAPTION)
    checks.eq("main window header names the game directory", header, "找到Zelk目录：" + game_win)

    accounts_want, addons_want = expected_rows(game_dir, game_win)
    lv1 = driver.list_view_by_columns(SELECTION_CAPTION, ["名称", "类型"])
    lv2 = driver.list_view_by_columns(SELECTION_CAPTION, ["插件目录", "插件名称"])
    lv1_rows = driver.rows(SELECTION_CAPTION, lv1)
    lv2_rows = driver.rows(SELECTION_CAPTION, lv2)
    checks.eq("account rows (name, type)", sorted(tuple(cols) for _, cols in lv1_rows), accounts_want)
    checks.eq("add-on rows (folder, name)", sorted(tuple(cols) for _, cols in lv2_rows), addons_want)
    checks.true("every row starts checked", all(c for c, _ in lv1_rows + lv2_rows))
    checks.true("the fixture has accounts and add-ons", accounts_want and addons_want)
    screenshot(args, args.case + "_selection_window", window_rect(driver, SELECTION_CAPTION))
    if demo and args.interactive:
        return
    checks.eq("list view IDs (accounts, add-ons)", (lv1, lv2), ("1005", "1011"))

    # The link labels: "清空", "反选" and "全选" of the add-on list, "反选" of the account list.
    def states(ctl):
        return [c for c, _ in driver.rows(SELECTION_CAPTION, ctl)]

    def after_click(label, ctl, want, what):
        driver.call("click", SELECTION_CAPTION, label)
        got = wait_for(lambda: (states(ctl) == want, states(ctl)), 10, what) if want else states(ctl)
        checks.eq(what, got, want)
    after_click("1009", lv2, [False] * len(lv2_rows), "add-on list after 清空")
    driver.call("check", SELECTION_CAPTION, lv2, "0", "on")
    after_click("1010", lv2, [False] + [True] * (len(lv2_rows) - 1), "add-on list after one checked and 反选")
    after_click("1008", lv2, [True] * len(lv2_rows), "add-on list after 全选")
    after_click("1004", lv1, [False] * len(lv1_rows), "account list after 反选")
    after_click("1004", lv1, [True] * len(lv1_rows), "account list after a second 反选")

    # Untick some rows, close, and read the counts the main window shows.
    untick1 = [0, 2][: max(0, len(lv1_rows) - 1)]
    untick2 = [1][: max(0, len(lv2_rows) - 1)]
    if scan:
        # Here every account is left out: the main window keeps its first text for them.
        untick1 = list(range(len(lv1_rows)))
        driver.call("click", SELECTION_CAPTION, "1003")
        wait_for(lambda: (not any(states(lv1)), None), 10, "the account list to clear")
    for r in untick1:
        driver.call("check", SELECTION_CAPTION, lv1, str(r), "off")
    for r in untick2:
        driver.call("check", SELECTION_CAPTION, lv2, str(r), "off")
    n = len(lv1_rows) - len(untick1)
    m = len(lv2_rows) - len(untick2)
    checks.eq("check states after unticking",
              [c for c, _ in driver.rows(SELECTION_CAPTION, lv1)], [i not in untick1 for i in range(len(lv1_rows))])

    driver.call("close", SELECTION_CAPTION)
    driver.call("gone", SELECTION_CAPTION)

    want = ("帐号备份：%d个项目" % n if n else "帐号配置：备份所有.", "插件备份：%d个项目" % m if m else "插件配置：备份所有.")

    def counts():
        texts = {c["id"]: c["text"] for c in driver.controls(MAIN_CAPTION)}
        got = (texts.get("1002"), texts.get("1003"))
        return got == want, got
    try:
        got = wait_for(counts, 15, "the counts on the main window")
    except Failure:
        got = counts()[1]
    checks.eq("counts shown by txt2 and txt3", got, want)
    screenshot(args, args.case + "_main_window", window_rect(driver, MAIN_CAPTION))
    if demo:
        return

    driver.call("close", MAIN_CAPTION)
    rc, _ = driver.call("gone", MAIN_CAPTION, timeout_ms=15000, expect_ok=False)
    checks.eq("the tool ends when its main window closes", rc, 0)


def cleanup(args, wine, driver):
    for exe in (TOOL_EXE, "zelkclient.exe", "zelktestwin.exe"):
        try:
            driver.call("kill", exe, win_path(args.work) + "\\", expect_ok=False)
        except Exception:  # cleanup must not hide the test's own result
            pass
    wine.stop_all()


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("case", choices=["driver", "in_game_dir", "process_scan", "demo"])
    ap.add_argument("--wine-run", required=True)
    ap.add_argument("--driver", required=True)
    ap.add_argument("--client")
    ap.add_argument("--testwin")
    ap.add_argument("--tool")
    ap.add_argument("--fake-game", help="native make_fake_game")
    ap.add_argument("--fake-game-exe", help="Windows make_fake_game.exe, run under wine")
    ap.add_argument("--work", required=True)
    ap.add_argument("--artifacts", required=True)
    ap.add_argument("--interactive", action="store_true", help="demo: leave the tool running")
    args = ap.parse_args()
    # Programs are started from other working directories: make every path absolute.
    for name in ("wine_run", "driver", "client", "testwin", "tool", "fake_game", "fake_game_exe", "work", "artifacts"):
        if getattr(args, name):
            setattr(args, name, os.path.abspath(getattr(args, name)))
    if not os.environ.get("DISPLAY"):
        sys.exit("run_e2e: no X display (run it under xvfb-run -a)")

    if os.path.exists(args.work):
        shutil.rmtree(args.work)
    os.makedirs(args.work)
    wine = Wine(args)
    driver = Driver(wine, args.driver)
    checks = Checks()
    try:
        if args.case == "driver":
            case_driver(args, wine, driver, checks)
        else:
            if not args.tool:
                raise Failure("--tool is required for case %s" % args.case)
            demo = args.case == "demo"
            run_tool_case(args, wine, driver, checks, scan=args.case == "process_scan", demo=demo)
            if demo and args.interactive:
                log("the tool is running on display %s; close it to finish" % os.environ["DISPLAY"])
                for p in wine.started:
                    p.wait()
                return 0
    except (Failure, subprocess.SubprocessError, OSError) as e:
        checks.failed += 1
        log("FAIL %s" % e)
        try:
            screenshot(args, "%s_failure" % args.case)
        except Exception as shot_error:  # the failure itself is what matters
            log("(no failure screenshot: %s)" % shot_error)
    finally:
        if not args.interactive:
            cleanup(args, wine, driver)
    log("e2e %s: %d passed, %d failed" % (args.case, checks.passed, checks.failed))
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main())
