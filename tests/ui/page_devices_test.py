#!/usr/bin/python3
"""A trackball that no file lists, plugged in, chosen on the configuration page and let go, against the real
obxhelper and the real obxkernd, whose hidraw devices are stand-ins of the test's (--hardware-root): this
machine has neither hidraw devices nor /dev/uhid.

Usage: page_devices_test.py BIN_FOLDER"""

import os
import shutil
import socket
import struct
import subprocess
import threading

import dbus
from selenium.webdriver.support.expected_conditions import staleness_of
from selenium.webdriver.support.ui import Select

import page_test
from page_test import PageTestCase, wait_for

DESCRIPTOR = "anon-03.hid"  # 16 buttons, 16-bit X and Y, wheel and AC Pan, no report id
IDS = "fff1:0016"
ROW = f'li[data-id="{IDS}"]'


def corpus_descriptor(name):
    with open(os.path.join(page_test.REPOSITORY, "tests", "driver", "data", "corpus", name)) as file:
        return bytes.fromhex(" ".join(line.split(" ", 1)[1] for line in file if line.startswith("descriptor ")))


def report(buttons=0):
    """An input report of the descriptor: buttons 1 to 16 (bit n is button n + 1), X, Y, wheel, pan."""
    return struct.pack("<HhhbB", buttons, 0, 0, 0, 0)


def packet_socket():
    return socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)


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
        self.readers, self.grabs, self.nodes = [], [], []
        for node, opened in (("hidraw", self.readers.append), ("event0", self.grabbed)):
            self.nodes.append(packet_socket())
            self.nodes[-1].bind(os.path.join(staging, node))
            self.nodes[-1].listen()
            threading.Thread(target=self.accept, args=(self.nodes[-1], opened), daemon=True).start()
        os.rename(staging, self.folder)  # arrives whole, as the kernel's device does

    def accept(self, node, opened):
        while True:
            opened(node.accept()[0])

    def grabbed(self, grab):
        self.grabs.append("grabbed")
        threading.Thread(target=lambda: grab.recv(16) or self.grabs.append("released"), daemon=True).start()

    def send(self, data):
        wait_for(lambda: self.readers, "the daemon to open the hidraw node")
        self.readers[-1].send(data)

    def unplug(self):
        for connection in self.nodes + self.readers:
            connection.close()
        shutil.rmtree(self.folder)


class MouseReader:
    """The daemon's mouse of a trackball that the stand-ins' hardware serves: its packets as text."""

    def __init__(self, path):
        wait_for(lambda: os.path.exists(path), f"the mouse {path}")
        self.packets = []
        self.connection = packet_socket()
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
        system.processes.append(subprocess.Popen(  # no trackball listed: an empty devices.conf
            [os.path.join(page_test.BIN, "obxkernd"), "--runtime-dir", system.runtime, "--hardware-root", cls.root,
             "--devices-conf", "/dev/null", "--state-dir", os.path.join(system.folder, "state")],
            env=start_seat_of(system), stderr=subprocess.DEVNULL))
        cls.browser.get(system.address_the_helper_opens())

    def press(self, trackball, buttons):
        trackball.send(report(buttons))
        trackball.send(report(0))

    def test_1_plugged_in_it_is_offered_chosen_and_its_buttons_follow_the_page(self):
        self.shows("#devices-body", "No trackball is connected")
        trackball = HidrawStandIn(self.root, "hidraw0", {
            "HID_ID": "0003:0000FFF1:00000016", "HID_NAME": "Test Ball Sixteen", "HID_UNIQ": "TB-16"},
            corpus_descriptor(DESCRIPTOR))
        type(self).trackball = trackball
        self.shows(ROW, "Test Ball Sixteen")
        self.shows(ROW, f"{IDS}, serial TB-16, 16 buttons, wheel, tilt")
        self.assertEqual(trackball.grabs, [])

        self.click(f"{ROW} button")
        self.shows("#devices-body", "Test Ball Sixteen")
        self.shows("#devices-body", "16 buttons, wheel, tilt")
        self.shows(ROW, "Served with these settings")
        wait_for(lambda: trackball.grabs == ["grabbed"], "the daemon to grab the kernel's input")
        mouse = MouseReader(os.path.join(self.root, "mouse-hidraw0"))

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
        self.click(f"{ROW} button")
        self.shows(ROW, "Use with these settings")
        self.shows("#devices-body", "No trackball is connected")
        wait_for(lambda: trackball.grabs == ["grabbed", "released"], "the daemon to give the grab back")
        self.assertFalse(os.path.exists(os.path.join(self.root, "mouse-hidraw0")))
        trackball.unplug()
        self.shows("#other-devices-body", "No other mouse or pointing device is connected")


if __name__ == "__main__":
    page_test.main()
