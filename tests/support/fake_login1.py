#!/usr/bin/env python3
"""A stand-in for systemd-logind (org.freedesktop.login1) on a test's private system bus.

Inhibit() hands out the writing end of a pipe; the inhibitor goes when every copy is closed.
SIGUSR1 asks for a suspend: "refused" while a "sleep" block inhibitor is held, else "prepare",
PrepareForSleep(true), and "sleep" once no delay inhibitor is left. SIGUSR2 is the wake:
PrepareForSleep(false). Appends each event to its first argument, a file, as
"<microseconds since the epoch> <event>", starting with "ready" once the name is owned.
"""
import os
import signal
import sys
import time

from gi.repository import Gio, GLib

PATH = "/org/freedesktop/login1"
XML = """<node>
  <interface name="org.freedesktop.login1.Manager">
    <method name="Inhibit"><arg type="s" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="h" direction="out"/>
    </method>
    <signal name="PrepareForSleep"><arg type="b"/></signal>
  </interface>
</node>"""


class Login1:
    def __init__(self, bus, events):
        self.bus = bus
        self.held = {}  # reading end -> (what, who, mode)
        self.events = open(events, "a", buffering=1)
        self.sleeping = False  # PrepareForSleep(true) sent, "sleep" not yet recorded

    def log(self, text):
        self.events.write("%d %s\n" % (time.time_ns() // 1000, text))

    def signal(self, start):
        self.bus.emit_signal(None, PATH, "org.freedesktop.login1.Manager", "PrepareForSleep",
                             GLib.Variant("(b)", (start,)))

    def holds(self, mode):
        return any(m == mode and "sleep" in w.split(":") for w, _, m in self.held.values())

    def call(self, bus, sender, path, interface, method, args, invocation):
        if method == "Inhibit":
            what, who, why, mode = args.unpack()
            reading, writing = os.pipe()
            self.held[reading] = (what, who, mode)
            GLib.unix_fd_add_full(GLib.PRIORITY_DEFAULT, reading,
                                  GLib.IOCondition.HUP | GLib.IOCondition.ERR, self.released)
            self.log("take %s %s %s" % (mode, who, why))
            fds = Gio.UnixFDList.new_from_array([writing])  # the list owns it from here
            invocation.return_value_with_unix_fd_list(GLib.Variant("(h)", (0,)), fds)

    def suspend(self):
        refused = self.holds("block")
        self.log("refused" if refused else "prepare")
        if not refused:
            self.sleeping = True
            self.signal(True)
            self.maybe_sleep()
        return True

    def wake(self):
        self.log("wake")
        self.signal(False)
        return True

    def released(self, reading, condition):
        _, who, mode = self.held.pop(reading)
        os.close(reading)
        self.log("release %s %s" % (mode, who))
        self.maybe_sleep()
        return False

    def maybe_sleep(self):
        if self.sleeping and not self.holds("delay"):
            self.sleeping = False
            self.log("sleep")


def main():
    bus = Gio.DBusConnection.new_for_address_sync(
        os.environ["DBUS_SYSTEM_BUS_ADDRESS"],
        Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
        Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
    login1 = Login1(bus, sys.argv[1])
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1, login1.suspend)
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR2, login1.wake)
    for interface in Gio.DBusNodeInfo.new_for_xml(XML).interfaces:
        bus.register_object(PATH, interface, login1.call, None, None)
    reply = bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus",
                          "org.freedesktop.DBus", "RequestName",
                          GLib.Variant("(su)", ("org.freedesktop.login1", 4)),
                          GLib.VariantType("(u)"), Gio.DBusCallFlags.NONE, -1, None)
    if reply.unpack()[0] != 1:
        sys.exit("fake_login1: the name is taken")
    login1.log("ready")
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
