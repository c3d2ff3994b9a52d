#!/usr/bin/python3
"""obxhelper.exe as a process under Wine: exit codes, the single instance, "--quit", the log in the
prefix's roaming application-data folder, and an HTTP interface that answers byte for byte as the
Linux helper does. obxhelper.exe serves only processes of its own user, so its requests leave from a
Windows process (http_exchange.exe); one from this Linux process is a connection of a foreign owner.

Usage: helper_program_wine.py <wine-run.sh> <wine prefix> <obxhelper.exe> <Linux obxhelper> <http_exchange.exe>
"""

import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

WINE_RUN, PREFIX, WINDOWS_HELPER, LINUX_HELPER, HTTP_EXCHANGE = sys.argv[1:6]
# Generous: Wine starts slowly on a small, busy machine.
WAIT = 60
# The largest request body the command server reads (64 MiB).
BODY_LIMIT = 64 * 1024 * 1024


def wait_until(condition, timeout=WAIT):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.2)
    return condition()


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def roaming_folder():
    users = os.path.join(PREFIX, "drive_c", "users")
    for name in sorted(os.listdir(users)):
        candidate = os.path.join(users, name, "AppData", "Roaming")
        if name != "Public" and os.path.isdir(candidate):
            return candidate
    raise AssertionError("no roaming application-data folder in " + users)


def linux_exchange(port, request, *options):
    """Sends raw request bytes from this process; every byte the server writes until it closes, or with
    "--first-event" up to the end of the first server-sent event."""
    with socket.create_connection(("127.0.0.1", port), timeout=WAIT) as connection:
        connection.sendall(request)
        answer = b""
        while True:
            if "--first-event" in options and b"\n\n" in answer:
                return answer[:answer.index(b"\n\n") + 2]
            chunk = connection.recv(65536)
            if not chunk:
                return answer
            answer += chunk


def windows_exchange(port, request, *options):
    """The same from a Windows process of the helper's own user."""
    done = subprocess.run([WINE_RUN, PREFIX, HTTP_EXCHANGE, str(port)] + list(options), input=request,
                          stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=2 * WAIT)
    if done.returncode != 0:
        raise OSError("http_exchange.exe ended with %d: %s" % (done.returncode,
                                                              done.stderr.decode("utf-8", "replace")))
    return done.stdout


def request_bytes(port, method, target, body=b"", headers=b""):
    text = b"%s %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nConnection: close\r\n" % (method, target, port)
    if body:
        text += b"Content-Length: %d\r\n" % len(body)
    return text + headers + b"\r\n" + body


def legacy_settings():
    """The earlier generation's settings (UTF-16 with a byte-order mark): one trackball model."""
    text = ('<?xml version="1.0" encoding="utf-16"?>\n<ObxSettings version="3">'
            '<Application name="All programs"><Device id="1" speed="10"/></Application></ObxSettings>')
    return b"\xff\xfe" + text.encode("utf-16-le")


class Helper:
    """One helper program with its own HTTP port and data folder."""

    def __init__(self, command, environment, data_folder, output, exchange):
        self.command = command
        self.exchange = exchange
        self.environment = dict(os.environ, **environment)
        self.data_folder = data_folder
        self.output = output
        self.port = int(environment["OBX_HTTP_PORT"])
        self.process = None

    def run(self, *args, timeout=WAIT):
        """Runs a second start of the program to its end; its exit code."""
        return subprocess.run(self.command + list(args), env=self.environment, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=timeout).returncode

    def start(self, *args):
        with open(self.output, "ab") as output:
            self.process = subprocess.Popen(self.command + list(args), env=self.environment, stdout=output,
                                            stderr=subprocess.STDOUT)
        if not wait_until(lambda: self.answers() or self.process.poll() is not None):
            raise AssertionError("the helper did not answer; output: " + self.read_output())
        if self.process.poll() is not None:
            raise AssertionError("the helper ended with %d; output: %s" % (self.process.returncode,
                                                                           self.read_output()))

    def request(self, method, target, body=b"", headers=b"", *options):
        return self.exchange(self.port, request_bytes(self.port, method, target, body, headers), *options)

    def answers(self):
        try:
            return self.request(b"GET", b"/config/general").startswith(b"HTTP/1.1 200")
        except (OSError, subprocess.TimeoutExpired):
            return False

    def wait(self):
        return self.process.wait(timeout=WAIT)

    def read_output(self):
        with open(self.output, "rb") as output:
            return output.read().decode("utf-8", "replace")

    def log(self):
        path = os.path.join(self.data_folder, "obxhelper_00.log")
        with open(path, "rb") as log:
            return log.read().decode("utf-8", "replace")

    def settings(self):
        with open(os.path.join(self.data_folder, "ObxSettings.json"), "rb") as settings:
            return json.load(settings)


def windows_path(path):
    """The name a Windows process of the prefix knows a Linux path by."""
    return "Z:" + path.replace("/", "\\")


def windows_helper(work, **environment):
    return Helper([WINE_RUN, PREFIX, WINDOWS_HELPER], dict({"OBX_HTTP_PORT": str(free_port())}, **environment),
                  os.path.join(roaming_folder(), "Halvex", "Ombrix"), os.path.join(work, "windows.out"),
                  windows_exchange)


def linux_helper(work, **environment):
    return Helper([LINUX_HELPER], dict({
        "DISPLAY": "",
        "XDG_CONFIG_HOME": os.path.join(work, "config"),
        "OBX_RUNTIME_DIR": os.path.join(work, "run"),
        "OBX_HTTP_PORT": str(free_port()),
        "XDG_SESSION_ID": "wine-comparison-%d" % os.getpid(),
        "DBUS_SYSTEM_BUS_ADDRESS": "unix:path=" + os.path.join(work, "no-bus"),
    }, **environment), os.path.join(work, "config", "Halvex", "Ombrix"), os.path.join(work, "linux.out"),
        linux_exchange)


class HelperProgramUnderWine(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="obx-wine-")
        self.helper = windows_helper(self.work)
        # Every run of this prefix shares the one roaming folder: start from none.
        shutil.rmtree(self.helper.data_folder, ignore_errors=True)

    def tearDown(self):
        if self.helper.process and self.helper.process.poll() is None:
            self.helper.run("--quit")
            self.helper.process.wait(timeout=WAIT)
        shutil.rmtree(self.work, ignore_errors=True)

    def test_quit_without_an_instance_ends_at_once_and_writes_no_log(self):
        self.assertEqual(self.helper.run("--quit"), 0)
        self.assertFalse(os.path.exists(self.helper.data_folder))

    def test_a_word_as_level_fails_with_one(self):
        self.assertEqual(self.helper.run("--logLevel", "loud"), 1)
        self.assertFalse(os.path.exists(os.path.join(self.helper.data_folder, "obxhelper_00.log")))

    def test_second_instance_ends_with_two_and_quit_ends_the_running_one(self):
        # The running instance notices foreground windows (the second one's brief window among them)
        # whenever they come; those lines are its own.
        def own_lines():
            return "".join(line for line in self.helper.log().splitlines(keepends=True)
                           if "Foreground window has changed: " not in line)
        self.helper.start("--logLevel", "1")
        before = own_lines()
        second = subprocess.run(self.helper.command, env=self.helper.environment, stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, timeout=WAIT)
        self.assertEqual(second.returncode, 2)
        self.assertRegex(second.stderr.decode("utf-8", "replace"),
                         r"^obxhelper: already running \(pid \d+\); use --quit to stop it\r?\n$")
        after = own_lines()
        self.assertEqual(after, before, "the second instance wrote no log line")
        self.assertIsNone(self.helper.process.poll())
        self.assertEqual(self.helper.run("--quit"), 0)
        self.assertEqual(self.helper.wait(), 0)
        self.assertFalse(self.helper.answers())
        log = self.helper.log()
        self.assertRegex(log.splitlines()[0],
                         r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d+: 0x[0-9a-f]+ Log initialized, logLevel: debug$")
        self.assertIn("Log deinitialized", log)
        self.assertLess(log.index("command server stopped"), log.index("Log deinitialized"))

    def test_launch_gui_without_the_application_opens_the_page_in_the_browser(self):
        # Wine hands an address to the Linux desktop's opener: a stand-in leaves a mark.
        tools = os.path.join(self.work, "tools")
        os.makedirs(tools)
        mark = os.path.join(self.work, "opened")
        with open(os.path.join(tools, "xdg-open"), "w") as opener:
            opener.write("#!/bin/sh\necho \"$@\" >> '%s'\n" % mark)
        os.chmod(os.path.join(tools, "xdg-open"), 0o755)
        self.helper.environment["PATH"] = tools + ":" + os.environ.get("PATH", "/usr/bin:/bin")
        self.assertEqual(self.helper.run("--launchGui"), 0)
        self.assertTrue(wait_until(lambda: os.path.exists(mark)), "nothing was opened")
        with open(mark) as opened:
            self.assertEqual(opened.read(), "http://127.0.0.1:%d/ui/\n" % self.helper.port)
        # With the helper running, the address carries a one-time code the helper gave.
        os.remove(mark)
        self.helper.start("--logLevel", "1")
        self.assertEqual(self.helper.run("--launchGui"), 0)
        self.assertTrue(wait_until(lambda: os.path.exists(mark)), "nothing was opened")
        with open(mark) as opened:
            self.assertRegex(opened.read(), r"^http://127\.0\.0\.1:%d/ui/\?code=[0-9a-f]{32}\n$" % self.helper.port)


class HttpAnswersAsOnLinux(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="obx-wine-http-")
        cls.windows = windows_helper(cls.work)
        cls.linux = linux_helper(cls.work)
        shutil.rmtree(cls.windows.data_folder, ignore_errors=True)
        for helper in (cls.windows, cls.linux):
            # Both migrate the same legacy settings, so both know one trackball model.
            os.makedirs(helper.data_folder)
            with open(os.path.join(helper.data_folder, "ObxSettings.xml"), "wb") as legacy:
                legacy.write(legacy_settings())
            helper.start("--logLevel", "1")

    @classmethod
    def tearDownClass(cls):
        for helper in (cls.windows, cls.linux):
            if helper.process and helper.process.poll() is None:
                helper.run("--quit")
                helper.process.wait(timeout=WAIT)
        shutil.rmtree(cls.work, ignore_errors=True)

    def same_answer(self, method, target, body=b"", headers=b""):
        windows = self.windows.request(method, target, body, headers)
        linux = self.linux.request(method, target, body, headers)
        # Each helper counts the revisions of its own settings: a request that changes one's values
        # (Wine's session differs) may leave the other's as they were. The tag itself is compared
        # apart from that.
        revision = rb'\nETag: "[0-9]+"\n'
        self.assertEqual(re.search(revision, windows) is None, re.search(revision, linux) is None)
        self.assertEqual(re.sub(revision, b"\n", windows), re.sub(revision, b"\n", linux))
        return windows

    def test_version_document(self):
        answer = self.same_answer(b"GET", b"/")
        self.assertTrue(answer.startswith(b"HTTP/1.1 200"), answer)
        self.assertIn(b'"apiVersion":1', answer)

    def test_devices_and_applications(self):
        self.assertTrue(self.same_answer(b"GET", b"/devices").startswith(b"HTTP/1.1 200"))
        answer = self.same_answer(b"GET", b"/config/apps?device=8209")
        self.assertIn(b'"*"', answer)

    def test_no_other_pointing_device_and_no_choice_on_windows(self):
        # The Linux helper here has no obxkernd: its list is as empty as the Windows one always is.
        self.assertTrue(self.same_answer(b"GET", b"/devices/other").endswith(b'\n\n{"devices":[]}\n'))
        chosen = self.windows.request(b"POST", b"/devices/other", b'{"take":true,"vendor":1,"product":2}')
        self.assertTrue(chosen.startswith(b"HTTP/1.1 400"), chosen)
        self.assertIn(b"On Windows the driver serves only the trackballs its package lists", chosen)

    def test_pointer_read_and_change_reach_the_settings_file(self):
        # A new configuration takes its pointer acceleration and wheel lines from the session, and
        # Wine's session and a Linux helper without a desktop differ there. Every key the Linux helper
        # reads out is sent to both first, so that what follows is the same on both.
        for resource in (b"/config/pointer", b"/config/scroll"):
            target = resource + b"?app=*&device=8209"
            linux = self.linux.request(b"GET", target)
            self.assertTrue(linux.startswith(b"HTTP/1.1 200"), linux)
            self.same_answer(b"POST", target, linux.split(b"\n\n", 1)[1])
        answer = self.same_answer(b"GET", b"/config/pointer?app=*&device=8209")
        pointer = json.loads(answer.split(b"\n\n", 1)[1])
        pointer["speed"] = 77 if pointer["speed"] != 77 else 78
        changed = self.same_answer(b"POST", b"/config/pointer?app=*&device=8209",
                                   json.dumps(pointer).encode())
        self.assertTrue(changed.startswith(b"HTTP/1.1 200"), changed)
        for helper in (self.windows, self.linux):
            settings = helper.settings()
            self.assertIn("%d" % pointer["speed"], json.dumps(settings["devices"]))
        self.assertEqual(self.windows.settings()["devices"], self.linux.settings()["devices"])

    def test_the_installed_page_is_the_same_bytes(self):
        # Each build puts the page beside its program; the Linux helper's folder says what the page is.
        folder = os.path.join(os.path.dirname(LINUX_HELPER), "ui")
        names = sorted(os.path.relpath(os.path.join(root, name), folder).replace(os.sep, "/")
                       for root, _, files in os.walk(folder) for name in files)
        self.assertIn("index.html", names)
        for name in names:
            with open(os.path.join(folder, name), "rb") as file:
                content = file.read()
            answer = self.same_answer(b"GET", b"/ui/" + name.encode())
            self.assertTrue(answer.startswith(b"HTTP/1.1 200 OK\r\n"), name)
            self.assertTrue(answer.endswith(b"\r\n\r\n" + content), name)

    def test_failure_envelope(self):
        answer = self.same_answer(b"GET", b"/config/pointer?app=*&device=4")
        self.assertIn(b'"success":false', answer)

    def test_too_large_and_forbidden(self):
        too_large = self.same_answer(b"POST", b"/config/pointer?app=*&device=8209",
                                     headers=b"Content-Length: %d\r\n" % (BODY_LIMIT + 1))
        self.assertTrue(too_large.startswith(b"HTTP/1.1 413"), too_large)
        forbidden = self.same_answer(b"GET", b"/devices", headers=b"Origin: http://elsewhere.example\r\n")
        self.assertTrue(forbidden.startswith(b"HTTP/1.1 403"), forbidden)
        # This Linux process has no Windows process behind its connection: an owner that is not the
        # helper's user, refused with the same answer.
        foreign = linux_exchange(self.windows.port, request_bytes(self.windows.port, b"GET", b"/devices"))
        self.assertEqual(foreign, forbidden)
        self.assertTrue(wait_until(lambda: "[HTTP] - refusing a connection from a process of another user" in
                                   self.windows.log()), self.windows.log())


class PageAsOnLinux(unittest.TestCase):
    """The configuration page's files and its event stream, served alike by both helpers from one
    folder of every kind of file the page is made of."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="obx-wine-page-")
        page = os.path.join(cls.work, "page")
        cls.files = {
            "index.html": "<!doctype html><html lang=\"de\"><title>Grüße</title>\r\n</html>\n".encode(),
            "style.css": b"body { color: #222; }\n",
            "js/main.js": b"import { x } from './util.js';\nconsole.log(x);\n",
            "js/util.js": b"export const x = 1;\n",
            "icons/button.svg": b"<svg xmlns=\"http://www.w3.org/2000/svg\"/>\n",
            "icons/raw.png": bytes(range(256)) * 4,
            ".hidden.js": b"secret\n",
        }
        for name, content in cls.files.items():
            os.makedirs(os.path.dirname(os.path.join(page, name)), exist_ok=True)
            with open(os.path.join(page, name), "wb") as file:
                file.write(content)
        cls.windows = windows_helper(cls.work, OBX_PAGE_FOLDER=windows_path(page))
        cls.linux = linux_helper(cls.work, OBX_PAGE_FOLDER=page)
        shutil.rmtree(cls.windows.data_folder, ignore_errors=True)
        for helper in (cls.windows, cls.linux):
            helper.start()

    @classmethod
    def tearDownClass(cls):
        for helper in (cls.windows, cls.linux):
            if helper.process and helper.process.poll() is None:
                helper.run("--quit")
                helper.process.wait(timeout=WAIT)
        shutil.rmtree(cls.work, ignore_errors=True)

    def same_answer(self, target, headers=b"", *options):
        windows = self.windows.request(b"GET", target, b"", headers, *options)
        linux = self.linux.request(b"GET", target, b"", headers, *options)
        self.assertEqual(windows, linux, target)
        return windows

    def test_every_file_is_the_same_bytes_with_its_tag(self):
        tags = {}
        for name, content in self.files.items():
            if name.startswith("."):
                continue
            answer = self.same_answer(b"/ui/" + name.encode())
            self.assertTrue(answer.startswith(b"HTTP/1.1 200 OK\r\n"), answer[:200])
            self.assertTrue(answer.endswith(b"\r\n\r\n" + content), name)
            self.assertIn(b"\r\nX-Content-Type-Options: nosniff\r\n", answer)
            self.assertIn(b"\r\nContent-Security-Policy: default-src 'self'; script-src 'self'", answer)
            tags[name] = answer.split(b"\r\nETag: ", 1)[1].split(b"\r\n", 1)[0]
        # Each Windows request starts a Wine process: revalidation is asked of two files only.
        for name in ("js/main.js", "icons/raw.png"):
            revalidated = self.same_answer(b"/ui/" + name.encode(), b"If-None-Match: " + tags[name] + b"\r\n")
            self.assertTrue(revalidated.startswith(b"HTTP/1.1 304 Not Modified\r\n"), revalidated)
        self.assertTrue(self.same_answer(b"/ui/").endswith(self.files["index.html"]))

    def test_redirect_and_refusals(self):
        self.assertTrue(self.same_answer(b"/ui").startswith(b"HTTP/1.1 301 Moved Permanently\r\n"))
        for target in (b"/ui/.hidden.js", b"/ui/icons/", b"/ui/../page/style.css", b"/ui/js%5c..%5cstyle.css",
                       b"/ui/C:%5cwindows%5cwin.ini"):
            answer = self.same_answer(target)
            self.assertTrue(answer.startswith(b"HTTP/1.1 404 Not Found\r\n"), target)

    def test_the_page_requests_answer_alike(self):
        for target in (b"/", b"/devices", b"/config/apps?device=0"):
            self.same_answer(target)
        # The general settings carry the second each helper first wrote its settings.
        general = [re.sub(rb'"timeStamp":"[^"]*"', b'"timeStamp":""', helper.request(b"GET", b"/config/general"))
                   for helper in (self.windows, self.linux)]
        self.assertEqual(general[0], general[1])
        own = b"Origin: http://127.0.0.1:%d\r\n"
        for helper in (self.windows, self.linux):
            answer = helper.request(b"GET", b"/devices", b"", own % helper.port)
            self.assertTrue(answer.startswith(b"HTTP/1.1 200"), answer)
            other = helper.request(b"GET", b"/devices", b"", own % (helper.port + 1))
            self.assertTrue(other.startswith(b"HTTP/1.1 403"), other)
        opening = self.same_answer(b"/events", b"", "--first-event")
        self.assertTrue(opening.startswith(b"HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n"), opening)
        self.assertTrue(opening.endswith(b"\r\n\r\nevent: devices\ndata: " +
                                         self.linux.request(b"GET", b"/devices").split(b"\n\n", 1)[1][:-1] +
                                         b"\n\n"), opening)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
