#!/usr/bin/python3
"""The configuration page's frame in headless chromium against obxhelper and a virtual trackball, with
page_test.py's helper and browser. Usage: page_v2_test.py BIN_FOLDER"""

import os
import subprocess
import urllib.parse

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.keys import Keys

import page_test
from page_test import PageTestCase, wait_for

AXE_FD = "OBX_AXE_FD"
SPEED_ROW = '#pointer-body .field:has(input[name="speedNumber"])'
ADD_A_CHORD = "#buttons-body > .actions > button:nth-child(2)"
USE_THE_TICKED = ".asking .actions button:first-child"


def axe_source():
    """The accessibility checker, opened by main() before the test gives up root (the cache is root's)."""
    with os.fdopen(int(os.environ[AXE_FD]), encoding="utf-8") as file:
        return file.read()


class FramePageTestCase(PageTestCase):
    """The page opened at the helper's address with a trackball present."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        try:
            cls.system.start_trackball()
            wait_for(lambda: (cls.system.get("/devices") or {}).get("devices"), "the trackball")
            cls.browser.get(cls.system.address_the_helper_opens())
        except AssertionError:
            cls.tearDownClass()
            raise

    def setUp(self):
        self.shows("#buttons-body", "Button 6")
        self.program = self.system.program
        self.device_id = self.device()

    def config(self, resource, app="*", **more):
        query = urllib.parse.urlencode({"device": self.device_id, "app": app, **more})
        return self.api(f"/config/{resource}?{query}")

    def marked(self):
        return self.browser.execute_script(
            "return [...document.querySelectorAll('main [data-differs=\"global\"]')]"
            ".filter((row) => row.checkVisibility()).map((row) => row.innerText)")


class FrameTest(FramePageTestCase):
    def test_1_a_full_copy_marks_its_one_own_setting_and_undo_takes_a_change_back(self):
        keystroke = {"command": "keystroke", "keyCode": 67, "modifiers": "ctrl"}
        self.system.request("POST", f"/config/buttons?device={self.device_id}&app=*&button=32", keystroke)
        self.click('input[name="newProfileFrom"][value="global"]')
        self.click(".offers button")
        self.until(lambda: self.chosen_profile() == self.program, "the program's profile")
        # The bar shows the program's icon, as the helper listed it among the programs offered.
        self.assertTrue(self.find(f'.profile-bar button[data-app="{self.program}"] img')
                        .get_attribute("src").startswith("data:image/png;base64,iVBOR"))
        # A full copy holds the global profile's keystroke, which a profile as the helper makes it does not.
        self.assertEqual(self.config("buttons", self.program, button=32), keystroke)
        self.until(lambda: self.find('input[name="speedNumber"]').get_attribute("value") == "50", "the speed")
        self.assertEqual(self.marked(), [])
        self.find('input[name="speedNumber"]').clear()
        self.find('input[name="speedNumber"]').send_keys("70", Keys.ENTER)
        self.until(lambda: len(self.marked()) == 1, "one setting to be marked")
        self.assertIn("Use global (50)", self.marked()[0])
        # The global value, one click away.
        self.click(f"{SPEED_ROW} button.use-global")
        self.until(lambda: self.config("pointer", self.program)["speed"] == 50, "the global speed")
        self.until(lambda: self.marked() == [], "the mark to go")
        # Undo names what it takes back: that reset.
        self.shows("#undo", "Undo: Pointer speed 70 → 50 (Sketcher)")
        self.click("#undo")
        self.until(lambda: self.config("pointer", self.program)["speed"] == 70, "the reset to be undone")
        # The place is in the address: a reload keeps it, the back button returns to the global profile.
        self.browser.refresh()
        self.until(lambda: self.chosen_profile() == self.program, "the program's profile after a reload")
        self.browser.back()
        self.until(lambda: self.chosen_profile() == "*", "the global profile after going back")

    def test_2_a_snippet_saved_after_a_rename_elsewhere_keeps_both(self):
        self.click(f'.profile-bar button[data-app="{self.program}"]')
        self.until(lambda: self.chosen_profile() == self.program, "the program's profile")
        self.click("button.add-snippet")
        self.find('input[name="snippet-label-0"]').send_keys("Greeting")
        self.find('textarea[name="snippet-content-0"]').send_keys("Grüße aus Köln")
        # obxctl renames the profile meanwhile.
        self.system.request("POST", f"/config/apps/name?device={self.device_id}&app={self.program}",
                            {"name": "Sketch pad"})
        self.click('form[aria-label="Snippets"] button[type=submit]')
        self.shows("#stale", "changed elsewhere")
        self.assertEqual(self.config("snippets", self.program)[0], {"label": "", "content": ""})
        self.click("#stale-reload")
        self.shows(".profile-bar", "Sketch pad")
        self.until(lambda: self.browser.execute_script("return document.activeElement.closest('form')?.ariaLabel")
                   == "Snippets", "the focus back where the save was asked for")
        self.assertEqual(self.value_of('textarea[name="snippet-content-0"]'), "Grüße aus Köln")
        self.click('form[aria-label="Snippets"] button[type=submit]')
        self.until(lambda: self.config("snippets", self.program)[0] == {"label": "Greeting", "content": "Grüße aus Köln"},
                   "the snippet to be saved")
        self.assertIn({self.program: "Sketch pad"}, self.config("apps")["apps"])
        # Slots keep their numbers: the second added takes slot 2, removing the first empties slot 1 alone.
        self.click("button.add-snippet")
        self.find('textarea[name="snippet-content-1"]').send_keys("Bis bald")
        self.click('button[aria-label="Remove snippet 1"]')
        self.click('form[aria-label="Snippets"] button[type=submit]')
        self.until(lambda: self.config("snippets", self.program)[:2] == [
            {"label": "", "content": ""}, {"label": "", "content": "Bis bald"}], "slot 1 emptied, slot 2 kept")
        self.browser.get_log("browser")  # the refused save, which the browser notes itself

    def test_3_nothing_scrolls_sideways_at_320_px_or_at_1280_px_zoomed_to_200_percent(self):
        self.click('button[aria-label="Change Button 6"]')
        # 1280 device pixels at 200 % lay the page out in 640 CSS pixels, as a 640 pixel window does.
        for width, scale in ((320, 1), (640, 2)):
            self.browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": width, "height": 800, "deviceScaleFactor": scale, "mobile": False})
            try:
                self.until(lambda: self.browser.execute_script("return innerWidth") == width, f"{width} px")
                self.assertTrue(self.browser.execute_script(
                    "return document.documentElement.scrollWidth <= document.documentElement.clientWidth"), width)
            finally:
                self.browser.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})
        self.click(".action-editor button[type=button]")

    def test_4_an_accessibility_audit_finds_nothing_with_an_editor_open(self):
        self.click('button[aria-label="Change Button 6"]')
        # Injected by the test's driver, past the page's policy, which stays as it is.
        self.browser.execute_script(axe_source() + "\nwindow.axe = axe;")
        self.assertEqual(self.browser.execute_async_script(
            "axe.run(document, {resultTypes: ['violations']}).then((result) => result.violations.map((v) =>"
            " [v.id, v.impact, v.nodes.map((node) => node.target.join(' '))]), String).then(arguments[0])"), [])
        self.click(".action-editor button[type=button]")

    def test_5_undo_keeps_the_last_20_changes_and_one_refused_stays(self):
        self.assertEqual(self.browser.execute_async_script("""
            const done = arguments[0];
            import('./js/undo.js').then(async ({ record, undoLast }) => {
                const taken = [];
                for (let n = 1; n <= 25; n += 1) record(`change ${n}`, async () => taken.push(n));
                while (await undoLast() !== null);
                record("refused", async () => { throw new Error("refused"); });
                const refusals = [await undoLast().catch(String), await undoLast().catch(String)];
                done([taken, refusals]);
            });"""), [list(range(25, 5, -1)), ["Error: refused"] * 2])
        self.shows("#undo", "Undo: refused")


class FirstVisit:
    """The first visit, with one hand: a chord given a click, a program's profile made from the global one,
    a change there undone."""

    def test_the_first_visit(self):
        self.press(ADD_A_CHORD)
        self.tick('input[name="chord-button"][value="1"]')
        self.tick('input[name="chord-button"][value="2"]')
        self.press(USE_THE_TICKED)
        self.shows(".action-editor h3", "Buttons 1 + 2: choose its action")
        self.choose('.action-editor select[name="kind"]', "singleClick", "Click")
        self.choose('.action-editor select[name="mouseButton"]', "2", "Right")
        self.press(".action-editor button[type=submit]")
        right_click = {"command": "singleClick", "button": 2, "modifiers": ""}
        self.until(lambda: self.config("buttons", button=3) == right_click, "the chord's click")
        self.pick('input[name="newProfileFrom"][value="global"]')
        self.press(".offers button")
        self.until(lambda: self.chosen_profile() == self.program, "the program's profile")
        self.assertEqual(self.config("buttons", self.program, button=3), right_click)
        before = self.config("pointer", self.program)["acceleration"]
        self.tick('input[name="acceleration"]')
        self.press('form[aria-label="Pointer"] button[type=submit]')
        self.until(lambda: self.config("pointer", self.program)["acceleration"] != before, "the change")
        self.until(lambda: len(self.marked()) == 1, "the changed setting to be marked")
        self.undo()
        self.until(lambda: self.config("pointer", self.program)["acceleration"] == before, "the change undone")
        self.until(lambda: self.marked() == [], "the mark to go")


class MouseOnlyFirstVisitTest(FirstVisit, FramePageTestCase):
    def press(self, css):
        self.click(css, lambda element: ActionChains(self.browser).move_to_element(element).click().perform())

    tick = pick = press

    def choose(self, select, value, _):
        """The list opened with a click, the option clicked as WebDriver clicks one (the list's pop-up is
        outside the page, where the pointer of ActionChains cannot reach)."""
        self.press(select)
        self.find(f'{select} option[value="{value}"]').click()

    def undo(self):
        self.press("#undo")


class KeyboardOnlyFirstVisitTest(FirstVisit, FramePageTestCase):
    def setUp(self):
        super().setUp()
        self.click("h1")

    def press(self, css, key=Keys.ENTER):
        self.tab_to(css)
        self.keys(key)

    def tick(self, css):
        self.press(css, Keys.SPACE)

    def pick(self, css):  # the group's first radio button reached, then the arrows
        self.tab_to(f'input[name="{self.find(css).get_attribute("name")}"]')
        while self.focused("value") != self.find(css).get_attribute("value"):
            self.keys(Keys.ARROW_DOWN)

    def choose(self, select, _, words):
        self.press(select, words)

    def undo(self):  # Ctrl+Z outside text fields
        self.tab_to('input[name="acceleration"]')
        ActionChains(self.browser).key_down(Keys.CONTROL).send_keys("z").key_up(Keys.CONTROL).perform()
        self.shows("#undo-done", "Undone: Acceleration")


def main():
    # The checker is installed (or found in its cache) and opened while the test may still be root.
    if AXE_FD not in os.environ:
        installer = os.path.join(page_test.REPOSITORY, "scripts", "axe-core.sh")
        path = subprocess.run([installer], check=True, capture_output=True, text=True).stdout.strip()
        descriptor = os.open(path, os.O_RDONLY)
        os.set_inheritable(descriptor, True)
        os.environ[AXE_FD] = str(descriptor)
    page_test.main()


if __name__ == "__main__":
    main()
