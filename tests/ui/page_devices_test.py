#!/usr/bin/python3
"""A trackball that no file lists, plugged in, chosen on the configuration page and let go, against the real
obxhelper and the real obxkernd, whose hidraw devices are stand-ins of the test's (--hardware-root): this
machine has neither hidraw devices nor /dev/uhid.

Usage: page_devices_test.py BIN_FOLDER"""

import os
import socket
import struct
import subprocess
import sys
import threading
import unittest

import dbus
from selenium.webdriver.support.expected_conditions import staleness_of
from selenium.webdriver.support.ui import Select

import page_test
from page_test import PageTestCase, wait_for

DESCRIPTOR = "anon-03.hid"  # 16 buttons, 16-bit X and Y, wheel and AC Pan, no report id
IDS = "fff1:0016"


def corpus_descriptor(name):
    with open(os.path.join(page_test.REPOSITORY, "tests", "driver", "data", "corpus", name)) as file:
        return bytes.fromhex(" ".join(line.split(" ", 1)[1] for line in file if line.startswith("descriptor ")))


def report(buttons=0):
    """An input report of the descriptor: buttons 1 to 16 (bit n is button n + 1), X, Y, wheel, pan."""
    return struct.pack("<HhhbB", buttons, 0, 0, 0, 0)


def listen(path):
    listener = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
    listener.bind(path)
    listener.listen()
    return listener


class HidrawStandIn:
    """One hidraw device as obxkernd --hardware-root finds it (driver/linux/hardware/Hardware.h): a folder
    with the HID device's uevent and report descriptor, the node `hidraw`, which sends one input report a
    message to whoever opened it, and the evdev node `event0`, whose connection the daemon holds for as long
    as it grabs the device: the stand-in notes each grab and each release."""

    def __init__(self, root, name, uevent, descriptor):
        self.folder = os.path.join(root, name)
        staging = os.path.join(os.path.dirname(root), name + ".new")
        os.makedirs(staging)
        with open(os.path.join(staging, "uevent"), "w") as file:
            file.write("".join(f"{key}={value}\n" for key, value in uevent.items()))
        with open(os.path.join(staging, "report_descriptor"), "wb") as file:
            file.write(descriptor)
        self.readers = []
        self.grabs = []
        self.node = listen(os.path.join(staging, "hidraw"))
        self.event_node = listen(os.path.join(staging, "event0"))
        threading.Thread(target=self.open_nodes, daemon=True).start()
        threading.Thread(target=self.grab_nodes, daemon=True).start()
        # Arrives whole, as the kernel's device does.
        os.rename(staging, self.folder)

    def open_nodes(self):
        while True:
            self.readers.append(self.node.accept()[0])

    def grab_nodes(self):
        while True:
            grab, _ = self.event_node.accept()
            self.grabs.append("grabbed")
            threading.Thread(target=self.hold, args=(grab,), daemon=True).start()

    def hold(self, grab):
        while grab.recv(16):
            pass
        self.grabs.append("released")

    def send(self, data):
        wait_for(lambda: self.readers, "the daemon to open the hidraw node")
        self.readers[-1].send(data)

    def unplug(self):
        for path in ("hidraw", "event0"):
            os.remove(os.path.join(self.folder, path))
        self.node.close()
        self.event_node.close()
        for reader in self.readers:
            reader.close()
        for path in ("uevent", "report_descriptor"):
            os.remove(os.path.join(self.folder, path))
        os.rmdir(self.folder)


class MouseReader:
    """The daemon's mouse of a trackball that the stand-ins' hardware serves: its packets as text."""

    def __init__(self, path):
        wait_for(lambda: os.path.exists(path), f"the mouse {path}")
        self.packets = []
        self.connection = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
        self.connection.connect(path)
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        with self.connection:
            while (packet := self.connection.recv(256)):
                self.packets.append(packet.decode())

    def flags(self):
        return [packet.split()[0] for packet in self.packets]


def start_seat_of(system):
    """A private system bus with logind's mock, whose seat0's active session is the test's user: the daemon
    admits the seat's user to its sockets."""
    bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"],
                           stdout=subprocess.PIPE, text=True)
    system.processes.append(bus)
    address = bus.stdout.readline().strip()
    environment = dict(system.environment, DBUS_SYSTEM_BUS_ADDRESS=address)
    system.processes.append(subprocess.Popen(["/usr/bin/python3", "-m", "dbusmock", "--template", "logind"],
                                             env=environment, stdout=subprocess.DEVNULL))
    connection = dbus.bus.BusConnection(address)
    wait_for(lambda: connection.name_has_owner("org.freedesktop.login1"), "logind's mock")
    connection.get_object("org.freedesktop.login1", "/org/freedesktop/login1").AddSession(
        "c1", "seat0", dbus.UInt32(os.getuid()), "tester", True, dbus_interface="org.freedesktop.DBus.Mock")
    return environment


class UnlistedTrackballTest(PageTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        try:
            cls.start_daemon()
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def start_daemon(cls):
        system = cls.system
        cls.root = os.path.join(system.folder, "hardware")
        os.makedirs(cls.root)
        devices_conf = os.path.join(system.folder, "devices.conf")
        with open(devices_conf, "w") as file:
            file.write("# no trackball listed\n")
        cls.daemon_log = open(os.path.join(system.folder, "obxkernd.log"), "w")
        system.processes.append(subprocess.Popen(
            [os.path.join(page_test.BIN, "obxkernd"), "--runtime-dir", system.runtime, "--hardware-root", cls.root,
             "--devices-conf", devices_conf, "--state-dir", os.path.join(system.folder, "state")],
            env=start_seat_of(system), stderr=cls.daemon_log))
        cls.browser.get(system.address_the_helper_opens())

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        if hasattr(cls, "daemon_log"):
            cls.daemon_log.close()

    def row(self):
        return f'li[data-id="{IDS}"]'

    def press(self, trackball, buttons):
        trackball.send(report(buttons))
        trackball.send(report(0))

    def test_1_plugged_in_it_is_offered_chosen_and_its_buttons_follow_the_page(self):
        self.shows("#devices-body", "No trackball is connected")
        trackball = HidrawStandIn(self.root, "hidraw0", {
            "HID_ID": "0003:0000FFF1:00000016", "HID_NAME": "Test Ball Sixteen", "HID_UNIQ": "TB-16"},
            corpus_descriptor(DESCRIPTOR))
        type(self).trackball = trackball
        self.shows(self.row(), "Test Ball Sixteen")
        self.shows(self.row(), f"{IDS}, serial TB-16, 16 buttons, wheel, tilt")
        self.assertEqual(trackball.grabs, [])

        self.click(f"{self.row()} button")
        self.shows("#devices-body", "Test Ball Sixteen")
        self.shows("#devices-body", "16 buttons, wheel, tilt")
        self.shows(self.row(), "Served with these settings")
        wait_for(lambda: trackball.grabs == ["grabbed"], "the daemon to grab the kernel's input")
        mouse = MouseReader(os.path.join(self.root, "mouse-01"))

        # Unchanged, button 1 clicks left; given a right click on the page, button 6 clicks right.
        self.press(trackball, 0x0001)
        wait_for(lambda: mouse.flags() == ["buttonFlags=0x0001", "buttonFlags=0x0002"], "a left click")
        self.shows("#buttons-body", "Button 16")
        rows = self.find('tr[data-mask="32"]')
        self.click('button[aria-label="Change Button 6"]')
        Select(self.find('select[name="kind"]')).select_by_value("singleClick")
        Select(self.find('select[name="mouseButton"]')).select_by_value("2")
        self.click(".action-editor button[type=submit]")
        self.until(lambda: self.action_of(32) == "Click, right", "button 6 to read as a right click")
        # The list is drawn again from the helper's answer, which would put out a light lit before.
        self.until(lambda: staleness_of(rows)(self.browser), "the buttons to be drawn again")
        self.press(trackball, 0x0020)
        wait_for(lambda: mouse.flags()[2:] == ["buttonFlags=0x0004", "buttonFlags=0x0008"], "button 6 to click right")
        # A button the driver does not map reaches the helper, which lights its row.
        trackball.send(report(0x8000))
        try:
            self.until(lambda: self.lit(0x8000), "button 16 to light up")
        finally:
            trackball.send(report(0))

    def test_2_let_go_it_is_the_kernels_again_and_unplugged_it_leaves(self):
        trackball = self.trackball
        self.click(f"{self.row()} button")
        self.shows(self.row(), "Use with these settings")
        self.shows("#devices-body", "No trackball is connected")
        wait_for(lambda: trackball.grabs == ["grabbed", "released"], "the daemon to give the grab back")
        self.assertFalse(os.path.exists(os.path.join(self.root, "mouse-01")))
        trackball.unplug()
        self.shows("#other-devices-body", "No other mouse or pointing device is connected")


if __name__ == "__main__":
    page_test.main()
