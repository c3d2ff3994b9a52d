#!/usr/bin/python3
"""The buttons section of the configuration page in headless chromium, against the real obxhelper and a
virtual trackball of obxkernd: the drawing of the trackball, a chord made by pressing it, a gesture.

Usage: page_buttons_test.py BIN_FOLDER
The helper, the browser and the run as nobody are page_test.py's."""

import os
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import page_test  # noqa: E402
from page_test import PageTestCase, wait_for  # noqa: E402
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402
from selenium.webdriver.support.ui import Select  # noqa: E402

F8 = 0x77


class KeyWatcher:
    """The key presses that reach the X display, as xev on its root window reports them: the browser is
    headless, so what the helper types goes to the root window."""

    def __init__(self, environment):
        self.pressed = []
        # A line at a time: into a pipe, xev's output would otherwise wait for a full buffer.
        self.process = subprocess.Popen(["stdbuf", "-oL", "xev", "-root", "-event", "keyboard"], env=environment,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        event = None
        for line in self.process.stdout:
            if line.startswith("KeyPress"):
                event = "press"
            elif event and "keysym" in line:
                self.pressed.append(line.split("keysym")[1].split(",")[1].split(")")[0].strip())
                event = None

    def stop(self):
        self.process.terminate()
        self.process.wait()


class ButtonsSectionTest(PageTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.system.start_trackball()
        cls.browser.get(cls.system.address_the_helper_opens())

    def drawn(self):
        """The drawing's buttons, each as its mask and its name for screen readers."""
        return self.browser.execute_script(
            "return [...document.querySelectorAll('svg.trackball .control')]"
            ".map((control) => [Number(control.dataset.mask), control.getAttribute('aria-label')])")

    def listed(self, mask):
        row = f'tr[data-mask="{mask}"] th'
        return f"{self.text_of(row)}: {self.action_of(mask)}"

    def drawn_lit(self, mask):
        return self.browser.execute_script(
            "return document.querySelector(`svg.trackball .control[data-mask='${arguments[0]}']`)"
            ".classList.contains('pressed')", mask)

    def button_named(self, text):
        return self.find_xpath(f'//section[@id="buttons"]//button[normalize-space()="{text}"]')

    def choose(self, name, value):
        Select(self.find(f'select[name="{name}"]')).select_by_value(value)

    def find_xpath(self, path):
        return self.browser.find_element(By.XPATH, path)

    def test_1_the_drawing_shows_the_buttons_names_them_as_the_list_and_lights_the_one_pressed(self):
        device = self.device()
        capabilities = self.api(f"/devices/capabilities?device={device}")
        singles = [1 << bit for bit in range(capabilities["buttons"])]
        pans = [0x40000000, 0x80000000] if capabilities["pan"] else []
        self.until(lambda: [mask for mask, _ in self.drawn()] == singles + pans, "the drawn buttons")
        self.assertEqual([label for _, label in self.drawn()], [self.listed(mask) for mask in singles + pans])
        self.assertEqual(self.find("svg.trackball").get_attribute("aria-label"),
                         f"Trackball with {capabilities['buttons']} buttons: its buttons, as placed on the trackball")
        self.system.press("press", "6")
        try:
            self.until(lambda: self.drawn_lit(32), "button 6 to light up on the drawing")
            self.assertEqual([mask for mask in singles if self.drawn_lit(mask)], [32])
        finally:
            self.system.press("release", "6")

        # The keyboard: one stop for the drawing, the arrows along its buttons, Enter opens the editor.
        self.browser.execute_script("document.querySelector('svg.trackball .control[tabindex=\"0\"]').focus()")
        self.assertEqual(self.focused("data-mask"), "1")
        self.keys(Keys.ARROW_RIGHT)
        self.assertEqual(self.focused("data-mask"), "2")
        self.keys(Keys.ENTER)
        self.shows(".action-editor h3", "Button 2: choose its action")
        self.keys(Keys.ESCAPE)
        self.until(lambda: not self.browser.find_elements(By.CSS_SELECTOR, ".action-editor"), "the editor to close")

        # Asked which button, a press on the trackball answers and runs nothing else.
        self.button_named("Which button? Press it on the trackball").click()
        self.shows(".asking .question", "Which button? Press it on the trackball")
        self.system.press("click", "7")
        self.shows(".action-editor h3", "Button 7: choose its action")
        self.assertTrue(self.find(".asking").get_attribute("hidden") is not None)
        self.click('.action-editor button[type=button]')

    def test_2_a_chord_pressed_on_the_trackball_gets_a_keystroke_that_it_then_types(self):
        device = self.device()
        self.button_named("Add a chord").click()
        self.shows(".asking .question", "Press two buttons together")
        # One button alone is not a chord: the page asks again.
        self.system.press("click", "3")
        self.shows(".asking .question", "That was button 3 alone")
        self.system.press("press", "1", "press", "2", "release", "2", "release", "1")
        self.shows(".action-editor h3", "Buttons 1 + 2: choose its action")
        self.click('.action-editor input[name="key"]')
        self.keys(Keys.F8)
        self.click(".action-editor button[type=submit]")
        self.until(lambda: self.action_of(3) == "F8", "the chord's row to read F8")
        self.assertEqual(self.api(f"/config/buttons?device={device}&app=*&button=3"),
                         {"command": "keystroke", "keyCode": F8, "modifiers": ""})
        self.assertTrue(self.browser.find_elements(By.CSS_SELECTOR, 'svg.trackball polyline.chord[data-mask="3"]'))
        # The learn moment is over: pressed on the trackball, the chord types its key.
        watcher = KeyWatcher(self.system.environment)
        try:
            # xev listens once a key of the test's own reaches it.
            wait_for(lambda: subprocess.run(["xdotool", "key", "F1"], env=self.system.environment).returncode == 0
                     and "F1" in watcher.pressed, "xev to listen")
            # The two presses must fall in one chord window; on a loaded machine the virtual trackball's
            # reports can come further apart than that, and then they are two clicks: pressed again.
            def chord_types_its_key():
                self.system.press("press", "1", "press", "2", "release", "2", "release", "1")
                end = time.monotonic() + 2
                while time.monotonic() < end and "F8" not in watcher.pressed:
                    time.sleep(0.05)
                return "F8" in watcher.pressed
            self.assertTrue(any(chord_types_its_key() for _ in range(5)), "the chord's F8 to reach the display")
        finally:
            watcher.stop()

    def test_3_a_gesture_set_in_the_editor_is_saved_in_its_documented_form(self):
        device = self.device()
        self.click('button[aria-label="Change Button 6"]')
        self.choose("kind", "gesture")
        self.choose("gesture-mode", "repeat")
        threshold = self.find('input[name="gesture-threshold"]')
        threshold.clear()
        threshold.send_keys("150")
        self.choose("up-kind", "keystroke")
        self.click('input[name="up-key"]')
        ActionChains(self.browser).key_down(Keys.CONTROL).send_keys(Keys.PAGE_UP).key_up(Keys.CONTROL).perform()
        self.choose("wheelDown-kind", "scroll")
        self.choose("wheelDown-direction", "down")
        lines = self.find('input[name="wheelDown-lines"]')
        lines.clear()
        lines.send_keys("3")
        self.choose("tap-kind", "singleClick")
        # A move left as a keystroke without its key is refused in words, naming the move.
        self.choose("left-kind", "keystroke")
        self.click(".action-editor button[type=submit]")
        self.shows(".action-editor .error", "Ball left: Press the key this move should send.")
        self.choose("left-kind", "none")
        self.click(".action-editor button[type=submit]")
        self.until(lambda: self.action_of(32).startswith("Gesture: ball up Ctrl+Page Up, wheel down"),
                   "button 6 to read as the gesture")
        self.assertEqual(self.api(f"/config/buttons?device={device}&app=*&button=32"), {
            "command": "gesture", "mode": "repeat", "threshold": 150,
            "up": {"command": "keystroke", "keyCode": 33, "modifiers": "ctrl"},
            "wheelDown": {"command": "scroll", "direction": "down", "lines": 3},
            "tap": {"command": "singleClick", "button": 1, "modifiers": ""}})
        # Opened again, the editor shows the gesture as saved.
        self.click('button[aria-label="Change Button 6"]')
        self.assertEqual([self.value_of(f'[name="{name}"]') for name in
                          ("kind", "gesture-mode", "gesture-threshold", "up-kind", "up-key", "down-kind", "tap-kind")],
                         ["gesture", "repeat", "150", "keystroke", "Page Up", "none", "singleClick"])
        self.click('.action-editor button[type=button]')

    def test_9_the_console_is_clean(self):
        self.assertEqual(self.browser.get_log("browser"), [])


def main():
    page_test.run_unprivileged()
    page_test.BIN = os.path.abspath(sys.argv[1])
    program = unittest.main(argv=[sys.argv[0], "-v"], exit=False)
    sys.exit(0 if program.result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
