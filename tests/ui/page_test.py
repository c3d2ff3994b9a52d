#!/usr/bin/python3
"""The configuration page in a real browser (headless chromium through Selenium),
against the real obxhelper and a virtual trackball of obxkernd.

Usage: page_test.py BIN_FOLDER [--screenshot FILE]
The tests of a class share one helper and one browser, and run in their file
order: the trackball arrives in the first one. Chromium runs with its own
sandbox, which it refuses to do as root: as root the test runs itself as
nobody, the helper too (the helper serves its own user only)."""

import http.server
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.common.exceptions import NoSuchElementException, StaleElementReferenceException
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

BIN = ""
SCREENSHOT = None
REPOSITORY = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WAIT_S = 10
NOBODY = 65534
CHROMIUM_FLAGS = ("--headless --disable-gpu --disable-quic --no-first-run "
                  "--disable-background-networking --disable-component-update --disable-sync "
                  "--window-size=1100,1400").split()


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class System:
    """Xvfb (the helper lists programs from an X session), obxhelper, later obxkernd."""

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="obx-ui-")
        self.port = free_port()
        self.processes = []
        self.runtime = os.path.join(self.folder, "run")
        self.program = self.make_program("sketcher", "Sketcher")
        display_pipe = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(display_pipe[1]), "-nolisten", "tcp"],
                                pass_fds=[display_pipe[1]], stderr=subprocess.DEVNULL)
        self.processes.append(xvfb)
        os.close(display_pipe[1])
        with os.fdopen(display_pipe[0]) as pipe:
            display = pipe.readline().strip()
        # A runtime folder of its own: the helper's single-instance socket would otherwise meet that of
        # another run of these tests by the same user.
        instance = os.path.join(self.folder, "xdg-runtime")
        os.mkdir(instance, 0o700)
        self.environment = dict(os.environ, HOME=self.folder, DISPLAY=":" + display, XDG_RUNTIME_DIR=instance,
                                XDG_CONFIG_HOME=os.path.join(self.folder, "config"),
                                XDG_DATA_HOME=os.path.join(self.folder, "data"),
                                XDG_DATA_DIRS=os.path.join(self.folder, "system"),
                                OBX_RUNTIME_DIR=self.runtime, OBX_HTTP_PORT=str(self.port))
        self.start([os.path.join(BIN, "obxhelper"), "--logLevel", "1"])
        try:
            wait_for(lambda: self.get("/") is not None, "the helper to answer")
        except AssertionError:
            self.stop()  # no display or helper outlives a failed start
            raise

    def make_program(self, name, title):
        """An installed program, as a desktop entry with an icon, for the list of programs."""
        program = os.path.join(self.folder, "bin", name)
        os.makedirs(os.path.dirname(program), exist_ok=True)
        with open(program, "w") as file:
            file.write("#!/bin/sh\n")
        os.chmod(program, 0o755)
        icon = os.path.join(self.folder, name + ".svg")
        with open(icon, "w") as file:
            file.write('<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16">'
                       '<rect width="16" height="16" fill="teal"/></svg>')
        entries = os.path.join(self.folder, "data", "applications")
        os.makedirs(entries, exist_ok=True)
        with open(os.path.join(entries, name + ".desktop"), "w") as file:
            file.write(f"[Desktop Entry]\nType=Application\nName={title}\nExec={program} %F\nIcon={icon}\n")
        return program

    def address_the_helper_opens(self):
        """What a second start of the helper with --launchGui, as the tray's action, hands to the desktop's
        opener (a stand-in that notes it): the page's address with a one-time code."""
        tools = os.path.join(self.folder, "tools")
        os.makedirs(tools, exist_ok=True)
        noted = os.path.join(self.folder, "opened")
        with open(os.path.join(tools, "xdg-open"), "w") as file:
            file.write(f'#!/bin/sh\necho "$1" > {noted}.part && mv {noted}.part {noted}\n')
        os.chmod(os.path.join(tools, "xdg-open"), 0o755)
        environment = dict(self.environment, PATH=tools + ":/usr/bin:/bin")
        subprocess.run([os.path.join(BIN, "obxhelper"), "--launchGui"], env=environment, check=True,
                       timeout=WAIT_S, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: os.path.exists(noted), "the address the helper opens")
        with open(noted) as file:
            address = file.read().strip()
        os.remove(noted)
        return address

    def log(self):
        with open(os.path.join(self.folder, "config", "Halvex", "Ombrix", "obxhelper_00.log"), errors="replace") as file:
            return file.read()

    def start(self, command):
        self.processes.append(subprocess.Popen(command, env=self.environment, stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL))

    def start_trackball(self):
        self.start([os.path.join(BIN, "obxkernd"), "--runtime-dir", self.runtime, "--virtual"])

    def press(self, *words):
        subprocess.run([sys.executable, os.path.join(REPOSITORY, "scripts", "virtual_input.py"),
                        "--runtime-dir", self.runtime, *words], check=True, timeout=WAIT_S)

    def request(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(f"http://127.0.0.1:{self.port}{path}", data=data, method=method)
        with urllib.request.urlopen(request, timeout=WAIT_S) as answer:
            return json.loads(answer.read())

    def get(self, path):
        try:
            return self.request("GET", path)
        except OSError:
            return None

    def stop(self):
        for process in reversed(self.processes):
            process.send_signal(signal.SIGTERM)
        for process in reversed(self.processes):
            try:
                process.wait(timeout=WAIT_S)
            except subprocess.TimeoutExpired:
                process.kill()
        shutil.rmtree(self.folder, ignore_errors=True)


class PointingDeviceStandIn:
    """obxkernd's pointing-devices socket, spoken by the test: the virtual daemon serves none, and this
    machine has no hidraw device to offer. A device taken leaves the list, one let go comes back."""

    def __init__(self, runtime, devices):
        os.makedirs(runtime, exist_ok=True)
        self.devices = list(devices)
        self.offered = list(devices)
        self.requests = []
        self.clients = []
        self.listener = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
        self.listener.bind(os.path.join(runtime, "pointing-devices"))
        self.listener.listen()
        threading.Thread(target=self.accept, daemon=True).start()

    def message(self):
        lines = ["\t".join(device) for device in self.offered]
        return (f"pointing-devices {len(lines)}\n" + "".join(line + "\n" for line in lines)).encode()

    def accept(self):
        while True:
            client, _ = self.listener.accept()
            self.clients.append(client)
            client.send(self.message())
            threading.Thread(target=self.serve, args=(client,), daemon=True).start()

    def serve(self, client):
        while (request := client.recv(1024).decode()):
            self.requests.append(request)
            verb, ids, *serial = request.split(" ", 2)
            matching = [d for d in self.devices if d[0] == ids and d[6] == (serial[0] if serial else d[6])]
            self.offered = ([d for d in self.offered if d not in matching] if verb == "take"
                            else self.offered + [d for d in matching if d not in self.offered])
            for other in list(self.clients):
                try:
                    other.send(self.message())
                except OSError:  # a request's connection, closed after its answer
                    self.clients.remove(other)
            client.send(b"ok")


def wait_for(condition, what):
    end = time.monotonic() + WAIT_S
    while time.monotonic() < end:
        if condition():
            return
        time.sleep(0.05)
    raise AssertionError(f"timed out waiting for {what}")


def settings_of(document):
    """The settings without the time they were last written."""
    return {key: value for key, value in document.items() if key != "timestamp"}


def open_browser(folder, downloads, binary):
    options = webdriver.ChromeOptions()
    options.binary_location = binary
    for flag in CHROMIUM_FLAGS:
        options.add_argument(flag)
    options.add_argument("--user-data-dir=" + os.path.join(folder, "browser"))
    options.add_experimental_option("prefs", {"download.default_directory": downloads,
                                              "download.prompt_for_download": False})
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(options=options,
                            service=Service("/usr/bin/chromedriver", env=dict(os.environ, HOME=folder)))


class PageTestCase(unittest.TestCase):
    """A helper and a browser for the tests of a class, and what the tests do in a person's terms."""

    @classmethod
    def setUpClass(cls):
        cls.system = System()
        cls.downloads = os.path.join(cls.system.folder, "downloads")
        os.makedirs(cls.downloads)
        cls.browser = open_browser(cls.system.folder, cls.downloads, cls.browser_program(cls.system.folder))

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        cls.system.stop()

    @classmethod
    def browser_program(cls, folder):
        return "/usr/bin/chromium"

    def find(self, css):
        return self.browser.find_element(By.CSS_SELECTOR, css)

    def until(self, condition, what):
        WebDriverWait(self.browser, WAIT_S, poll_frequency=0.05).until(lambda _: condition(), what)

    def click(self, css, press=lambda element: element.click()):
        """Clicks what css finds, again if a view redrew it meanwhile."""
        def clicked():
            try:
                press(self.find(css))
                return True
            except (StaleElementReferenceException, NoSuchElementException):
                return False
        self.until(clicked, f"{css} to be clicked")

    def value_of(self, css):
        return self.browser.execute_script("return document.querySelector(arguments[0])?.value", css)

    def text_of(self, css):
        # Read in the page: the views redraw, so a held element may be gone.
        # What is not shown counts as no text.
        return self.browser.execute_script(
            "const found = document.querySelector(arguments[0]);"
            "return found?.checkVisibility() ? found.innerText : ''", css)

    def shows(self, css, text):
        self.until(lambda: text in self.text_of(css), f"'{text}' in {css}")

    def api(self, path):
        return self.system.request("GET", path)

    def device(self):
        return self.api("/devices")["devices"][0]["id"]

    def keys(self, *keys):
        ActionChains(self.browser).send_keys(*keys).perform()

    def tab_to(self, css):
        for _ in range(300):
            if self.browser.execute_script("return document.activeElement.matches(arguments[0])", css):
                return
            self.keys(Keys.TAB)
        self.fail(f"Tab never reached {css}")

    def focused(self, attribute):
        return self.browser.switch_to.active_element.get_attribute(attribute)

    def chosen_profile(self):
        return self.browser.execute_script(
            "return document.querySelector('.profile-bar [aria-pressed=\"true\"]')?.dataset.app")

    def action_of(self, mask):
        return self.text_of(f'tr[data-mask="{mask}"] .action')

    def lit(self, mask):
        return self.browser.execute_script(
            "return document.querySelector(`tr[data-mask='${arguments[0]}']`).classList.contains('pressed')", mask)


class ConfigurationPageTest(PageTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.console = []
        cls.browser.get(cls.system.address_the_helper_opens())

    def tearDown(self):
        self.console.extend(self.browser.get_log("browser"))

    # The tests.
    def test_1_a_trackball_arriving_shows_without_a_reload(self):
        self.shows("#devices-body", "No trackball is connected")
        # Without the daemon the helper says what is missing and how to start it; the notice goes once
        # the daemon is there.
        self.shows("#status-notices", "obxkernd is not running")
        self.system.start_trackball()
        self.until(lambda: self.text_of("#status-notices") == "", "the missing driver's notice to go")
        self.shows("#devices-body", "Virtual Trackball")
        self.shows("#devices-body", "USB, version 256")
        self.shows("#buttons-body", "Button 6")
        # As many single buttons as the driver says the device's descriptor declares.
        declared = self.api(f"/devices/capabilities?device={self.device()}")["buttons"]
        self.assertGreater(declared, 0)
        self.until(lambda: self.browser.execute_script(
            "return [...document.querySelectorAll('tr[data-mask]')].filter((row) => "
            "Number.isInteger(Math.log2(Number(row.dataset.mask))) && row.dataset.mask < 256).length") == declared,
            f"{declared} button rows")

    def test_1b_another_pointing_device_is_offered_taken_and_let_go(self):
        other = PointingDeviceStandIn(self.system.runtime, [
            ("1234:5678", "0003", "6", "1", "0", "", "A1", "Office Ball"),
            ("1234:0009", "0005", "3", "0", "0", "no X and Y axes", "", "Keypad Pointer")])
        self.shows("#other-devices-body", "Office Ball")
        self.shows("#other-devices-body", "1234:5678, serial A1, 6 buttons, wheel")
        self.shows('li[data-id="1234:0009"]', "Cannot be used: no X and Y axes")
        self.assertEqual(self.browser.find_elements(By.CSS_SELECTOR, 'li[data-id="1234:0009"] button'), [])
        self.find('li[data-id="1234:5678"] button').send_keys(Keys.ENTER)
        self.until(lambda: other.requests == ["take 1234:5678 A1"], "the choice to reach the daemon")
        self.shows('li[data-id="1234:5678"]', "Served with these settings")
        self.click('li[data-id="1234:5678"] button')
        self.until(lambda: other.requests[1:] == ["release 1234:5678 A1"], "the device to be let go")
        self.shows('li[data-id="1234:5678"]', "Use with these settings")
        with self.assertRaises(urllib.error.HTTPError) as refused:
            self.system.request("POST", "/devices/other", {"take": True, "vendor": 70000, "product": 1})
        self.assertIn("from 0 to 65535", json.loads(refused.exception.read())["reason"])
        self.assertEqual(len(other.requests), 2, "a bad request reaches no daemon")

    def test_2_a_first_visit(self):
        device = self.device()
        # Button 6 gets a keystroke captured from a key press.
        self.click('button[aria-label="Change Button 6"]')
        self.click('input[name="key"]')
        ActionChains(self.browser).key_down(Keys.CONTROL).send_keys("c").key_up(Keys.CONTROL).perform()
        self.assertEqual(self.value_of('input[name="key"]'), "C")
        self.click(".action-editor button[type=submit]")
        self.until(lambda: self.action_of(32) == "Ctrl+C",
                   "button 6 to read Ctrl+C")
        self.assertEqual(self.api(f"/config/buttons?device={device}&app=*&button=32"),
                         {"command": "keystroke", "keyCode": 67, "modifiers": "ctrl"})

        # A profile for a program from the list.
        self.shows(".offers", "Add Sketcher")
        self.click(".offers button")
        program = self.system.program
        self.until(lambda: self.chosen_profile() == program, "the new profile to be chosen")
        self.assertIn({program: "Sketcher"}, self.api(f"/config/apps?device={device}")["apps"])

        # The pointer speed of that profile.
        speed = self.find('input[name="speedNumber"]')
        self.until(lambda: speed.get_attribute("value") != "", "the pointer settings")
        speed.clear()
        speed.send_keys("70")
        self.click('form[aria-label="Pointer"] button[type=submit]')
        self.until(lambda: self.api(f"/config/pointer?device={device}&app={program}")["speed"] == 70,
                   "the speed to reach the helper")
        self.assertEqual(self.api(f"/config/pointer?device={device}&app=*")["speed"], 50)
        if SCREENSHOT:  # the program's profile, its own speed marked, the change ready to be undone
            self.browser.execute_script("window.scrollTo(0, 0)")
            self.browser.save_screenshot(SCREENSHOT)

        # Export, change something, import the export.
        exported = self.api("/config")
        self.click("#transfer-body > button")
        file = os.path.join(self.downloads, "obx-settings.json")
        wait_for(lambda: os.path.exists(file), "the exported file")
        with open(file) as handle:
            self.assertEqual(json.load(handle), exported)
        self.system.request("POST", f"/config/pointer?device={device}&app=*", {"speed": 20})
        self.assertNotEqual(settings_of(self.api("/config")), settings_of(exported))
        self.find('input[name="settingsFile"]').send_keys(file)
        self.click('form[aria-label="Import settings"] button[type=submit]')
        self.shows('form[aria-label="Import settings"] .done', "Settings imported.")
        self.assertEqual(settings_of(self.api("/config")), settings_of(exported))


    def test_3_a_button_press_highlights_its_button(self):
        self.system.press("press", "6")
        try:
            self.until(lambda: self.lit(32), "button 6 to light up")
            self.assertFalse(self.lit(64))
        finally:
            self.system.press("release", "6")

    def test_4_the_keyboard_alone_sets_a_click(self):
        device = self.device()
        self.click("h1")
        self.tab_to('button[aria-label="Change Button 7"]')
        self.keys(Keys.ENTER)
        self.assertEqual(self.focused("name"), "kind")
        self.keys("Click")
        self.keys(Keys.TAB)
        self.assertEqual(self.focused("name"), "mouseButton")
        self.keys(Keys.ARROW_DOWN)
        while self.focused("type") != "submit":
            self.keys(Keys.TAB)
        self.keys(Keys.ENTER)
        self.until(lambda: self.action_of(64) == "Click, right", "button 7 to read Click, right")
        app = self.chosen_profile()
        self.assertEqual(self.api(f"/config/buttons?device={device}&app={app}&button=64"),
                         {"command": "singleClick", "button": 2, "modifiers": ""})

    def test_5_a_refused_save_shows_the_reason_and_keeps_the_form(self):
        form = 'form[aria-label="Add a program by its path"]'
        path = self.find(f'{form} input[name="programPath"]')
        name = self.find(f'{form} input[name="programName"]')
        path.send_keys(self.system.program)
        name.send_keys("Sketcher again")
        self.click(f"{form} button[type=submit]")
        self.shows(f"{form} .error", "Application configuration already exists")
        self.assertEqual(path.get_attribute("value"), self.system.program)
        self.assertEqual(name.get_attribute("value"), "Sketcher again")
        # The browser notes the refused request itself; that one entry is expected.
        refused = [entry for entry in self.browser.get_log("browser")
                   if not (entry["source"] == "network" and "/config/apps" in entry["message"]
                           and "400" in entry["message"])]
        self.console.extend(refused)

    def test_6_every_control_has_a_label_and_dark_follows_the_system(self):
        unnamed = self.browser.execute_script("""
            return [...document.querySelectorAll('input, select, textarea, button, output')]
                .filter((control) => !(control.labels?.length || control.getAttribute('aria-label')
                                        || control.textContent.trim()))
                .map((control) => control.outerHTML)""")
        self.assertEqual(unnamed, [])
        background = "return getComputedStyle(document.body).backgroundColor"
        colours = {}
        for scheme in ("light", "dark"):
            self.browser.execute_cdp_cmd("Emulation.setEmulatedMedia",
                                         {"features": [{"name": "prefers-color-scheme", "value": scheme}]})
            colours[scheme] = self.browser.execute_script(background)
        self.browser.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})
        self.assertEqual(colours, {"light": "rgb(255, 255, 255)", "dark": "rgb(17, 24, 39)"})

    def test_7_renaming_a_profile_and_saving_a_snippet(self):
        device = self.device()
        program = self.system.program
        self.until(lambda: self.chosen_profile() == program, "the program's profile")
        name = self.find('input[name="profileName"]')
        name.clear()
        name.send_keys("Sketch pad")
        self.click('form[aria-label="Rename the profile"] button[type=submit]')
        self.until(lambda: {program: "Sketch pad"} in self.api(f"/config/apps?device={device}")["apps"],
                   "the new name to reach the helper")
        self.click("button.add-snippet")
        self.find('input[name="snippet-label-0"]').send_keys("Greeting")
        self.find('textarea[name="snippet-content-0"]').send_keys("Grüße aus Köln")
        self.click('form[aria-label="Snippets"] button[type=submit]')
        self.until(lambda: self.api(f"/config/snippets?device={device}&app={program}")[0]
                   == {"label": "Greeting", "content": "Grüße aus Köln"}, "the snippet to reach the helper")
        self.assertEqual(self.api(f"/config/snippets?device={device}&app=*")[0], {"label": "", "content": ""})

    def test_8_actions_in_words(self):
        cases = [
            ({"command": "keystroke", "keyCode": 67, "modifiers": "ctrl"}, "Ctrl+C"),
            ({"command": "keystroke", "keyCode": 0x73, "modifiers": "alt,shift"}, "Alt+Shift+F4"),
            ({"command": "singleClick", "button": 2, "modifiers": "ctrl"}, "Ctrl+Click, right"),
            ({"command": "multiClick", "button": 1, "clicks": 2}, "Double click, left"),
            ({"command": "multiClick", "button": 3, "clicks": 3}, "Triple click, middle"),
            ({"command": "drag", "button": 1}, "Drag, left"),
            ({"command": "snippet", "content": "Grüße aus Köln"}, "Types “Grüße aus Kö…”"),
            ({"command": "snippet", "content": "short"}, "Types “short”"),
            ({"command": "snippetMenu"}, "Shows the snippet menu"),
            ({"command": "open", "path": "/home/ana/Documents"}, "Opens ~/Documents"),
            ({"command": "open", "path": "https://example.org/"}, "Opens https://example.org/"),
            ({"command": "system", "action": "minimizeAll"}, "Shows the desktop"),
            ({"command": "scroll", "direction": "UP", "lines": 3}, "Scrolls up, 3 lines"),
            ({"command": "scroll", "direction": "trackball"}, "Scrolls with the ball while held"),
            ({"command": "sequence", "steps": [{"type": "keyDown", "modifiers": "ctrl"},
                                               {"type": "keystroke", "keyCode": 67, "modifiers": "ctrl"},
                                               {"type": "pause", "ms": 200}]},
             "Sequence: down Ctrl, key Ctrl+C, pause 200"),
            ({"command": "sequence"}, "Empty sequence"),
            ({"command": "useGlobal"}, "As in the global profile"),
            ({"command": "none"}, "No action"),
            (None, "No action"),
            ({"command": "edit_selectAll", "params": None}, "Select all"),
            ({"command": "mouse_button4Click", "params": None}, "Button 4 click"),
        ]
        words = self.browser.execute_async_script(
            "const [actions, done] = arguments;"
            "import('./js/describe.js').then((module) => done(actions.map(module.actionInWords)))",
            [action for action, _ in cases])
        self.assertEqual(words, [expected for _, expected in cases])

    def test_8b_a_sequence_is_written_one_step_a_line(self):
        device = self.device()
        app = self.chosen_profile()
        self.click('button[aria-label="Change Button 6"]')
        Select(self.find('select[name="kind"]')).select_by_value("sequence")
        steps = self.find('textarea[name="steps"]')
        steps.send_keys("down Shift\nkey Page Up\nup Shift\npause 250\ntext Hi\\nthere\nclick Ctrl+right")
        self.click(".action-editor button[type=submit]")
        self.until(lambda: self.action_of(32).startswith("Sequence: down Shift, key Page Up"),
                   "button 6 to read as the sequence")
        self.assertEqual(self.api(f"/config/buttons?device={device}&app={app}&button=32"), {
            "command": "sequence", "steps": [
                {"type": "keyDown", "modifiers": "shift"}, {"type": "keystroke", "keyCode": 33},
                {"type": "keyUp", "modifiers": "shift"}, {"type": "pause", "ms": 250},
                {"type": "text", "text": "Hi\nthere"}, {"type": "click", "button": 2, "modifiers": "ctrl"}]})

        # Opened again, the editor shows the same lines; the helper's refusal keeps the form open.
        self.click('button[aria-label="Change Button 6"]')
        steps = self.find('textarea[name="steps"]')
        self.assertEqual(steps.get_attribute("value"),
                         "down Shift\nkey Page Up\nup Shift\npause 250\ntext Hi\\nthere\nclick Ctrl+right")
        steps.send_keys("\npause 5000\npause 5000")
        self.click(".action-editor button[type=submit]")
        self.shows(".action-editor .error", "Sequence step 8 makes the pauses 10250 ms in all, more than 10000")
        steps.send_keys("\nwait 3")
        self.click(".action-editor button[type=submit]")
        self.shows(".action-editor .error", "Step 9 (“wait 3”): begin it with key, down, up, text")
        self.assertEqual(self.api(f"/config/buttons?device={device}&app={app}&button=32")["steps"][3],
                         {"type": "pause", "ms": 250})
        self.click('.action-editor button[type=button]')
        refused = [entry for entry in self.browser.get_log("browser")
                   if not (entry["source"] == "network" and "/config/buttons" in entry["message"]
                           and "400" in entry["message"])]
        self.console.extend(refused)

    def test_91_another_port_gets_nothing_the_helper_takes_and_its_images_hold_no_event_place(self):
        token = self.browser.execute_script("return sessionStorage.getItem('obx-page-token')")
        self.assertTrue(token)
        page, tab = self.browser.current_url, self.browser.current_window_handle
        # The page leaves its event-stream place while the other port's page takes what it can.
        self.browser.get("about:blank")
        foreign = ForeignServer(self.system.port)
        try:
            self.browser.switch_to.new_window("tab")
            self.browser.get(foreign.address)
            self.assertTrue(foreign.reported.wait(WAIT_S), "the other port's page did not report")
            self.assertEqual([text for text in foreign.received if token in text], [])
            # The helper refused the images itself: the browser's blocking of the answers (nosniff, the
            # resource policy) is not what kept them out.
            wait_for(lambda: self.system.log().count('{"reason":"Request origin not allowed"') >= 5,
                     "the helper to refuse the other port's images")
            # The page, opened again while the images are still shown, gets its event-stream place.
            self.browser.switch_to.window(tab)
            self.browser.get(page)
            self.shows("#connection", "Connected to the helper")
            self.system.press("press", "6")
            try:
                self.until(lambda: self.lit(32), "button 6 to light up")
            finally:
                self.system.press("release", "6")
        finally:
            foreign.stop()
        # The browser notes the images the helper refused; those entries are expected.
        self.console.extend(entry for entry in self.browser.get_log("browser")
                            if not (entry["source"] == "network" and "/events" in entry["message"]))

    def test_9_nothing_leaves_the_loopback_address_and_the_console_is_clean(self):
        own = f"http://127.0.0.1:{self.system.port}/"
        entries = self.browser.execute_script(
            "return performance.getEntriesByType('navigation').concat(performance.getEntriesByType('resource'))"
            ".map((entry) => entry.name)")
        self.assertTrue(entries)
        self.assertEqual([name for name in entries if not name.startswith((own, "data:", "blob:"))], [])
        self.console.extend(self.browser.get_log("browser"))
        self.assertEqual(self.console, [])


class ForeignServer:
    """Another program's web server on another loopback port, as a sandboxed program could run one: its page
    reports what the browser lets it read, and holds images of the helper's event stream."""

    def __init__(self, helper_port):
        self.received = []
        self.reported = threading.Event()
        # The report goes once every image has loaded or failed: a stream taken by an image never ends.
        page = ("<!doctype html><title>elsewhere</title>"
                + "".join(f'<img src="http://127.0.0.1:{helper_port}/events?{n}" alt="">' for n in range(5))
                + "<script>Promise.all([...document.images].map((image) => new Promise((done) => {"
                  " image.onload = image.onerror = done; }))).then(() => fetch('/report', {method: 'POST',"
                  " body: JSON.stringify({cookie: document.cookie, session: {...sessionStorage},"
                  " local: {...localStorage}})}))</script>").encode()
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def answer(self, body):
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def do_GET(self):
                server.received.append(self.requestline + "\n" + str(self.headers))
                self.answer(page)

            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length", 0))).decode()
                server.received.append(self.requestline + "\n" + str(self.headers) + body)
                self.answer(b"")
                server.reported.set()

            def log_message(self, *arguments):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.address = f"http://127.0.0.1:{self.httpd.server_address[1]}/"
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def stop(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class SandboxedBrowserTest(PageTestCase):
    """The page in a browser that is itself a sandbox (as a Snap or Flatpak browser is): chromium inside
    bubblewrap, sharing the host's network but not its mount namespace, with its own sandbox on."""

    @classmethod
    def browser_program(cls, folder):
        wrapper = os.path.join(folder, "sandboxed-chromium")
        with open(wrapper, "w") as file:
            file.write('#!/bin/sh\nexec bwrap --dev-bind / / --share-net --die-with-parent /usr/bin/chromium "$@"\n')
        os.chmod(wrapper, 0o755)
        return wrapper

    def test_1_the_address_the_helper_opens_works_and_no_other_does(self):
        self.system.start_trackball()
        address = self.system.address_the_helper_opens()
        self.browser.get(address)
        self.shows("#devices-body", "Virtual Trackball")
        self.shows("#connection", "Connected to the helper")
        self.assertNotIn("code=", self.browser.current_url)
        # The browser's own requests come from outside the session: without the page's token they are
        # refused as any sandboxed program's are.
        self.assertEqual(self.browser.execute_async_script(
            "fetch('/config').then((answer) => arguments[0](answer.status))"), 403)
        # In a tab of its own the page has no token; the spent code and a plain address say how to open it.
        tab = self.browser.current_window_handle
        for other in (address, address.split("?")[0]):
            self.browser.switch_to.new_window("tab")
            self.browser.get(other)
            self.shows("#locked", "obxctl open")
            self.assertFalse(self.browser.execute_script("return document.querySelector('main').checkVisibility()"))
            self.browser.close()
            self.browser.switch_to.window(tab)


def run_unprivileged():
    """Runs this test again as nobody when it runs as root."""
    if os.geteuid() != 0:
        return
    os.execv("/usr/bin/setpriv", ["setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups", "--",
                                  "/usr/bin/env", "-u", "XDG_RUNTIME_DIR", "HOME=/nonexistent",
                                  sys.executable, os.path.abspath(sys.argv[0]), *sys.argv[1:]])


def main():
    global BIN, SCREENSHOT
    run_unprivileged()
    arguments = sys.argv[1:]
    if "--screenshot" in arguments:
        at = arguments.index("--screenshot")
        SCREENSHOT = os.path.abspath(arguments[at + 1])
        del arguments[at:at + 2]
    BIN = os.path.abspath(arguments[0])
    program = unittest.main(argv=[sys.argv[0], "-v"], exit=False)
    sys.exit(0 if program.result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
