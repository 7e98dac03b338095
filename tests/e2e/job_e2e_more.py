#!/usr/bin/env python3
"""More of the whole job under wine, driven like a user.

  rerun_open_locked  the shipped tool packs a fake game with a password; the same day, in the same
                directory, it runs again without a password while one add-on file is held open
                without sharing by another Windows process. The second run tells the user (a
                message box captioned "错误" naming the file) and still builds the package; the
                dated zip then holds exactly one entry, the new package. That package restores in
                a second game directory without asking for a password; everything but the
                unreadable file (and what its import left out) comes back unchanged.

The holder of the file is a tiny console program compiled with mingw at run time; without a
mingw compiler the locked file is left out of the case (and said so in the log).
Runs under xvfb-run -a with the arguments of run_e2e.py.
"""
import datetime
import os
import shutil
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_e2e as e2e  # noqa: E402
import job_e2e as job  # noqa: E402

ERROR_CAPTION = "错误"

# Opens the file named by its first argument for reading with no sharing, then creates the file
# named by its second argument and keeps the handle until that file is deleted (at most 10 min).
HOLDER_SOURCE = r"""
#include <windows.h>
int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  HANDLE h = CreateFileW(argv[1], GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (h == INVALID_HANDLE_VALUE) return 1;
  HANDLE m = CreateFileW(argv[2], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (m == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(m);
  for (int i = 0; i < 6000 && GetFileAttributesW(argv[2]) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
  CloseHandle(h);
  return 0;
}
"""


def build_holder(work):
    cc = shutil.which("x86_64-w64-mingw32-gcc-posix") or shutil.which("x86_64-w64-mingw32-gcc")
    if not cc:
        return None
    src = os.path.join(work, "holder.c")
    exe = os.path.join(work, "holder.exe")
    with open(src, "w") as f:
        f.write(HOLDER_SOURCE)
    subprocess.run([cc, "-municode", "-O1", "-o", exe, src], check=True, timeout=120)
    return exe


class Holder:
    """A Windows process keeping one file open without sharing."""

    def __init__(self, args, exe, path):
        self.marker = os.path.join(os.path.dirname(exe), "holding")
        if os.path.exists(self.marker):
            os.remove(self.marker)
        self.p = subprocess.Popen([args.wine_run, exe, e2e.win_path(path), e2e.win_path(self.marker)],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            e2e.wait_for(lambda: (os.path.exists(self.marker) or self.p.poll() is not None, None), 60,
                         "the holder to open the file")
        except e2e.Failure:
            self.release()
            raise
        if not os.path.exists(self.marker):
            raise e2e.Failure("the holder could not open %s (exit %s)" % (path, self.p.returncode))

    def release(self):
        if os.path.exists(self.marker):
            os.remove(self.marker)
        try:
            self.p.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.p.kill()
            self.p.wait()


def visible_windows(driver):
    return [w.get("text", "") for w in driver.records("window", "windows") if w.get("visible") == "1"]


def pack(args, wine, driver, home, password, desktop):
    """One run of the tool in `home`: selection window closed untouched, `password` typed, packed.
    Returns the texts of the "错误" boxes answered during the run."""
    wine.started = []
    wine.start_on_desktop(os.path.join(home, e2e.TOOL_EXE), desktop, cwd=home)
    driver.call("wait", e2e.MAIN_CAPTION, timeout_ms=60000)
    e2e.wait_selection_window(driver)
    driver.call("close", e2e.SELECTION_CAPTION)
    driver.call("gone", e2e.SELECTION_CAPTION)
    if password:
        driver.call("settext", e2e.MAIN_CAPTION, "1005", password)
    driver.call("click", e2e.MAIN_CAPTION, "1007")
    answered = []
    deadline = time.time() + 300
    while time.time() < deadline:
        # Packing has ended when the tool's process has.
        if job.wait_exited(driver, e2e.TOOL_EXE, e2e.win_path(home) + "\\", 1000) == 0:
            break
        if ERROR_CAPTION in visible_windows(driver):
            _, recs = driver.call("answer", ERROR_CAPTION, "id:1", timeout_ms=5000)
            answered += [f.get("text", "") for k, f in recs if k == "message"]
    else:
        raise e2e.Failure("the tool did not end after packing")
    return answered


def restore(args, wine, driver, package, cafe):
    """Starts the restore program in `cafe` and lets it run; True when it asked for a password."""
    wine.started = []
    wine.start_on_desktop(package, e2e.desktop_name(args) + "-cafe", cwd=cafe)
    driver.call("wait", job.RESTORE_CAPTION, timeout_ms=60000)
    driver.call("wait-text", job.RESTORE_CAPTION, "1001", "找到Zelk目录：*", timeout_ms=30000)
    driver.call("click", job.RESTORE_CAPTION, "1002")
    asked = False
    deadline = time.time() + 300
    while time.time() < deadline:
        shown = visible_windows(driver)
        if job.DONE_CAPTION in shown:
            break
        if job.PASSWORD_CAPTION in shown:
            asked = True
            driver.call("close", job.PASSWORD_CAPTION)
            return asked
        if job.CONFIRM_CAPTION in shown:
            job.answer_dialog(driver, job.CONFIRM_CAPTION, "1004")  # &All
        time.sleep(0.3)
    else:
        raise e2e.Failure("the restore program did not finish")
    driver.call("answer", job.DONE_CAPTION, "id:1")
    driver.call("gone", job.RESTORE_CAPTION, timeout_ms=30000)
    return asked


def zip_entry(checks, zip_path, what):
    info = job.check_zip(checks, zip_path)
    with zipfile.ZipFile(zip_path) as z:
        return z.read(info)


def run(args, wine, driver, checks):
    work = args.work
    home = os.path.join(work, "home")
    cafe = os.path.join(work, "cafe")
    e2e.make_game(args, wine, home, seed=31)
    e2e.make_game(args, wine, cafe, seed=32)
    # The cafe holds no accounts and no add-ons: nothing is asked about while restoring.
    for folder in ("userdata", "interface"):
        real = e2e.find_child(cafe, folder)
        shutil.rmtree(real)
        os.makedirs(real)
    os.environ["ZELK_SHELL_LOG"] = e2e.win_path(os.path.join(work, "shell.log"))
    originals = job.files_below(job.packed_tops(home))
    shutil.copyfile(args.tool, os.path.join(home, e2e.TOOL_EXE))
    zip_path = os.path.join(home, "Zelk配置文件恢复包" + datetime.date.today().strftime("%Y-%m-%d") + ".zip")

    # --- first run, with a password ----------------------------------------------------------
    boxes = pack(args, wine, driver, home, job.PASSWORD, e2e.desktop_name(args))
    checks.eq("first run: no error box", boxes, [])
    first = zip_entry(checks, zip_path, "first")
    e2e.cleanup(args, wine, driver)

    # --- second run, same day, no password, one add-on file held open ------------------------
    locked_rel = None
    holder = None
    holder_exe = build_holder(work)
    if holder_exe:
        addon_files = sorted(r for r in originals if r.startswith("interface/"))
        checks.true("the fake game has add-on files", addon_files)
        locked_rel = addon_files[len(addon_files) // 2]
        holder = Holder(args, holder_exe, originals[locked_rel])
    else:
        e2e.log("note: no mingw compiler; the second run has no locked file")
    try:
        boxes = pack(args, wine, driver, home, "", e2e.desktop_name(args) + "-2")
    finally:
        if holder:
            holder.release()
    e2e.cleanup(args, wine, driver)
    if locked_rel:
        checks.eq("one error box for the held file", len(boxes), 1)
        locked_win = e2e.win_path(originals[locked_rel])
        checks.true("the box names the held file", boxes and locked_win.lower() in boxes[0].lower(),
                    boxes[:1])
    else:
        checks.eq("second run: no error box", boxes, [])
    zips = [n for n in os.listdir(home) if n.lower().endswith(".zip")]
    checks.eq("one zip in the directory", zips, [os.path.basename(zip_path)])
    second = zip_entry(checks, zip_path, "second")
    checks.true("the zip's package is a new one", second != first)

    # --- restoring the new package: no password is asked ----------------------------------
    package = os.path.join(cafe, job.PACKAGE_EXE)
    with open(package, "wb") as f:
        f.write(second)
    asked = restore(args, wine, driver, package, cafe)
    checks.true("no password was asked", not asked)
    if asked:
        return
    bad, missing = [], []
    locked_top = locked_rel.split("/")[:2] if locked_rel else None
    for rel, src in sorted(originals.items()):
        try:
            dst = job.lookup(cafe, rel)
        except e2e.Failure:
            # Only the held file and what its add-on's import left out after it may be missing.
            if locked_top and rel.split("/")[:2] == locked_top:
                missing.append(rel)
            else:
                bad.append("missing " + rel)
            continue
        with open(dst, "rb") as f, open(src, "rb") as g:
            if f.read() != g.read():
                bad.append("contents " + rel)
    checks.eq("restored files equal the packed ones", bad[:10], [])
    if locked_rel:
        checks.true("the held file was not restored", locked_rel in missing)


def main():
    return job.main_for(__doc__, ["rerun_open_locked"], run, "job_e2e_more")


if __name__ == "__main__":
    sys.exit(main())
