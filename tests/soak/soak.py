#!/usr/bin/python3
"""Runs the whole Linux system for a bounded time with faults around it, and checks that nothing is lost.

obxkernd serves two virtual trackballs and plugs more at run time; obxhelper serves them on a private X
display (or headless, chosen at each start); its settings folder is a small tmpfs. At once, at random
from the seed printed at the start:
  - API clients: valid and invalid reads and writes, imports, profiles created and removed, and
    connections dropped halfway;
  - button presses, chords, wheel, pan and motion at 1,000 reports a second;
  - trackballs plugged and unplugged, also while a button is down;
  - obxkernd stopped (SIGTERM or SIGKILL) and started again;
  - the settings file replaced by another program;
  - obxhelper killed with SIGKILL and started again;
  - the settings folder's file system full, then space freed again.
A broken invariant ends the run with exit code 1, the seed and the last events. The figures are printed
at the end.
"""

import argparse
import collections
import errno
import http.client
import json
import os
import random
import re
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import traceback

REQUEST_LIMIT = 2.0  # seconds in which every request is answered
FIND_AGAIN_LIMIT = 10.0  # seconds in which the helper takes up a trackball again
SETTLE = 0.4  # seconds after a release for the chord window (100 ms) and the road to the packet
SETTINGS_FS_BYTES = 64 * 1024 * 1024
NAMESPACE_MARK = "OBX_SOAK_IN_NAMESPACE"
DEVICE = 1  # the configuration id of every virtual trackball
PROBE_BUTTON = 4  # kept mapped to mouse button 5, so a press proves the helper pushed its map
CHORD_MASK = 0x3  # buttons 1 and 2 together: a middle click
FIXED_TRACKBALLS = (1, 2)
MAX_PLUGGED = 4

# The packet's button flags: (down, up) per mouse button 1 to 5.
BUTTON_FLAGS = [(0x0001, 0x0002), (0x0004, 0x0008), (0x0010, 0x0020), (0x0040, 0x0080), (0x0100, 0x0200)]


class Violation(Exception):
    pass


class Journal:
    """The last events, the counters of the figures and the first broken invariant."""

    def __init__(self, seed):
        self.seed = seed
        self.start = time.monotonic()
        self.events = collections.deque(maxlen=60)
        self.counts = collections.Counter()
        self.latencies = []
        self.failure = None
        self.stop = threading.Event()
        self.lock = threading.Lock()

    def note(self, text):
        with self.lock:
            self.events.append(f"{time.monotonic() - self.start:9.3f} {threading.current_thread().name}: {text}")

    def count(self, name, amount=1):
        with self.lock:
            self.counts[name] += amount

    def latency(self, seconds):
        with self.lock:
            self.latencies.append(seconds)

    def fail(self, text):
        with self.lock:
            if self.failure is None:
                self.failure = text
                self.events.append(f"{time.monotonic() - self.start:9.3f} VIOLATION: {text}")
        self.stop.set()

    def check(self, holds, name, text):
        self.count("invariant " + name)
        if not holds:
            self.violate(f"{name}: {text}")

    def violate(self, text):
        self.fail(text)
        raise Violation(text)


def run_actor(journal, name, body):
    """Runs body on a thread of its own; an exception of the soak itself fails the run too."""

    def guarded():
        try:
            body()
        except Violation:
            pass
        except Exception:
            journal.fail(f"{name}: the soak itself failed:\n{traceback.format_exc()}")

    thread = threading.Thread(target=guarded, name=name, daemon=True)
    thread.start()
    return thread


def seqpacket(path, timeout=2.0):
    connection = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET | socket.SOCK_CLOEXEC)
    connection.settimeout(timeout)
    try:
        connection.connect(path)
    except OSError:
        connection.close()
        raise
    return connection


def connection_sockets(port):
    """The socket inodes of the TCP connections on a local port, its listening socket left out: the
    clients being served at this moment."""
    inodes = set()
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        try:
            with open(table) as lines:
                next(lines)
                for line in lines:
                    fields = line.split()
                    local_port, state, inode = int(fields[1].rsplit(":", 1)[1], 16), fields[3], fields[9]
                    if local_port == port and state != "0A":  # 0A: listening
                        inodes.add(f"socket:[{inode}]")
        except OSError:
            continue
    return inodes


def process_figures(pid, served_port=None):
    """Resident memory in KiB and the number of open descriptors, or None when the process is gone.
    With served_port, the connections of the clients being served on it are not counted: how many
    there are depends on the moment, not on a leak."""
    try:
        with open(f"/proc/{pid}/status") as status:
            rss = next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))
        targets = []
        for descriptor in os.listdir(f"/proc/{pid}/fd"):
            try:
                targets.append(os.readlink(f"/proc/{pid}/fd/{descriptor}"))
            except FileNotFoundError:
                continue
        if served_port is not None:
            clients = connection_sockets(served_port)
            targets = [t for t in targets if t not in clients]
        kinds = collections.Counter(t.split(":[")[0] if t.startswith(("socket:", "pipe:")) else t for t in targets)
        return rss, len(targets), ", ".join(f"{count} {kind}" for kind, count in sorted(kinds.items()))
    except (OSError, StopIteration):
        return None


class Trackball:
    """One virtual trackball: its report socket, the buttons held on it, and its packet stream's state."""

    def __init__(self, journal, runtime, instance):
        self.journal = journal
        self.instance = instance
        self.lock = threading.Lock()
        self.buttons = 0  # held on the trackball
        self.pan = 0
        self.down = set()  # mouse buttons down in the packet stream
        self.seen = collections.Counter()  # down flags seen, per mouse button
        self.open = True
        # The last button reports sent and button packets read, for the account of a broken invariant.
        self.traffic = collections.deque(maxlen=40)
        self.reader = seqpacket(os.path.join(runtime, f"virtual-{instance:02d}.out"))
        self.reader.settimeout(None)
        self.writer = seqpacket(os.path.join(runtime, f"virtual-{instance:02d}.in"))
        run_actor(journal, f"packets-{instance:02d}", self.read_packets)

    def read_packets(self):
        while True:
            try:
                packet = self.reader.recv(256)
            except OSError:
                packet = b""
            if not packet:
                with self.lock:
                    self.open = False
                self.reader.close()
                return
            flags = int(packet.split()[0].split(b"=")[1], 16)
            with self.lock:
                if flags & 0x03FF:
                    self.traffic.append(f"{time.monotonic() - self.journal.start:9.3f} packet flags {flags:#06x}")
                for button, (down, up) in enumerate(BUTTON_FLAGS, start=1):
                    # The stream carries each mouse button's state: a press of one that is down (two
                    # trackball buttons mapped to it) changes nothing, and one release lets it go.
                    if flags & down:
                        self.down.add(button)
                        self.seen[button] += 1
                        self.journal.count("presses delivered")
                    if flags & up:
                        if button not in self.down:
                            self.journal.count("releases of a mouse button that was up")
                        self.down.discard(button)

    def report(self, buttons=None, dx=0, dy=0, wheel=0, pan=None, press=0, release=0, toggle=0):
        """Sends one report with the buttons set, or changed by the masks; False when the trackball is gone."""
        with self.lock:
            if buttons is not None:
                self.buttons = buttons
            self.buttons = ((self.buttons | press) & ~release) ^ toggle
            if pan is not None:
                self.pan = pan
            message = bytes([self.buttons, dx & 0xFF, dy & 0xFF, wheel & 0xFF, self.pan & 0xFF])
            if buttons is not None or press or release or toggle or pan is not None:
                self.traffic.append(f"{time.monotonic() - self.journal.start:9.3f} report buttons "
                                    f"{self.buttons:#04x} pan {self.pan}")
            try:
                self.writer.send(message)
            except OSError:
                self.open = False
                return False
        self.journal.count("reports sent")
        return True

    def is_open(self):
        with self.lock:
            return self.open

    def close(self):
        self.writer.close()


class Rig:
    """The processes under test and the trackballs they serve."""

    def __init__(self, options, journal, work):
        self.options = options
        self.journal = journal
        self.work = work
        self.runtime = os.path.join(work, "run")
        self.config = os.path.join(work, "config")
        self.data = os.path.join(self.config, "Halvex", "Ombrix")
        self.settings_file = os.path.join(self.data, "ObxSettings.json")
        self.port = free_port()
        self.lock = threading.RLock()
        self.trackballs = {}
        self.plugged = []
        self.trackballs_changed = time.monotonic()
        # Held by the check of the releases and by each probe, so that neither sees the other's presses.
        self.quiet = threading.Lock()
        self.daemon = None
        self.helper = None
        self.helper_epoch = 0
        self.helper_ready = threading.Event()
        self.display = None
        self.xvfb = None
        # Keyed by program and, for the helper, by its desktop: a helper with a display holds that
        # connection's descriptors and memory, so only like is compared with like.
        self.samples = collections.defaultdict(list)
        self.helper_desktop = None
        os.makedirs(self.data)
        runtime_private = os.path.join(work, "xdg-runtime")
        os.mkdir(runtime_private, 0o700)
        self.environment = dict(
            os.environ,
            XDG_CONFIG_HOME=self.config,
            OBX_RUNTIME_DIR=self.runtime,
            OBX_HTTP_PORT=str(self.port),
            XDG_SESSION_ID=f"soak{os.getpid()}",
            XDG_RUNTIME_DIR=runtime_private,
            DBUS_SYSTEM_BUS_ADDRESS="unix:path=" + os.path.join(work, "no-bus"),
            DBUS_SESSION_BUS_ADDRESS="unix:path=" + os.path.join(work, "no-bus"),
        )

    # The settings folder's file system and the X display.

    def mount_settings_fs(self):
        result = subprocess.run(
            ["mount", "-t", "tmpfs", "-o", f"size={SETTINGS_FS_BYTES},mode=0700", "soak-settings", self.data],
            capture_output=True, text=True)
        if result.returncode != 0:
            raise SystemExit(f"soak: cannot mount a tmpfs on the settings folder: {result.stderr.strip()}")

    def start_xvfb(self):
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-screen", "0", "800x600x24"],
            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as numbers:
            number = numbers.readline().strip()
        if not number:
            raise SystemExit("soak: Xvfb did not start")
        self.display = ":" + number

    # obxkernd.

    def start_daemon(self):
        command = [os.path.join(self.options.bin_dir, "obxkernd"), "--runtime-dir", self.runtime,
                   "--log-level", "warning", "--virtual", "--virtual", "--virtual-plug"]
        self.daemon = subprocess.Popen(command, stdout=subprocess.DEVNULL,
                                       stderr=open(os.path.join(self.work, "obxkernd.log"), "a"))
        deadline = time.monotonic() + 10
        while True:
            try:
                seqpacket(os.path.join(self.runtime, "virtual-plug")).close()
                break
            except OSError:
                if time.monotonic() > deadline or self.daemon.poll() is not None:
                    self.journal.violate("no crash: obxkernd did not start")
                time.sleep(0.02)
        with self.lock:
            for instance in FIXED_TRACKBALLS:
                self.trackballs[instance] = Trackball(self.journal, self.runtime, instance)
            self.trackballs_changed = time.monotonic()
        self.journal.note(f"obxkernd started, pid {self.daemon.pid}")

    def stop_daemon(self, signal_number):
        with self.lock:
            daemon, self.daemon = self.daemon, None
            gone, self.trackballs, self.plugged = self.trackballs, {}, []
            self.trackballs_changed = time.monotonic()
            daemon.send_signal(signal_number)
        code = daemon.wait(10)
        for trackball in gone.values():
            trackball.close()
        self.journal.note(f"obxkernd stopped with signal {signal_number}: exit {code}")
        return code

    def plug(self):
        with self.lock:
            if self.daemon is None or len(self.plugged) >= MAX_PLUGGED:
                return None
            with seqpacket(os.path.join(self.runtime, "virtual-plug")) as plug:
                plug.send(b"plug")
                answer = plug.recv(128).decode()
            self.journal.check(answer.startswith("plugged "), "plug", f"obxkernd answered {answer!r} to a plug")
            instance = int(answer.split()[1])
            trackball = Trackball(self.journal, self.runtime, instance)
            self.trackballs[instance] = trackball
            self.plugged.append(instance)
            self.trackballs_changed = time.monotonic()
            return trackball

    def unplug(self, instance):
        with self.lock:
            if self.daemon is None or instance not in self.plugged:
                return False
            with seqpacket(os.path.join(self.runtime, "virtual-plug")) as plug:
                plug.send(f"unplug {instance}".encode())
                answer = plug.recv(128).decode()
            self.journal.check(answer == f"unplugged {instance}", "plug",
                               f"obxkernd answered {answer!r} to an unplug of {instance}")
            self.plugged.remove(instance)
            self.trackballs_changed = time.monotonic()
            self.trackballs.pop(instance).close()
            return True

    def live_trackballs(self):
        with self.lock:
            return [t for t in self.trackballs.values() if t.is_open()]

    # obxhelper.

    def start_helper(self):
        environment = dict(self.environment)
        # Each start picks the desktop: the private X display, or none.
        environment["DISPLAY"] = self.display if random.random() < 0.5 else ""
        # Errors only: the log is appended to across starts, and at the default level the soak's
        # refused requests alone would fill the settings file system within minutes.
        self.helper = subprocess.Popen([os.path.join(self.options.bin_dir, "obxhelper"), "--logLevel", "4"],
                                       env=environment,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while not answers(self.port):
            if time.monotonic() > deadline or self.helper.poll() is not None:
                self.journal.violate("no crash: obxhelper did not start serving within 10 s")
            time.sleep(0.02)
        with self.lock:
            self.helper_desktop = "with a display" if environment["DISPLAY"] else "headless"
            self.trackballs_changed = time.monotonic()  # the new helper takes the trackballs up
        self.helper_ready.set()
        self.journal.note(f"obxhelper started, pid {self.helper.pid}, display {environment['DISPLAY'] or 'none'}")

    def kill_helper(self):
        with self.lock:
            self.helper_ready.clear()
            self.helper_epoch += 1
            self.helper.send_signal(signal.SIGKILL)
        self.helper.wait(10)
        self.journal.note("obxhelper killed")

    def sample(self):
        now = time.monotonic() - self.journal.start
        with self.lock:
            # Every plugged trackball holds descriptors in both programs, and one that has just come or
            # gone is still on its way through them: samples are taken with the fixed trackballs alone,
            # a second after the last change of the trackballs.
            settled = not self.plugged and time.monotonic() - self.trackballs_changed >= 1
            helper = self.helper if self.helper_ready.is_set() else None
            desktop = self.helper_desktop
        if not settled:
            return
        for name, process, port in (("obxkernd", self.daemon, None),
                                    (f"obxhelper ({desktop})", helper, self.port)):
            if process is not None:
                figures = process_figures(process.pid, port)
                if figures is not None:
                    self.samples[name].append((now, *figures))


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def answers(port):
    try:
        status, _ = http_request(port, "GET", "/config/general", timeout=1)
        return status == 200
    except OSError:
        return False


def http_request(port, method, path, body=None, timeout=REQUEST_LIMIT):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    try:
        connection.request(method, path, body=body)
        response = connection.getresponse()
        return response.status, response.read()
    finally:
        connection.close()


class Ledger:
    """What the settings must hold: for each watched value, the values it may have. An acknowledged write
    narrows it to its value; a write whose outcome is unknown (a failure, a dropped connection, a kill)
    adds its value. A helper start must show one of them, which becomes the only one."""

    def __init__(self):
        self.lock = threading.Lock()
        self.allowed = {}

    @staticmethod
    def read(document, key):
        kind, identifier = key
        profiles = next((p for d, p in document["devices"] if d == DEVICE), {})
        if kind == "exists":
            return identifier in profiles
        profile = profiles.get(identifier)
        return None if profile is None else profile["config"]["speed"]

    def attempt(self, key, value):
        self.allowed.setdefault(key, set()).add(value)

    def acknowledged(self, key, value):
        self.allowed[key] = {value}

    def verify(self, journal, document, why):
        for key, values in self.allowed.items():
            held = self.read(document, key)
            journal.check(held in values, "acknowledged writes kept",
                          f"{key} is {held!r} after {why}; acknowledged or in flight: {sorted(map(repr, values))}")
            self.allowed[key] = {held}


class ApiClient:
    """One client of the HTTP API, owning a profile of its own whose speed the ledger follows."""

    def __init__(self, rig, journal, ledger, number, rng):
        self.rig, self.journal, self.ledger, self.rng = rig, journal, ledger, rng
        self.number = number
        self.profile = "*" if number == 0 else f"/soak/client{number}"
        self.scratch = [f"/soak/client{number}/scratch{n}" for n in range(4)]

    def request(self, method, path, body=None, expect=None):
        epoch = self.rig.helper_epoch
        ready = self.rig.helper_ready.is_set()
        started = time.monotonic()
        try:
            status, answer = http_request(self.rig.port, method, path, body)
        except (TimeoutError, socket.timeout):
            if epoch == self.rig.helper_epoch and self.rig.helper.poll() is None:
                self.journal.violate(f"no hang: {method} {path} was not answered within {REQUEST_LIMIT} s")
            return None, b""
        except (ConnectionError, http.client.HTTPException, OSError):
            if ready and epoch == self.rig.helper_epoch and self.rig.helper_ready.is_set():
                self.journal.violate(f"no hang: {method} {path} failed on a helper that was not stopped")
            self.journal.count("requests refused while the helper was down")
            return None, b""
        self.journal.latency(time.monotonic() - started)
        self.journal.count(f"requests answered {status}")
        if expect is not None and status != expect:
            self.journal.violate(f"API: {method} {path} answered {status}, not {expect}: {answer[:200]!r}")
        return status, answer

    def run(self):
        operations = [
            (30, self.read_something), (15, self.write_own_speed), (10, self.write_invalid),
            (8, self.write_untracked), (6, self.create_or_delete_scratch), (3, self.import_settings),
            (6, self.drop_halfway), (5, self.read_page),
        ]
        weights = [w for w, _ in operations]
        while not self.journal.stop.is_set():
            if not self.rig.helper_ready.wait(0.5):
                continue
            self.rng.choices(operations, weights)[0][1]()
            time.sleep(self.rng.uniform(0, 0.02))

    def read_something(self):
        path = self.rng.choice([
            "/devices", "/config", "/config/general", f"/config/apps?device={DEVICE}",
            f"/config/pointer?app=*&device={DEVICE}", f"/config/scroll?app=*&device={DEVICE}",
            f"/config/buttons?app=*&device={DEVICE}&button=1", f"/config/snippets?app=*&device={DEVICE}",
            "/favapps?count=3", "/nothing", f"/config/pointer?app=/no/such&device={DEVICE}",
            "/config/pointer?app=*&device=77",
        ])
        self.request("GET", path)

    def read_page(self):
        """The configuration page's files, and paths that try to leave its folder."""
        path, expect = self.rng.choice([
            ("/ui/", 200), ("/ui/style.css", 200), ("/ui/js/main.js", 200), ("/ui/js/api.js", 200),
            ("/ui/../config", 404), ("/ui/%2e%2e/config", 404), ("/ui/js/%2e%2e%2f%2e%2e%2fconfig", 404),
            ("/ui/.hidden", 404), ("/ui/no-such-file.js", 404),
        ])
        self.request("GET", path, expect=expect)

    def write_own_speed(self):
        speed = self.rng.randint(1, 100)
        key = ("speed", self.profile)
        with self.ledger.lock:
            if self.profile != "*" and self.ledger.allowed.get(("exists", self.profile)) != {True}:
                status, _ = self.request("POST", f"/config/apps?device={DEVICE}",
                                         json.dumps({"identifier": self.profile, "name": self.profile}))
                self.ledger.attempt(("exists", self.profile), True)
                if status == 200:
                    self.ledger.acknowledged(("exists", self.profile), True)
                    self.ledger.attempt(key, None)
                return
            self.ledger.attempt(key, speed)
            status, answer = self.request("POST", f"/config/pointer?app={self.profile}&device={DEVICE}",
                                          json.dumps({"speed": speed}))
            if status == 200:
                self.journal.check(json.loads(answer)["speed"] == speed, "API",
                                   f"a pointer write of {speed} answered {answer!r}")
                self.ledger.acknowledged(key, speed)
            elif status == 400:
                self.journal.count("writes refused (400)")

    def write_invalid(self):
        method, path, body = self.rng.choice([
            ("POST", f"/config/pointer?app=*&device={DEVICE}", "{"),
            ("POST", f"/config/pointer?app=*&device={DEVICE}", '{"speed":"fast"}'),
            ("POST", f"/config/buttons?app=*&device={DEVICE}&button=1", '{"command":"no_such_macro"}'),
            ("DELETE", f"/config/apps?device={DEVICE}", '{"identifier":"*"}'),
            ("POST", "/config", '{"devices":7}'),
            ("POST", f"/config/apps?device={DEVICE}", "[]"),
            ("POST", "/config/general", "\xff\xfe"),
        ])
        self.request(method, path, body.encode("latin-1"), expect=400)

    def write_untracked(self):
        if self.rng.random() < 0.5:
            body = {"speed": self.rng.randint(1, 10), "wheel": "vert", "invert": False,
                    "inertial": self.rng.random() < 0.5}
            self.request("POST", f"/config/scroll?app=*&device={DEVICE}", json.dumps(body))
        else:
            # A map switch while the input actor holds buttons: the releases must still come out.
            button, command = self.rng.choice([(1, "mouse_leftClick"), (1, "mouse_rightClick"),
                                               (2, "mouse_rightClick"), (2, "mouse_middleClick"),
                                               (3, "mouse_middleClick"), (3, "mouse_leftClick"),
                                               (6, "mouse_leftClick"), (6, "noAction")])
            self.request("POST", f"/config/buttons?app=*&device={DEVICE}&button={1 << (button - 1)}",
                         json.dumps({"command": command, "params": None}))

    def create_or_delete_scratch(self):
        identifier = self.rng.choice(self.scratch)
        key = ("exists", identifier)
        with self.ledger.lock:
            if self.ledger.allowed.get(key, {False}) == {False}:
                self.ledger.attempt(key, True)
                status, _ = self.request("POST", f"/config/apps?device={DEVICE}",
                                         json.dumps({"identifier": identifier, "name": "Scratch"}))
                if status == 200:
                    self.ledger.acknowledged(key, True)
            else:
                self.ledger.attempt(key, False)
                status, _ = self.request("DELETE", f"/config/apps?device={DEVICE}",
                                         json.dumps({"identifier": identifier}))
                if status == 200:
                    self.ledger.acknowledged(key, False)

    def import_settings(self):
        # The settings as they are, read and written back whole: every value the ledger follows stays.
        with self.ledger.lock:
            status, answer = self.request("GET", "/config")
            if status != 200:
                return
            document = json.loads(answer)
            document["trayIcon"] = self.rng.random() < 0.5
            status, _ = self.request("POST", "/config", json.dumps(document))
            self.journal.count(f"imports answered {status}")

    def drop_halfway(self):
        body = json.dumps({"speed": self.rng.randint(1, 10), "wheel": "vert", "invert": False,
                           "inertial": False}).encode()
        request = (f"POST /config/scroll?app=*&device={DEVICE} HTTP/1.1\r\nHost: 127.0.0.1:{self.rig.port}\r\n"
                   f"Content-Length: {len(body)}\r\n\r\n").encode() + body
        cut = self.rng.randint(1, len(request))  # all of it: dropped before the answer is read
        try:
            with socket.create_connection(("127.0.0.1", self.rig.port), timeout=REQUEST_LIMIT) as connection:
                connection.sendall(request[:cut])
        except OSError:
            return
        self.journal.count("connections dropped halfway")


class EventSubscriber:
    """A reader of the event stream, as the configuration page is: it subscribes, reads the events for a
    while and goes, mostly by closing, sometimes after it stopped reading for a while (a tab in the
    background). Every event must be well formed and the first one, the trackballs, must come at once."""

    def __init__(self, rig, journal, rng):
        self.rig, self.journal, self.rng = rig, journal, rng

    def run(self):
        while not self.journal.stop.is_set():
            if self.rig.helper_ready.wait(0.5):
                self.subscribe(self.rig.helper_epoch)
                time.sleep(self.rng.uniform(0, 1))

    def helper_went(self, epoch):
        return epoch != self.rig.helper_epoch or self.rig.helper.poll() is not None

    def subscribe(self, epoch):
        try:
            connection = socket.create_connection(("127.0.0.1", self.rig.port), timeout=REQUEST_LIMIT)
        except OSError:
            self.journal.count("subscriptions refused while the helper was down")
            return
        with connection:
            stream = EventStream(connection)
            started, until = time.monotonic(), time.monotonic() + self.rng.uniform(1, 8)
            stall = self.rng.random() < 0.2
            try:
                connection.sendall(f"GET /events HTTP/1.1\r\nHost: 127.0.0.1:{self.rig.port}\r\n\r\n".encode())
                status = stream.status()
                if status != 200:
                    self.journal.violate(f"API: GET /events answered {status}")
                first = stream.next_event()
                if first is None:
                    raise TimeoutError()
                self.journal.check(first[0] == "devices", "events", f"the first event was {first!r}, not the trackballs")
                self.journal.check(time.monotonic() - started <= 2 * REQUEST_LIMIT, "no hang",
                                   "the first event came after the time limit")
                if stall:
                    self.journal.stop.wait(until - time.monotonic())
                    return
                connection.settimeout(0.5)
                while time.monotonic() < until and not self.journal.stop.is_set():
                    event = stream.next_event()
                    if event is not None:
                        self.journal.count(f"events received: {event[0]}")
            except (TimeoutError, socket.timeout):
                if not self.helper_went(epoch):
                    self.journal.violate("no hang: GET /events sent nothing within the time limit")
            except (ConnectionError, OSError):
                if not self.helper_went(epoch):
                    self.journal.violate("no hang: the event stream broke on a helper that was not stopped")
            except ValueError as error:
                self.journal.violate(f"events are well formed: {error}")


class EventStream:
    """The events of a text/event-stream answer: (name, parsed data), None when none came in time."""

    LIMIT = 1 << 20  # a bound on what is kept unparsed

    def __init__(self, connection):
        self.connection = connection
        self.buffer = b""

    def fill(self, *separators):
        while not any(separator in self.buffer for separator in separators):
            chunk = self.connection.recv(65536)
            if not chunk:
                raise ConnectionError("the stream ended")
            self.buffer += chunk
            if len(self.buffer) > self.LIMIT:
                raise ValueError("an event longer than 1 MiB")

    def status(self):
        # The helper ends its header lines with a bare line feed.
        self.fill(b"\r\n\r\n", b"\n\n")
        head, self.buffer = re.split(b"\r?\n\r?\n", self.buffer, maxsplit=1)
        return int(head.split(b" ", 2)[1])

    def next_event(self):
        try:
            self.fill(b"\n\n")
        except (TimeoutError, socket.timeout):
            return None
        block, self.buffer = self.buffer.split(b"\n\n", 1)
        lines = block.decode().split("\n")
        if all(line.startswith(":") for line in lines):
            return ("keep-alive", None)
        fields = dict(line.split(": ", 1) for line in lines)
        if set(fields) != {"event", "data"} or fields["event"] not in ("devices", "button", "status"):
            raise ValueError(f"an event of unknown form: {block[:200]!r}")
        return fields["event"], json.loads(fields["data"])


class InputActor:
    """Reports at 1,000 a second spread over the trackballs: mostly motion, with presses, chords, wheel and
    pan. Every few seconds it lets go of everything and checks that every press has its release."""

    RATE = 1000

    def __init__(self, rig, journal, rng):
        self.rig, self.journal, self.rng = rig, journal, rng

    def run(self):
        period = 1.0 / self.RATE
        next_tick = time.monotonic()
        next_check = next_tick + self.rng.uniform(2, 5)
        while not self.journal.stop.is_set():
            trackballs = self.rig.live_trackballs()
            if not trackballs:
                time.sleep(0.05)
                next_tick = time.monotonic()
                continue
            self.one_report(self.rng.choice(trackballs))
            next_tick += period
            delay = next_tick - time.monotonic()
            if delay > 0:
                time.sleep(delay)
            elif delay < -0.1:
                next_tick = time.monotonic()  # behind (a loaded machine): no burst to catch up
            if time.monotonic() > next_check:
                self.check_releases()
                next_tick = time.monotonic()
                next_check = next_tick + self.rng.uniform(2, 5)

    def one_report(self, trackball):
        roll = self.rng.random()
        if roll < 0.90:
            trackball.report(dx=self.rng.randint(-20, 20), dy=self.rng.randint(-20, 20))
        elif roll < 0.96:
            # Any button but the probe's: a press or a release.
            bit = 1 << self.rng.choice([0, 1, 2, 4, 5, 6, 7])
            trackball.report(toggle=bit)
        elif roll < 0.97:
            trackball.report(press=CHORD_MASK)
        elif roll < 0.99:
            trackball.report(wheel=self.rng.choice([-1, 1]))
        else:
            trackball.report(pan=self.rng.choice([-1, 0, 0, 1]))

    def check_releases(self):
        with self.rig.quiet:
            self.check_releases_quietly()

    def check_releases_quietly(self):
        trackballs = self.rig.live_trackballs()
        released = [t for t in trackballs if t.report(buttons=0, pan=0)]
        time.sleep(SETTLE)
        for trackball in released:
            with trackball.lock:
                if not trackball.open:
                    continue  # unplugged or its daemon stopped meanwhile: the stream ended
                down = sorted(trackball.down)
                traffic = "\n    ".join(trackball.traffic)
            self.journal.check(not down, "every press has its release",
                               f"trackball {trackball.instance:02d}: mouse buttons {down} still down "
                               f"{SETTLE} s after every button was let go; its last buttons:\n    {traffic}")
        self.journal.note(f"releases checked on {len(released)} trackball(s)")


def probe_map(rig, journal, trackball, deadline):
    """Whether the helper has pushed its map to this trackball: the probe button comes out as mouse
    button 5. Retries until the deadline."""
    while time.monotonic() < deadline and trackball.is_open():
        with rig.quiet:
            if probe_once(trackball):
                return True
        time.sleep(0.1)
    return False


def probe_once(trackball):
    """One press and release of the probe button; whether it came out as mouse button 5."""
    before = trackball.seen[5], trackball.seen[4]
    if not trackball.report(press=1 << (PROBE_BUTTON - 1)):
        return False
    answer_by = time.monotonic() + 1
    while time.monotonic() < answer_by and (trackball.seen[5], trackball.seen[4]) == before:
        time.sleep(0.01)
    mapped = trackball.seen[5] > before[0]
    trackball.report(release=1 << (PROBE_BUTTON - 1))
    # The release comes out before the quiet ends, so that a check of the releases never sees it owed.
    release_by = time.monotonic() + 1
    while time.monotonic() < release_by and trackball.is_open() and trackball.down & {4, 5}:
        time.sleep(0.01)
    return mapped


class Faults:
    """Injects one fault at a time at random, and checks what each must leave."""

    def __init__(self, rig, journal, ledger, rng, mean_gap):
        self.rig, self.journal, self.ledger, self.rng = rig, journal, ledger, rng
        self.mean_gap = mean_gap

    def run(self):
        kinds = [(3, self.restart_daemon), (2, self.replace_settings_file), (2, self.kill_helper),
                 (2, self.fill_disk)]
        while not self.journal.stop.wait(self.rng.expovariate(1 / self.mean_gap)):
            self.rng.choices(kinds, [w for w, _ in kinds])[0][1]()

    def restart_daemon(self):
        signal_number = signal.SIGKILL if self.rng.random() < 0.25 else signal.SIGTERM
        code = self.rig.stop_daemon(signal_number)
        if signal_number == signal.SIGTERM:
            self.journal.check(code == 0, "no crash", f"obxkernd ended with {code} after SIGTERM")
        self.journal.count("faults: obxkernd stopped with " + signal.Signals(signal_number).name)
        time.sleep(self.rng.uniform(0, 1.5))
        helper = self.rig.helper.pid
        self.rig.start_daemon()
        self.expect_trackballs_found("the daemon restart")
        self.journal.check(self.rig.helper.pid == helper and self.rig.helper.poll() is None,
                           "trackballs found again", "the helper ended meanwhile")

    def expect_trackballs_found(self, why):
        deadline = time.monotonic() + FIND_AGAIN_LIMIT
        for instance in FIXED_TRACKBALLS:
            trackball = self.rig.trackballs.get(instance)
            self.journal.check(trackball is not None and probe_map(self.rig, self.journal, trackball, deadline),
                               "trackballs found again",
                               f"the helper did not take up trackball {instance:02d} within "
                               f"{FIND_AGAIN_LIMIT} s of {why}")

    def kill_helper(self):
        self.rig.kill_helper()
        self.journal.count("faults: obxhelper killed with SIGKILL")
        time.sleep(self.rng.uniform(0, 1))
        self.start_helper_and_verify("a SIGKILL")

    def start_helper_and_verify(self, why):
        self.rig.start_helper()
        with self.ledger.lock:
            status, answer = http_request(self.rig.port, "GET", "/config")
            self.journal.check(status == 200, "API", f"GET /config answered {status} after a start")
            self.ledger.verify(self.journal, json.loads(answer), why)
        self.expect_trackballs_found("a helper start")

    def replace_settings_file(self):
        # As a sync tool does: the settings as they are (so every acknowledged value stays), another
        # tray-icon choice, written beside the file and renamed over it.
        with self.ledger.lock:
            try:
                status, answer = http_request(self.rig.port, "GET", "/config")
            except OSError:
                return
            if status != 200:
                return
            document = json.loads(answer)
            document["trayIcon"] = not document["trayIcon"]
            temporary = self.rig.settings_file + ".sync"
            try:
                with open(temporary, "w") as out:
                    json.dump(document, out, indent=2)
                os.rename(temporary, self.rig.settings_file)
            except OSError as error:
                self.journal.note(f"the sync tool could not write: {error}")
                if os.path.exists(temporary):
                    os.remove(temporary)
                return
        self.journal.count("faults: settings file replaced")

    def fill_disk(self):
        filler = os.path.join(self.rig.data, "filler")
        with self.ledger.lock:
            try:
                with open(filler, "wb") as out:
                    while True:
                        out.write(b"\0" * 65536)
                        out.flush()
            except OSError as error:
                # Also when the file system is full before the filler is even made.
                if error.errno != errno.ENOSPC:
                    raise
            # Writes that may sit in the page cache land now; the remainder in small pieces.
            with open(filler, "ab", buffering=0) as out:
                try:
                    while True:
                        out.write(b"\0" * 512)
                except OSError:
                    pass
        self.journal.count("faults: settings file system full")
        try:
            with open(self.rig.settings_file, "rb") as current:
                before = current.read()
            body = json.dumps({"speed": self.rng.randint(1, 10), "wheel": "vert", "invert": False,
                               "inertial": False})
            status, answer = http_request(self.rig.port, "POST", f"/config/scroll?app=*&device={DEVICE}", body)
            self.journal.check(status == 400 and json.loads(answer).get("reason") == "Error writing settings file",
                               "full disk", f"a write on a full disk answered {status}: {answer[:200]!r}")
            with open(self.rig.settings_file, "rb") as current:
                after = current.read()
            self.journal.check(after == before, "full disk", "the settings file changed on a full disk")
            json.loads(after)
            if self.rng.random() < 0.3:
                self.rig.kill_helper()
                self.journal.count("faults: obxhelper killed with SIGKILL on a full disk")
                self.start_helper_and_verify("a SIGKILL on a full disk")
            time.sleep(self.rng.uniform(0.5, 3))
        finally:
            if os.path.exists(filler):
                os.remove(filler)


class Monitor:
    """Once a second: the processes live, their memory and descriptors, the settings file parses."""

    def __init__(self, rig, journal):
        self.rig, self.journal = rig, journal

    def run(self):
        while not self.journal.stop.wait(1):
            self.rig.sample()
            # Stops and kills on purpose take the process out of the rig under its lock first.
            with self.rig.lock:
                if self.rig.daemon is not None and self.rig.daemon.poll() is not None:
                    self.journal.fail(f"no crash: obxkernd ended by itself ({self.rig.daemon.returncode})")
                if self.rig.helper_ready.is_set() and self.rig.helper.poll() is not None:
                    self.journal.fail(f"no crash: obxhelper ended by itself ({self.rig.helper.returncode})")
            self.check_settings_file(self.journal, self.rig.settings_file)

    @staticmethod
    def check_settings_file(journal, path):
        try:
            with open(path, "rb") as file:
                text = file.read()
        except FileNotFoundError:
            return
        try:
            json.loads(text)
            journal.count("invariant settings file parses")
        except ValueError as error:
            journal.fail(f"settings file parses: {error}: {text[:200]!r}")


def window_figures(samples, first):
    """(median resident KiB, median descriptor count) of the first or last minute of samples."""
    if not samples:
        return None
    start, end = samples[0][0], samples[-1][0]
    chosen = [s for s in samples if (s[0] < start + 60 if first else s[0] >= end - 60)]
    if not chosen:
        return None
    return statistics.median(s[1] for s in chosen), statistics.median(s[2] for s in chosen)


def check_growth(rig, journal):
    figures = {}
    for name, samples in rig.samples.items():
        first, last = window_figures(samples, True), window_figures(samples, False)
        figures[name] = (first, last)
        if first is None or last is None:
            continue
        # Bounds: resident memory within 10 % or 2 MiB of the first minute's, descriptors within 4.
        journal.check(last[0] <= max(first[0] * 1.10, first[0] + 2048), "memory does not grow",
                      f"{name}: {first[0]:.0f} KiB resident in the first minute, {last[0]:.0f} KiB in the last")
        journal.check(last[1] <= first[1] + 4, "descriptors do not grow",
                      f"{name}: {first[1]} descriptors in the first minute, {last[1]} in the last (medians); "
                      f"first sample: {samples[0][3]}; the last minute's largest: "
                      f"{max(samples[-60:], key=lambda s: s[2])[3]}")
    return figures


def report(journal, rig, figures, duration):
    counts = journal.counts
    latencies = sorted(journal.latencies)

    def quantile(q):
        return latencies[min(len(latencies) - 1, int(q * len(latencies)))] * 1000 if latencies else 0

    print(f"soak: seed {journal.seed}, {duration:.0f} s")
    print(f"  requests answered: {sum(v for k, v in counts.items() if k.startswith('requests answered'))} "
          f"(200: {counts['requests answered 200']}, 400: {counts['requests answered 400']}); "
          f"latency p50 {quantile(0.5):.1f} ms, p99 {quantile(0.99):.1f} ms, max {quantile(1):.1f} ms")
    print(f"  refused while the helper was down: {counts['requests refused while the helper was down']}; "
          f"dropped halfway: {counts['connections dropped halfway']}")
    print(f"  reports sent: {counts['reports sent']} ({counts['reports sent'] / duration:.0f} a second, the checks' "
          f"pauses included); presses delivered: {counts['presses delivered']}")
    for key in sorted(counts):
        if key.startswith(("faults: ", "trackballs ", "events received", "subscriptions refused")):
            print(f"  {key}: {counts[key]}")
    for key in sorted(counts):
        if key.startswith("invariant "):
            print(f"  {key}: checked {counts[key]} times")
    for name, (first, last) in figures.items():
        if first is None or last is None:
            print(f"  {name}: no minute at both ends with the fixed trackballs alone; growth not compared")
        else:
            print(f"  {name}: resident {first[0] / 1024:.1f} MiB first minute, {last[0] / 1024:.1f} MiB last; "
                  f"descriptors {first[1]} first minute, {last[1]} last")


def enter_namespace():
    """Runs this program again in a mount namespace of its own (and a user namespace when not root), so
    that it may mount the settings folder's tmpfs and the mount goes with it however it ends."""
    if os.environ.get(NAMESPACE_MARK):
        return
    command = ["unshare", "--mount", "--propagation", "private"]
    if os.geteuid() != 0:
        command[1:1] = ["--user", "--map-root-user"]
    probe = subprocess.run(command + ["true"], capture_output=True, text=True)
    if probe.returncode != 0:
        raise SystemExit("soak: the settings folder needs a file system of its own, and neither root nor a "
                         f"user namespace is available here ({' '.join(command)}: {probe.stderr.strip()})")
    os.environ[NAMESPACE_MARK] = "1"
    os.execvp(command[0], command + [sys.executable, os.path.abspath(__file__)] + sys.argv[1:])


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin-dir", default=os.path.join(os.path.dirname(__file__), "..", "..", "build", "bin"))
    parser.add_argument("--duration", type=float, default=180, help="seconds (default 180)")
    parser.add_argument("--seed", type=int, default=None, help="default: from the clock")
    parser.add_argument("--clients", type=int, default=3, help="API clients at a time (default 3)")
    parser.add_argument("--fault-gap", type=float, default=4, help="mean seconds between faults (default 4)")
    parser.add_argument("--keep", action="store_true", help="keep the work folder (logs) at the end")
    options = parser.parse_args()
    enter_namespace()
    seed = options.seed if options.seed is not None else int(time.time() * 1000) % 1_000_000_000
    print(f"soak: seed {seed} (repeat with --seed {seed})", flush=True)
    random.seed(seed)
    journal = Journal(seed)
    work = tempfile.mkdtemp(prefix="obx-soak-")
    rig = Rig(options, journal, work)
    ledger = Ledger()
    try:
        rig.mount_settings_fs()
        rig.start_xvfb()
        rig.start_daemon()
        rig.start_helper()
        setup(rig)
        actors = [run_actor(journal, "monitor", Monitor(rig, journal).run),
                  run_actor(journal, "input", InputActor(rig, journal, random.Random(seed + 1)).run),
                  run_actor(journal, "faults",
                            Faults(rig, journal, ledger, random.Random(seed + 2), options.fault_gap).run),
                  run_actor(journal, "plugs", lambda: plug_actor(rig, journal, random.Random(seed + 3)))]
        for number in range(options.clients):
            client = ApiClient(rig, journal, ledger, number, random.Random(seed + 10 + number))
            actors.append(run_actor(journal, f"client{number}", client.run))
        for number in range(2):
            subscriber = EventSubscriber(rig, journal, random.Random(seed + 20 + number))
            actors.append(run_actor(journal, f"events{number}", subscriber.run))
        journal.stop.wait(options.duration)
        journal.stop.set()
        for actor in actors:
            actor.join(30)
            if actor.is_alive() and journal.failure is None:
                journal.fail(f"no hang: {actor.name} did not finish within 30 s of the end")
        figures = {}
        if journal.failure is None:
            figures = finish(rig, journal, ledger)
    except Violation:
        figures = {}
    finally:
        shut_down(rig, journal)
        # A failed run keeps its folder: the daemon's and the helper's logs.
        if not options.keep and journal.failure is None:
            subprocess.run(["umount", rig.data], capture_output=True)
            subprocess.run(["rm", "-rf", work])
    if journal.failure is not None:
        print(f"SOAK FAILED (seed {seed}): {journal.failure}")
        print("last events:")
        for event in journal.events:
            print("  " + event)
        print(f"logs in {work}")
        return 1
    report(journal, rig, figures, time.monotonic() - journal.start)
    return 0


def setup(rig):
    """The fixed points the checks rely on: the probe button mapped to mouse button 5, and a chord."""
    for mask, command in ((1 << (PROBE_BUTTON - 1), "mouse_button5Click"), (CHORD_MASK, "mouse_middleClick")):
        status, answer = http_request(rig.port, "POST", f"/config/buttons?app=*&device={DEVICE}&button={mask}",
                                      json.dumps({"command": command, "params": None}))
        if status != 200:
            raise SystemExit(f"soak: the set-up request failed: {status} {answer!r}")


def plug_actor(rig, journal, rng):
    while not journal.stop.wait(rng.uniform(0.5, 3)):
        if rig.plugged and (len(rig.plugged) >= MAX_PLUGGED or rng.random() < 0.5):
            instance = rng.choice(rig.plugged)
            trackball = rig.trackballs.get(instance)
            if trackball is not None and rng.random() < 0.5:
                trackball.report(press=0x01)  # unplugged while a button is down
            try:
                if rig.unplug(instance):
                    journal.count("trackballs unplugged")
            except OSError:
                pass  # the daemon went meanwhile
        else:
            try:
                if rig.plug() is not None:
                    journal.count("trackballs plugged")
            except OSError:
                pass


def finish(rig, journal, ledger):
    """The checks at the end: releases, every acknowledged write after one more helper start, growth."""
    InputActor(rig, journal, random.Random(0)).check_releases()
    rig.kill_helper()
    Faults(rig, journal, ledger, random.Random(0), 1).start_helper_and_verify("the last helper start")
    Monitor.check_settings_file(journal, rig.settings_file)
    return check_growth(rig, journal)


def shut_down(rig, journal):
    if rig.helper is not None and rig.helper.poll() is None:
        rig.helper_ready.clear()
        rig.helper.send_signal(signal.SIGTERM)
        try:
            code = rig.helper.wait(10)
            if code != 0 and journal.failure is None:
                journal.fail(f"no crash: obxhelper ended with {code} after SIGTERM")
        except subprocess.TimeoutExpired:
            rig.helper.kill()
            if journal.failure is None:
                journal.fail("no hang: obxhelper did not end within 10 s of SIGTERM")
    if rig.daemon is not None:
        try:
            code = rig.stop_daemon(signal.SIGTERM)
            if code != 0 and journal.failure is None:
                journal.fail(f"no crash: obxkernd ended with {code} after SIGTERM")
        except subprocess.TimeoutExpired:
            if journal.failure is None:
                journal.fail("no hang: obxkernd did not end within 10 s of SIGTERM")
    if rig.xvfb is not None:
        rig.xvfb.terminate()
        rig.xvfb.wait(10)


if __name__ == "__main__":
    sys.exit(main())
