#!/usr/bin/python3
"""The Windows installer under Wine, silently, in a fresh prefix of its own: an older package
installs (files, running service, autostart entry, shortcut, the driver package added through a
stand-in pnputil, a helper from the installed folder answering); a newer one replaces it (one copy of
each file, at the new version; the driver package deleted and added again; the running helper ended
and started again; the user's settings untouched); removal leaves only the user's settings and deletes
the driver package; a failing service start rolls back and leaves nothing; a package whose driver
pnputil refuses installs all the same, ends with 0, logs a warning, records why for the helper, whose
page says it; another build of the same version then upgrades it in place and its driver is installed;
a driver that needs a restart makes the installation end with 3010.
The package's tables are checked for what Wine cannot show. The steps build on each other and run in
their numbered order.

Usage: installer_wine.py <package-windows.sh> <work folder> <programs folder> <http_exchange.exe>
                         <pnputil stand-in>
"""

import filecmp
import os
import shutil
import socket
import subprocess
import sys
import time
import unittest

PACKAGE, WORK, PROGRAMS, HTTP_EXCHANGE, PNPUTIL_STAND_IN = sys.argv[1:6]
WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
PREFIX = os.path.join(WORK, "prefix")
# Generous: Wine starts slowly on a small, busy machine.
WAIT = 60
# msiexec's 1627 (the installation failed and was rolled back), as a Linux exit status holds it.
ROLLED_BACK = 1627 & 0xFF
RESTART_NEEDED = 3010 & 0xFF
INSTALLED = os.path.join(PREFIX, "drive_c", "Program Files", "Halvex", "Ombrix")
RUN_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"
OUR_KEY = r"HKLM\Software\Halvex\Ombrix"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
HELPER = r"C:\Program Files\Halvex\Ombrix\obxhelper.exe"
PNPUTIL_CALLS = os.path.join(PREFIX, "drive_c", "windows", "system32", "pnputil-calls.txt")
PNPUTIL_ANSWER = os.path.join(PREFIX, "drive_c", "windows", "system32", "pnputil-answer.txt")


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


PORT = free_port()
ENVIRONMENT = dict(os.environ, WINEPREFIX=PREFIX, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
                   OBX_HTTP_PORT=str(PORT))


def wait_until(condition, timeout=WAIT):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.3)
    return condition()


def wine(*args, timeout=2 * WAIT, stdin=None, output=subprocess.PIPE):
    return subprocess.run([WINE, *args], env=ENVIRONMENT, input=stdin, stdout=output,
                          stderr=subprocess.DEVNULL, timeout=timeout)


def to_windows(path):
    return "Z:" + path.replace("/", "\\")


def msiexec(action, package, *properties):
    log = os.path.join(WORK, os.path.basename(package) + action.strip("/") + ".log")
    # Not through a pipe: the helper that the installer starts would hold it open.
    return wine("msiexec", action, to_windows(package), "/qn", "/l*v", to_windows(log), *properties,
                timeout=5 * WAIT, output=subprocess.DEVNULL).returncode


def registry_value(key, name):
    """The value's line in reg's answer, or None when it does not exist."""
    answer = wine("reg", "query", key, "/v", name)
    if answer.returncode != 0:
        return None
    return answer.stdout.decode("utf-8", "replace")


def service_state():
    answer = wine("sc", "query", "obxsvc").stdout.decode("utf-8", "replace")
    for state in ("RUNNING", "STOPPED", "START_PENDING", "STOP_PENDING"):
        if "SERVICE_NAME: obxsvc" in answer and state in answer:
            return state
    return None


def products():
    """Display names of the products in Apps & features."""
    answer = wine("reg", "query", UNINSTALL_KEY, "/s").stdout.decode("utf-8", "replace")
    return [line.split("REG_SZ")[1].strip() for line in answer.splitlines()
            if line.strip().startswith("DisplayName") and "REG_SZ" in line]


def shortcuts():
    """Wine puts a per-machine package's Start-menu entries in the user's menu, Windows in the common one."""
    found = []
    for folder, _, files in os.walk(os.path.join(PREFIX, "drive_c")):
        found += [os.path.join(folder, name) for name in files if name == "Ombrix settings.lnk"]
    return found


def roaming_settings():
    users = os.path.join(PREFIX, "drive_c", "users")
    for name in sorted(os.listdir(users)):
        candidate = os.path.join(users, name, "AppData", "Roaming", "Halvex", "Ombrix", "ObxSettings.json")
        if os.path.exists(candidate):
            return candidate
    return None


def pnputil_calls():
    """The stand-in's command lines since the last look, without the program."""
    if not os.path.exists(PNPUTIL_CALLS):
        return []
    with open(PNPUTIL_CALLS, encoding="utf-8") as calls:
        lines = calls.read().splitlines()
    os.remove(PNPUTIL_CALLS)
    return [line.split(".exe\" ", 1)[1] if ".exe\" " in line else line for line in lines]


def answer_to(target, port=PORT):
    """The helper's answer through a Windows-side probe: the helper refuses Linux clients."""
    request = b"GET %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nConnection: close\r\n\r\n" % (target, port)
    try:
        return wine(HTTP_EXCHANGE, str(port), stdin=request).stdout
    except subprocess.TimeoutExpired:
        return b""


def devices_answer():
    return answer_to(b"/devices")


def installer_log(package, action):
    with open(os.path.join(WORK, os.path.basename(package) + action.strip("/") + ".log"), "rb") as log:
        content = log.read()
    return content.decode("utf-16") if content.startswith(b"\xff\xfe") else content.decode("utf-8", "replace")


def msi_table(package, table):
    """msiinfo's export of a table: its rows as lists of columns, without the two header lines."""
    answer = subprocess.run(["msiinfo", "export", package, table], check=True, stdout=subprocess.PIPE)
    return [line.split("\t") for line in answer.stdout.decode().splitlines()[3:]]


def helper_answers(port=PORT):
    return answer_to(b"/devices", port).startswith(b"HTTP/1.1 200")


def build(name, version, obxsvc, marker):
    """A package of the given version from a copy of the programs, with a stand-in driver package
    whose INF names the version (its "driver" is a program: it must be signed like one)."""
    source = os.path.join(WORK, name)
    os.makedirs(source)
    shutil.copy(os.path.join(PROGRAMS, "obxhelper.exe"), source)
    shutil.copy(obxsvc, os.path.join(source, "obxsvc.exe"))
    with open(os.path.join(PROGRAMS, "obxactions.json"), "rb") as actions:
        content = actions.read()
    with open(os.path.join(source, "obxactions.json"), "wb") as actions:
        actions.write(content + marker)
    with open(os.path.join(source, "obxkern.inf"), "w") as stand_in:
        stand_in.write("; stand-in driver package %s\n" % version)
    shutil.copy(PNPUTIL_STAND_IN, os.path.join(source, "obxkern.sys"))
    shutil.copy(os.path.join(PROGRAMS, "obxsetup.dll"), source)
    package = os.path.join(WORK, name + ".msi")
    subprocess.run([PACKAGE, "--from", source, "--version", version, "--out", package], check=True,
                   stdout=subprocess.DEVNULL)
    return package


def extracted(package):
    """The package's program folder, as msiextract unpacks it."""
    target = os.path.join(WORK, os.path.basename(package) + ".files")
    subprocess.run(["msiextract", "-C", target, package], check=True, stdout=subprocess.DEVNULL)
    for folder, _, files in os.walk(target):
        if "obxhelper.exe" in files:
            return folder
    raise AssertionError("no obxhelper.exe in " + package)


def signed(path):
    """Whether the file carries an Authenticode signature (the test certificate is trusted nowhere)."""
    signature = os.path.join(WORK, "signature")
    if os.path.exists(signature):
        os.remove(signature)
    return subprocess.run(["osslsigncode", "extract-signature", "-in", path, "-out", signature],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def files_below(folder):
    return sorted(os.path.relpath(os.path.join(parent, name), folder)
                  for parent, _, files in os.walk(folder) for name in files)


class InstallerUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(WORK, ignore_errors=True)
        os.makedirs(WORK)
        cls.failing = build("failing", "2.0.0", HTTP_EXCHANGE, b"")
        cls.older = build("older", "1.9.0", os.path.join(PROGRAMS, "obxsvc.exe"), b"\n")
        cls.newer = build("newer", "2.0.0", os.path.join(PROGRAMS, "obxsvc.exe"), b"")
        cls.rebuilt = build("rebuilt", "2.0.0", os.path.join(PROGRAMS, "obxsvc.exe"), b"\n\n")
        # The prefix is made and its first server has ended before the prefix's own processes start
        # again with a server that lasts the test (as build-windows.sh does for the suite), their
        # output to a log, not to the test's pipes. A service started by the server that made the
        # prefix fails to start.
        with open(os.path.join(WORK, "wineboot.log"), "wb") as log:
            for step in ([WINE, "wineboot", "--init"], [WINESERVER, "-w"], [WINESERVER, "-p"], [WINE, "wineboot"]):
                subprocess.run(step, env=ENVIRONMENT, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                               timeout=5 * WAIT, check=True)
        shutil.copy(PNPUTIL_STAND_IN, os.path.join(PREFIX, "drive_c", "windows", "system32", "pnputil.exe"))
        cls.helper = None

    @classmethod
    def tearDownClass(cls):
        if cls.helper is not None and cls.helper.poll() is None:
            cls.helper.kill()
        subprocess.run([WINESERVER, "-k"], env=ENVIRONMENT, timeout=WAIT)

    def assertNothingInstalled(self):
        self.assertEqual(files_below(INSTALLED) if os.path.isdir(INSTALLED) else [], [])
        self.assertIsNone(service_state())
        self.assertIsNone(registry_value(RUN_KEY, "Ombrix Helper"))
        self.assertEqual(shortcuts(), [])
        self.assertNotIn("Ombrix", products())

    def test_1_silent_install(self):
        self.assertTrue(signed(self.older))
        self.assertEqual(msiexec("/i", self.older), 0)
        self.assertEqual(files_below(INSTALLED), ["obxactions.json", "obxhelper.exe", "obxkern.inf",
                                                  "obxkern.sys", "obxsetup.dll", "obxsvc.exe"])
        self.assertTrue(wait_until(lambda: service_state() == "RUNNING"), service_state())
        self.assertIn('"%s"' % HELPER, registry_value(RUN_KEY, "Ombrix Helper") or "")
        for program in ("obxhelper.exe", "obxsvc.exe", "obxsetup.dll", "obxkern.sys"):
            self.assertTrue(signed(os.path.join(INSTALLED, program)), program)
        self.assertEqual(len(shortcuts()), 1)
        self.assertEqual(products(), ["Ombrix"])
        self.assertEqual(pnputil_calls(), [r'/add-driver "C:\Program Files\Halvex\Ombrix\obxkern.inf" /install'])
        self.assertIn("oem7.inf", registry_value(OUR_KEY, "DriverPackage") or "", "the published name is kept")
        self.assertRegex(registry_value(OUR_KEY, "DriverInstallError") or "", r"DriverInstallError\s+REG_SZ\s*$",
                         "installed: the helper's record is empty")

        type(self).helper = subprocess.Popen([WINE, HELPER], env=ENVIRONMENT, stdout=subprocess.DEVNULL,
                                             stderr=subprocess.DEVNULL)
        self.assertTrue(wait_until(helper_answers), "the installed helper does not answer")
        self.assertIn(b'{"devices":[]}', devices_answer(), "it found its actions file and answered")

    def test_2_upgrade_replaces_every_file_and_keeps_the_settings(self):
        settings = roaming_settings()
        self.assertIsNotNone(settings, "the helper wrote its settings")
        with open(settings, "rb") as before:
            written = before.read()

        self.assertEqual(msiexec("/i", self.newer, "HELPERPORT=%d" % PORT), 0)
        self.assertIsNotNone(self.helper.wait(timeout=WAIT), "the running helper was ended")
        expected = extracted(self.newer)
        self.assertEqual(files_below(INSTALLED), files_below(expected))
        for name in files_below(expected):
            self.assertTrue(filecmp.cmp(os.path.join(INSTALLED, name), os.path.join(expected, name),
                                        shallow=False), name + " is the new version's")
        self.assertEqual(products(), ["Ombrix"])
        self.assertEqual(pnputil_calls(), ["/delete-driver oem7.inf /uninstall",
                                           r'/add-driver "C:\Program Files\Halvex\Ombrix\obxkern.inf" /install'])
        self.assertTrue(wait_until(lambda: service_state() == "RUNNING"), service_state())
        self.assertTrue(wait_until(helper_answers), "the helper was started again after the upgrade")
        with open(settings, "rb") as after:
            self.assertEqual(after.read(), written)

    def test_3_removal_leaves_only_the_users_settings(self):
        settings = roaming_settings()
        with open(settings, "rb") as before:
            written = before.read()
        self.assertEqual(msiexec("/x", self.newer), 0)
        self.assertNothingInstalled()
        self.assertEqual(pnputil_calls(), ["/delete-driver oem7.inf /uninstall"])
        self.assertIsNone(registry_value(OUR_KEY, "DriverPackage"))
        self.assertFalse(helper_answers(), "the running helper was ended")
        with open(settings, "rb") as after:
            self.assertEqual(after.read(), written)

    def test_4_a_service_that_cannot_start_rolls_the_installation_back(self):
        self.assertEqual(msiexec("/i", self.failing), ROLLED_BACK)
        self.assertNothingInstalled()
        # Wine's msiexec runs no rollback action of a library (its entry is logged, not called): the
        # package added before the failure stays in the stand-in's store, where Windows' rollback
        # deletes it (UndoAddDriverPackage; InstallerTables checks its place). Deleted by hand here.
        self.assertEqual(pnputil_calls(), [r'/add-driver "C:\Program Files\Halvex\Ombrix\obxkern.inf" /install'])
        wine("reg", "delete", OUR_KEY, "/v", "DriverPackage", "/f")

    def test_5_a_driver_that_cannot_be_installed_leaves_the_rest_installed_and_says_why(self):
        with open(PNPUTIL_ANSWER, "w") as answer:
            answer.write("5\nAdding driver package failed: Access is denied.\r\n")
        try:
            self.assertEqual(msiexec("/i", self.newer), 0)
        finally:
            os.remove(PNPUTIL_ANSWER)
        self.assertTrue(wait_until(lambda: service_state() == "RUNNING"), service_state())
        self.assertEqual(pnputil_calls(), [r'/add-driver "C:\Program Files\Halvex\Ombrix\obxkern.inf" /install'])
        reason = "pnputil ended with code 5: Adding driver package failed: Access is denied."
        self.assertIn(reason, registry_value(OUR_KEY, "DriverInstallError") or "")
        self.assertIsNone(registry_value(OUR_KEY, "DriverPackage"), "nothing to delete later")
        self.assertIn("Ombrix: the trackball driver was not installed. " + reason, installer_log(self.newer, "/i"))

        type(self).helper = subprocess.Popen([WINE, HELPER], env=ENVIRONMENT, stdout=subprocess.DEVNULL,
                                             stderr=subprocess.DEVNULL)
        self.assertTrue(wait_until(helper_answers), "the installed helper does not answer")
        self.assertIn(("The trackball driver is not installed: " + reason).encode(), answer_to(b"/status"))

    def test_6_another_build_of_the_same_version_upgrades_in_place(self):
        # The helper that the installer starts listens on the port chosen now, though the installer's
        # own environment still says PORT.
        chosen = free_port()
        self.assertEqual(msiexec("/i", self.rebuilt, "HELPERPORT=%d" % chosen), 0)
        self.assertIsNotNone(self.helper.wait(timeout=WAIT), "the running helper was ended")
        self.assertEqual(products(), ["Ombrix"])
        expected = extracted(self.rebuilt)
        self.assertEqual(files_below(INSTALLED), files_below(expected))
        self.assertTrue(filecmp.cmp(os.path.join(INSTALLED, "obxactions.json"),
                                    os.path.join(expected, "obxactions.json"), shallow=False))
        self.assertEqual(pnputil_calls(), [r'/add-driver "C:\Program Files\Halvex\Ombrix\obxkern.inf" /install'])
        self.assertRegex(registry_value(OUR_KEY, "DriverInstallError") or "", r"DriverInstallError\s+REG_SZ\s*$")
        self.assertTrue(wait_until(lambda: helper_answers(chosen)), "the helper started on the chosen port")
        self.assertFalse(helper_answers(PORT))
        self.assertTrue(wait_until(lambda: b"not installed" not in answer_to(b"/status", chosen)))
        self.assertIn("Ombrix: the helper was started for the installing user.", installer_log(self.rebuilt, "/i"))

    def test_7_a_driver_that_needs_a_restart_asks_for_it(self):
        with open(PNPUTIL_ANSWER, "w") as answer:
            answer.write("3010\nPublished Name:     oem9.inf\r\nSystem reboot is needed to complete install operations!\r\n")
        try:
            self.assertEqual(msiexec("/i", self.newer, "/norestart"), RESTART_NEEDED)
        finally:
            os.remove(PNPUTIL_ANSWER)
        self.assertIn("oem9.inf", registry_value(OUR_KEY, "DriverPackage") or "")
        self.assertIn("Ombrix: the trackball driver needs a restart.", installer_log(self.newer, "/i"))


class InstallerTables(unittest.TestCase):
    """What Wine's msiexec cannot show, read from the package's tables."""

    @classmethod
    def setUpClass(cls):
        shutil.rmtree(WORK, ignore_errors=True)
        os.makedirs(WORK)
        cls.package = build("tables", "2.0.1", os.path.join(PROGRAMS, "obxsvc.exe"), b"")

    def test_the_driver_actions_are_a_windowless_library_with_rollback_before_each(self):
        actions = {row[0]: row for row in msi_table(self.package, "CustomAction")}
        # 17 a library installed with the package; 1024 in the script; 2048 as the system account;
        # 256 on rollback; 64 its result ignored.
        self.assertEqual(actions["AddDriverPackage"][1:4], ["3089", "obxsetup.dll", "AddDriverPackage"])
        self.assertEqual(actions["DeleteDriverPackage"][1:4], ["3089", "obxsetup.dll", "DeleteDriverPackage"])
        self.assertEqual(actions["UndoAddDriverPackage"][1], "3409")
        self.assertEqual(actions["UndoDeleteDriverPackage"][1], "3409")
        # Run at once, as the installing user (no 2048), in the library (no console of its own).
        self.assertEqual(actions["StartHelper"][1:4], ["81", "obxsetup.dll", "StartHelper"])
        # The system account's other actions: no console program among them.
        self.assertEqual(actions["AskHelpersToQuit"][1:4], ["3153", "obxsetup.dll", "AskHelpersToQuit"])
        self.assertEqual(actions["DeleteServiceOnRollback"][1:4], ["3409", "obxsetup.dll", "DeleteServiceOnRollback"])
        self.assertFalse([row for row in actions.values() if ".exe" in row[2] + row[3] and int(row[1]) & 2048],
                         "no program run as the system account")
        sequence = {row[0]: int(row[2]) for row in msi_table(self.package, "InstallExecuteSequence")}
        self.assertLess(sequence["UndoAddDriverPackage"], sequence["AddDriverPackage"])
        self.assertLess(sequence["UndoDeleteDriverPackage"], sequence["DeleteDriverPackage"])
        self.assertLess(sequence["InstallInitialize"], sequence["RemoveExistingProducts"],
                        "a failed upgrade rolls the old product's removal back")
        headers = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", os.path.join(PROGRAMS, "obxsetup.dll")],
                                 check=True, stdout=subprocess.PIPE).stdout.decode()
        self.assertRegex(headers, r"Subsystem\s+00000002", "no console")

    def test_the_port_is_an_environment_variable_that_the_installer_announces(self):
        self.assertEqual(msi_table(self.package, "Environment"),
                         [["HelperPort", "*=-OBX_HTTP_PORT", "[HELPERPORT]", "HelperPort"]])
        actions = [row[0] for row in msi_table(self.package, "InstallExecuteSequence")]
        self.assertIn("WriteEnvironmentStrings", actions)
        self.assertIn("RemoveEnvironmentStrings", actions)
        self.assertFalse([row for row in msi_table(self.package, "Registry") if "Environment" in row[2]],
                         "not written behind the installer's back")

    def test_the_same_version_is_detected_as_an_upgrade(self):
        upgrades = {row[6]: row for row in msi_table(self.package, "Upgrade")}
        self.assertEqual(upgrades["WIX_UPGRADE_DETECTED"][2], "2.0.1")
        self.assertEqual(int(upgrades["WIX_UPGRADE_DETECTED"][4]) & 512, 512, "the maximum version included")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
