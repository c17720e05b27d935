#!/usr/bin/python3
"""A stand-in for logind on a private system bus, for the tests.

Owns org.freedesktop.login1 on the bus named by DBUS_SYSTEM_BUS_ADDRESS and exports the
manager and one session with the methods the program calls. Every call is appended to
CALLS_FILE as one line ("Manager.PowerOff(false)", "Session.Lock()") before it is
answered, so a test that has seen the reply can read the line. BEHAVIOUR_FILE, read on
every call, may hold a JSON object mapping a method name to
{"error": NAME, "message": TEXT} (answer with that D-Bus error) or {"delay": SECONDS}
(answer that late). Prints READY once the name is owned.

Usage: fake_logind.py CALLS_FILE BEHAVIOUR_FILE
"""

import json
import signal
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

BUS_NAME = "org.freedesktop.login1"
MANAGER_PATH = "/org/freedesktop/login1"
MANAGER_INTERFACE = "org.freedesktop.login1.Manager"
SESSION_PATH = "/org/freedesktop/login1/session/c7"
SESSION_INTERFACE = "org.freedesktop.login1.Session"


class Recorder:
    def __init__(self, calls_file, behaviour_file):
        self.calls_file = calls_file
        self.behaviour_file = behaviour_file

    def behaviour(self, method):
        try:
            with open(self.behaviour_file, encoding="utf-8") as f:
                return json.load(f).get(method, {})
        except (OSError, ValueError):
            return {}

    def answer(self, line, method, reply, error, *result):
        with open(self.calls_file, "a", encoding="utf-8") as f:
            f.write(line + "\n")
        how = self.behaviour(method)
        if "error" in how:
            error(dbus.DBusException(how.get("message", ""), name=how["error"]))
        elif "delay" in how:
            def late():
                reply(*result)
                return False

            GLib.timeout_add(int(float(how["delay"]) * 1000), late)
        else:
            reply(*result)


def flag(value):
    return "true" if value else "false"


class Manager(dbus.service.Object):
    def __init__(self, bus, recorder):
        super().__init__(bus, MANAGER_PATH)
        self.recorder = recorder

    @dbus.service.method(MANAGER_INTERFACE, in_signature="u", out_signature="o",
                         async_callbacks=("reply", "error"))
    def GetSessionByPID(self, pid, reply, error):
        self.recorder.answer("Manager.GetSessionByPID(%d)" % pid, "GetSessionByPID", reply, error,
                             dbus.ObjectPath(SESSION_PATH))

    @dbus.service.method(MANAGER_INTERFACE, in_signature="b", async_callbacks=("reply", "error"))
    def PowerOff(self, interactive, reply, error):
        self.recorder.answer("Manager.PowerOff(%s)" % flag(interactive), "PowerOff", reply, error)

    @dbus.service.method(MANAGER_INTERFACE, in_signature="b", async_callbacks=("reply", "error"))
    def Reboot(self, interactive, reply, error):
        self.recorder.answer("Manager.Reboot(%s)" % flag(interactive), "Reboot", reply, error)

    @dbus.service.method(MANAGER_INTERFACE, in_signature="b", async_callbacks=("reply", "error"))
    def Suspend(self, interactive, reply, error):
        self.recorder.answer("Manager.Suspend(%s)" % flag(interactive), "Suspend", reply, error)

    @dbus.service.method(MANAGER_INTERFACE, in_signature="b", async_callbacks=("reply", "error"))
    def Hibernate(self, interactive, reply, error):
        self.recorder.answer("Manager.Hibernate(%s)" % flag(interactive), "Hibernate", reply, error)


class Session(dbus.service.Object):
    def __init__(self, bus, recorder):
        super().__init__(bus, SESSION_PATH)
        self.recorder = recorder

    @dbus.service.method(SESSION_INTERFACE, async_callbacks=("reply", "error"))
    def Lock(self, reply, error):
        self.recorder.answer("Session.Lock()", "Lock", reply, error)

    @dbus.service.method(SESSION_INTERFACE, async_callbacks=("reply", "error"))
    def Terminate(self, reply, error):
        self.recorder.answer("Session.Terminate()", "Terminate", reply, error)


def main():
    if len(sys.argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SystemBus()
    recorder = Recorder(sys.argv[1], sys.argv[2])
    objects = [Manager(bus, recorder), Session(bus, recorder)]
    name = dbus.service.BusName(BUS_NAME, bus, do_not_queue=True)
    loop = GLib.MainLoop()
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
    print("READY", flush=True)
    loop.run()
    del objects, name
    return 0


if __name__ == "__main__":
    sys.exit(main())
