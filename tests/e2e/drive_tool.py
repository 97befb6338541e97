#!/usr/bin/env python3
"""Drives the real tarnisk-standin program as a person would, under an X server with no window
manager, against the stand-in services, and checks what reached the services, the clipboard, the
browser hand-off and the cookie file.

With --own-x-server it starts its own Xvfb on a display number that Xvfb itself finds free
(-displayfd), so that runs of several sessions on one machine never meet on one display, as they
can with "xvfb-run -a"; without it, it uses the X server in DISPLAY.

The program is copied into a fresh folder with an empty Dat folder beside it, so the run starts
without cookies and leaves the build's own Dat alone. An xdg-open first on PATH records every
address the program hands to the browser and then downloads it the way a browser would.
"""

import argparse
import ctypes
import fcntl
import hashlib
import json
import os
import re
import select
import shutil
import signal
import socket
import subprocess
import sys
import time
import urllib.request

# Client-area geometry of the window's controls (x, y, width, height).
KEYWORD_BOX = (8, 8, 352, 24)
SEARCH_BUTTON = (368, 8, 56, 24)
RESULT_LIST = (8, 40, 416, 200)
PREVIOUS_BUTTON = (8, 256, 104, 24)
NEXT_BUTTON = (128, 256, 104, 24)
PAGE_BOX = (312, 256, 64, 24)
JUMP_BUTTON = (376, 256, 48, 24)

USER_AGENT = ("Mozilla/5.0 (Windows NT 6.1;WOW64) ApppleWebKit/537.17(KHTML,like Gecko) "
              "Chrome/24.0.1312.57Safari/5; MSI.17")
FIXED_HEADERS = {
    "Accept": "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
              "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*",
    "Accept-Language": "zh-cn",
    "Content-Type": "application/x-www-form-urlencoded",
    "Content-Length": "0",
}
BROWSER_AGENT = "tarnisk-e2e-browser"
WAIT = 30.0

FAKE_XDG_OPEN = r'''#!/usr/bin/env python3
# Records the address it is asked to open, then fetches it as a browser would: browsers read a
# backslash in an http address as a slash.
import json, sys, time, urllib.request
record = %(record)r
address = sys.argv[1] if len(sys.argv) > 1 else ""
entry = {"argv": sys.argv[1:], "time": time.time()}
url = "http://" + address[len("http:"):].lstrip("\\/") if address.startswith("http:") else address
try:
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    request = urllib.request.Request(url, headers={"User-Agent": %(agent)r})
    with opener.open(request, timeout=20) as response:
        body = response.read()
    entry["downloaded"] = body.decode("utf-8", "replace")
except Exception as error:
    entry["error"] = repr(error)
with open(record, "a", encoding="utf-8") as out:
    out.write(json.dumps(entry, ensure_ascii=False) + "\n")
'''


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def log(message):
    print("[e2e] " + message, flush=True)


def wait_for(what, probe, timeout=WAIT, interval=0.1):
    """Polls probe until it returns a true value, for at most timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def die_with_parent():
    # The children end with this driver, even when it is killed without a chance to clean up.
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def run(*command, timeout=20):
    done = subprocess.run(command, capture_output=True, timeout=timeout)
    return done.returncode, done.stdout


def xdotool(*args):
    code, out = run("xdotool", *args)
    if code != 0:
        raise Failure("xdotool %s failed" % " ".join(args))
    return out.decode("utf-8", "replace")


def encode_keyword(keyword):
    """The keyword as the program must put it into the query: UTF-8, percent-encoded, "+" for a
    space, letters, digits and "-._" kept."""
    out = []
    for byte in keyword.encode("utf-8"):
        c = chr(byte)
        if c.isascii() and (c.isalnum() or c in "-._"):
            out.append(c)
        elif c == " ":
            out.append("+")
        else:
            out.append("%%%02X" % byte)
    return "".join(out)


class StandinLog:
    def __init__(self, path):
        self.path = path

    def all(self):
        try:
            with open(self.path, encoding="utf-8") as f:
                return [json.loads(line) for line in f if line.endswith("\n")]
        except FileNotFoundError:
            return []

    def from_tool(self):
        return [r for r in self.all() if dict(r["headers"]).get("User-Agent") != BROWSER_AGENT]


class Session:
    def __init__(self, args):
        self.args = args
        self.port = args.port
        self.host = "127.0.0.1:%d" % args.port
        self.work = os.path.abspath(args.work)
        self.processes = []
        self.window = None
        self.origin = (0, 0)
        self.tool = None
        sys.dont_write_bytecode = True
        sys.path.insert(0, os.path.dirname(os.path.abspath(args.standin)))
        import standin
        self.standin = standin
        self.log = StandinLog(os.path.join(self.work, "standin.jsonl"))
        self.opened_path = os.path.join(self.work, "opened.jsonl")
        self.expected_requests = []
        self.seen = 0
        self.row_centres = None

    # --- processes ------------------------------------------------------------------------------

    def start(self, command, out_name, env=None, cwd=None):
        out = open(os.path.join(self.work, out_name), "wb")
        process = subprocess.Popen(command, stdout=out, stderr=subprocess.STDOUT, env=env, cwd=cwd,
                                   preexec_fn=die_with_parent)
        out.close()
        self.processes.append(process)
        return process

    def stop_all(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait(timeout=10)

    def prepare(self):
        shutil.rmtree(self.work, ignore_errors=True)
        app = os.path.join(self.work, "app")
        os.makedirs(os.path.join(app, "Dat"))
        self.program = os.path.join(app, os.path.basename(self.args.tool))
        shutil.copy2(self.args.tool, self.program)
        self.cookie_file = os.path.join(app, "Dat", "cookies.dat")
        fake_bin = os.path.join(self.work, "fake-bin")
        os.makedirs(fake_bin)
        xdg_open = os.path.join(fake_bin, "xdg-open")
        with open(xdg_open, "w", encoding="utf-8") as f:
            f.write(FAKE_XDG_OPEN % {"record": self.opened_path, "agent": BROWSER_AGENT})
        os.chmod(xdg_open, 0o755)
        self.fake_bin = fake_bin

    def start_x_server(self):
        read_end, write_end = os.pipe()
        out = open(os.path.join(self.work, "xvfb.out"), "wb")
        process = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                                    "-nolisten", "tcp"], stdout=out, stderr=subprocess.STDOUT,
                                   pass_fds=(write_end,), preexec_fn=die_with_parent)
        out.close()
        os.close(write_end)
        self.processes.append(process)
        number = b""
        deadline = time.monotonic() + WAIT
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], max(0.0, deadline - time.monotonic()))
            chunk = os.read(read_end, 16) if ready else b""
            check(chunk, "Xvfb did not start: " + self.read("xvfb.out"))
            number += chunk
        os.close(read_end)
        os.environ["DISPLAY"] = ":" + number.decode().strip()
        log("Xvfb on display %s" % os.environ["DISPLAY"])

    def start_standin(self):
        process = self.start([sys.executable, self.args.standin, "--port", str(self.port),
                              "--log", self.log.path], "standin.out")

        def answers():
            check(process.poll() is None, "the stand-in ended at start (port %d taken?): %s"
                  % (self.port, self.read("standin.out")))
            try:
                with urllib.request.build_opener(urllib.request.ProxyHandler({})).open(
                        "http://%s/_standin/ping" % self.host, timeout=2) as response:
                    return response.read().decode() == "tarnisk-standin %d\n" % process.pid
            except OSError:
                return False
        wait_for("the stand-in to answer", answers)

    def start_tool(self):
        env = dict(os.environ)
        env["PATH"] = self.fake_bin + os.pathsep + env.get("PATH", "")
        env.pop("QT_QPA_PLATFORM", None)
        if self.args.lsan_suppressions:
            extra = "suppressions=" + os.path.abspath(self.args.lsan_suppressions)
            env["LSAN_OPTIONS"] = (env["LSAN_OPTIONS"] + ":" + extra) if env.get("LSAN_OPTIONS") else extra
        # Started from another folder: the program must find its Dat folder by itself.
        self.tool = self.start([self.program], "tool.out", env=env, cwd=self.work)

        def window():
            check(self.tool.poll() is None, "the program ended at start: " + self.read("tool.out"))
            code, out = run("xdotool", "search", "--onlyvisible", "--name", "^Tarnisk$")
            ids = out.split()
            return ids[0].decode() if code == 0 and ids else None
        self.window = wait_for("the window to appear", window, timeout=90, interval=0.25)
        geometry = dict(line.split("=", 1) for line in xdotool(
            "getwindowgeometry", "--shell", self.window).split())
        self.origin = (int(geometry["X"]), int(geometry["Y"]))
        log("window %s at %s, %sx%s" % (self.window, self.origin, geometry["WIDTH"], geometry["HEIGHT"]))
        xdotool("windowfocus", "--sync", self.window)

    def read(self, name):
        try:
            with open(os.path.join(self.work, name), encoding="utf-8", errors="replace") as f:
                return f.read()[-4000:]
        except FileNotFoundError:
            return ""

    # --- input ----------------------------------------------------------------------------------

    def point(self, x, y):
        return str(self.origin[0] + x), str(self.origin[1] + y)

    def click(self, control, button=1, repeat=1, dx=None, dy=None):
        x, y, w, h = control
        px, py = self.point(x + (w // 2 if dx is None else dx), y + (h // 2 if dy is None else dy))
        xdotool("mousemove", "--sync", px, py)
        xdotool("click", "--repeat", str(repeat), "--delay", "90", str(button))

    def type_into(self, control, text):
        self.click(control)
        xdotool("key", "ctrl+a", "BackSpace")
        xdotool("type", "--delay", "60", text)

    def list_image(self):
        x, y, w, h = RESULT_LIST
        px, py = self.point(x, y)
        code, out = run("import", "-window", "root", "-crop", "%dx%d+%s+%s" % (w, h, px, py),
                        "-depth", "8", "rgb:-")
        check(code == 0 and len(out) == w * h * 3, "could not grab the result list")
        return out

    def wait_list_settled(self, before):
        """Waits until the result list shows something other than before and stays the same for
        two grabs in a row: the command has parsed its page and repainted."""
        state = {"last": None}

        def settled():
            image = hashlib.sha1(self.list_image()).digest()
            done = image != before and image == state["last"]
            state["last"] = image
            return done
        wait_for("the result list to show the new rows", settled, interval=0.2)

    def list_hash(self):
        return hashlib.sha1(self.list_image()).digest()

    def measure_rows(self):
        """Finds the text lines of the list in a grab: the column header first, then one per row."""
        x, y, w, h = RESULT_LIST
        image = self.list_image()
        dark_rows = []
        for row in range(h):
            line = image[row * w * 3:(row + 1) * w * 3]
            dark_rows.append(any(sum(line[i:i + 3]) < 240 for i in range(12 * 3, 300 * 3, 3)))
        bands, start = [], None
        for row, dark in enumerate(dark_rows + [False]):
            if dark and start is None:
                start = row
            elif not dark and start is not None:
                bands.append((start, row))
                start = None
                centres = [(a + b) / 2.0 for a, b in bands]
        check(len(bands) == 11, "expected the header and ten rows in the list, found %s" % bands)
        step = (centres[-1] - centres[1]) / 9.0
        check(8 <= step <= 40, "implausible row height %.1f (%s)" % (step, bands))
        self.row_centres = [int(round(centres[1] + i * step)) for i in range(10)]
        log("rows of the list at %s" % self.row_centres)

    def row(self, index):
        return (RESULT_LIST[0], RESULT_LIST[1] + self.row_centres[index], 200, 0)

    def popup_count(self):
        code, out = run("xdotool", "search", "--onlyvisible", "--pid", str(self.tool.pid), ".*")
        return len(out.split()) if code == 0 else 0

    def context_menu(self, index, item_position):
        """Right-clicks row index and chooses the menu item at item_position (1-based) by keyboard."""
        before = self.popup_count()
        self.click(self.row(index), button=3, dy=0)
        wait_for("the context menu to open", lambda: self.popup_count() > before)
        xdotool("key", "--delay", "80", *(["Down"] * item_position), "Return")
        wait_for("the context menu to close", lambda: self.popup_count() <= before)

    def clipboard(self):
        code, out = run("xclip", "-o", "-selection", "clipboard", timeout=5)
        return out.decode("utf-8", "replace") if code == 0 else None

    def opened(self):
        try:
            with open(self.opened_path, encoding="utf-8") as f:
                return [json.loads(line) for line in f if line.endswith("\n")]
        except FileNotFoundError:
            return []

    # --- expectations ---------------------------------------------------------------------------

    def search_path(self, keyword, offset=None):
        path = "/s?ie=utf-8&wd=%s+site%%3A%s" % (encode_keyword(keyword), self.host)
        return path if offset is None else path + "&pn=" + offset

    def wait_request(self, path, status):
        def arrived():
            return any(r["path"] == path and r["status"] == status for r in self.log.from_tool()[self.seen:])
        wait_for("a request for %s answered %d" % (path, status), arrived)

    def fetch_page(self, action, keyword, offset, first_visit=False):
        """Runs action (a click) and waits until its page is fetched and its rows shown."""
        path = self.search_path(keyword, offset)
        self.seen = len(self.log.from_tool())
        before = self.list_hash()
        action()
        if first_visit:
            self.expected_requests.append((path, 301))
        self.expected_requests.append((path, 200))
        self.wait_request(path, 200)
        self.wait_list_settled(before)
        self.check_requests_so_far()

    def check_requests_so_far(self):
        got = [(r["path"], r["status"]) for r in self.log.from_tool()]
        check(got == self.expected_requests,
              "the services received\n  %s\nexpected\n  %s" % ("\n  ".join(map(str, got)),
                                                               "\n  ".join(map(str, self.expected_requests))))

    def expect_copy(self, index, keyword, number):
        expected = "http://%s/link?url=%s" % (self.host, self.standin.link_token(keyword, number))
        self.context_menu(index, 2)
        wait_for("the clipboard to hold %s" % expected, lambda: self.clipboard() == expected)
        log("copied %s" % expected)

    def expect_download(self, start, keyword, number):
        token = self.standin.link_token(keyword, number)
        count = len(self.opened())
        self.seen = len(self.log.from_tool())
        start()
        entries = wait_for("the browser to be asked to open a download",
                           lambda: self.opened()[count:] or None)
        check(len(entries) == 1, "one download started %d browser hand-offs" % len(entries))
        entry = entries[0]
        direct = "http:\\\\%s/file/%s?fid=%d" % (self.host, token, self.standin.share_id(token))
        check(entry["argv"] == [direct], "the browser was asked to open %r, expected %r" % (entry["argv"], [direct]))
        body = self.standin.file_body(token).decode("utf-8")
        check(entry.get("downloaded") == body, "the browser downloaded %r, expected %r" % (entry, body))
        link = "/link?url=" + token
        share = "/share/link?surl=%s&shareid=%d" % (token, self.standin.share_id(token))
        self.expected_requests += [(link, 200), (share, 200)]
        self.check_requests_so_far()
        log("download of result %d handed %s to the browser" % (number, direct))

    def check_headers_and_cookies(self):
        """Every request carries the fixed headers and the cookies kept so far, in the Cookie
        format the services expect; the USER_RS cookie is never sent back."""
        kept = {name: value for name, value, _ in self.standin.FIRST_VISIT_COOKIES if "USER_RS" not in name}
        jar = {}
        for r in self.log.from_tool():
            headers = dict(r["headers"])
            check(headers.get("User-Agent") == USER_AGENT, "User-Agent %r" % headers.get("User-Agent"))
            for name, value in FIXED_HEADERS.items():
                check(headers.get(name) == value, "%s header %r in %s" % (name, headers.get(name), r["path"]))
            check(headers.get("Referer") == "http://%s%s" % (self.host, r["path"]),
                  "Referer %r for %s" % (headers.get("Referer"), r["path"]))
            cookie = r["cookie"]
            if not jar:
                check(cookie is None, "a Cookie header before any cookie was set: %r" % cookie)
            else:
                check(cookie is not None and re.fullmatch(r"([^=;\s]+=[^;\s]*;)+", cookie),
                      "Cookie header %r of %s is not name=value;name2=value2;" % (cookie, r["path"]))
                pairs = dict(p.split("=", 1) for p in cookie[:-1].split(";"))
                check(pairs == jar, "%s sent the cookies %s, expected %s" % (r["path"], pairs, jar))
            for set_cookie in r["set_cookie"]:
                name, value = set_cookie.split(";", 1)[0].split("=", 1)
                if "USER_RS" not in name:
                    jar[name] = value
        check(all(name in jar for name in kept), "cookies kept: %s" % jar)
        return jar

    def check_cookie_file(self, jar):
        """The cookie file beside the program: one [cookies0] section whose entries are the
        cookies kept, each value stored as scrambled numbers that decode to value + ";"."""
        check(os.path.isfile(self.cookie_file), "no cookie file at " + self.cookie_file)
        with open(self.cookie_file, "rb") as f:
            text = f.read().decode("ascii")
        lines = [line for line in text.replace("\r\n", "\n").split("\n") if line.strip()]
        check(lines and lines[0] == "[cookies0]", "cookie file does not open with [cookies0]:\n" + text)
        check("USER_RS" not in text, "the USER_RS cookie was stored:\n" + text)
        stored = dict(line.split("=", 1) for line in lines[1:])
        check(set(stored) == set(jar), "cookie file names %s, expected %s" % (sorted(stored), sorted(jar)))
        for name, numbers_text in stored.items():
            check(re.fullmatch(r"-?\d+(,-?\d+)*", numbers_text), "%s stored as %r" % (name, numbers_text))
            numbers = [int(n) for n in numbers_text.split(",")]
            value = (jar[name] + ";").encode("ascii")
            check(len(numbers) == len(value), "%s: %d numbers for %d bytes" % (name, len(numbers), len(value)))
            # The first number is twice the last byte plus the key; the rest follow from it.
            key = numbers[0] - 2 * value[-1]
            check(100 <= key <= 999, "%s: key %d is not three digits" % (name, key))
            codes = [(numbers[0] - key) // 2] + [numbers[i] + numbers[i - 1] - key for i in range(1, len(numbers))]
            if len(codes) > 1:
                codes[0], codes[-1] = codes[-1], codes[0]
            check(bytes(c & 0xFF for c in codes) == value, "%s does not decode to %r" % (name, value))
        log("cookie file holds %s" % sorted(stored))

    def screenshot(self):
        os.makedirs(os.path.dirname(os.path.abspath(self.args.screenshot)), exist_ok=True)
        code, _ = run("import", "-window", self.window, self.args.screenshot)
        check(code == 0, "could not save the screenshot")
        log("screenshot saved to %s" % self.args.screenshot)


def scenario(s):
    standin = s.standin
    first = "tarnisk 手册"
    second = "电影"
    s.type_into(KEYWORD_BOX, first)
    log("search for %r" % first)
    s.fetch_page(lambda: s.click(SEARCH_BUTTON), first, None, first_visit=True)
    s.measure_rows()
    s.expect_copy(1, first, 2)

    # Page 1 has no "上一页": the click fetches nothing, the next click is served first.
    s.click(PREVIOUS_BUTTON)
    s.fetch_page(lambda: s.click(NEXT_BUTTON), first, "10")
    s.fetch_page(lambda: s.click(NEXT_BUTTON), first, "20")
    s.fetch_page(lambda: s.click(PREVIOUS_BUTTON), first, "10")
    s.expect_copy(0, first, 11)

    # Letters and full stops typed into the page box are dropped.
    s.type_into(PAGE_BOX, "a5.")
    s.fetch_page(lambda: s.click(JUMP_BUTTON), first, "40")
    s.expect_copy(2, first, 43)
    s.expect_download(lambda: s.context_menu(0, 1), first, 41)
    s.expect_download(lambda: s.click(s.row(3), repeat=2, dy=0), first, 44)

    last = standin.page_count(first)
    s.type_into(PAGE_BOX, str(last))
    s.fetch_page(lambda: s.click(JUMP_BUTTON), first, str((last - 1) * 10))
    # The last page has no "下一页": the click fetches nothing, the next click is served first.
    s.click(NEXT_BUTTON)
    s.fetch_page(lambda: s.click(PREVIOUS_BUTTON), first, str((last - 2) * 10))
    s.expect_copy(9, first, (last - 2) * 10 + 10)

    s.type_into(KEYWORD_BOX, second)
    log("search for %r" % second)
    s.fetch_page(lambda: s.click(SEARCH_BUTTON), second, None)
    s.screenshot()
    s.expect_copy(4, second, 5)

    jar = s.check_headers_and_cookies()
    xdotool("windowfocus", "--sync", s.window)
    xdotool("key", "Escape")
    code = wait_for("the program to end after Esc",
                    lambda: s.tool.poll() is not None and [s.tool.returncode], timeout=60, interval=0.2)[0]
    check(code == 0, "the program ended with status %d:\n%s" % (code, s.read("tool.out")))
    s.check_requests_so_far()
    s.check_cookie_file(jar)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--standin", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--screenshot", required=True)
    parser.add_argument("--lsan-suppressions", default="")
    parser.add_argument("--own-x-server", action="store_true")
    args = parser.parse_args()
    if not args.own_x_server and not os.environ.get("DISPLAY"):
        print("no X display: pass --own-x-server or run this under xvfb-run", file=sys.stderr)
        return 2
    check(os.path.isfile(args.tool), "build the tarnisk-standin target first: %s is missing" % args.tool)
    signal.signal(signal.SIGTERM, lambda signum, frame: sys.exit(3))

    # The port is fixed at build time; one run at a time may use it on this machine.
    lock = open("/tmp/tarnisk-standin-%d.lock" % args.port, "w")
    wait_for("other runs on port %d to finish" % args.port,
             lambda: try_lock(lock), timeout=180, interval=0.5)
    with socket.socket() as probe:
        check(probe.connect_ex(("127.0.0.1", args.port)) != 0,
              "something else is listening on 127.0.0.1:%d" % args.port)

    session = Session(args)
    try:
        session.prepare()
        if args.own_x_server:
            session.start_x_server()
        session.start_standin()
        session.start_tool()
        scenario(session)
        log("passed")
        return 0
    except Failure as failure:
        print("E2E FAILURE: %s" % failure, file=sys.stderr)
        print("--- program output ---\n" + session.read("tool.out"), file=sys.stderr)
        try:
            session.screenshot()
        except Exception:
            pass
        return 1
    finally:
        session.stop_all()


def try_lock(lock):
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        return True
    except OSError:
        return False


if __name__ == "__main__":
    sys.exit(main())
