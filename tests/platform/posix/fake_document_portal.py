#!/usr/bin/python3
"""A stand-in for the desktop's portal on a test's own session bus.

OpenURI.OpenFile starts a handler confined as a snap's browser is: in a
mount namespace of its own with a private /tmp and runtime folder. The
handler gets the passed file as its only way in, and also tries the file's
name, which it must not be able to read. What it saw goes to the log.

    fake_document_portal.py LOG
"""
import os
import subprocess
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

INTERFACE = """
<node><interface name="org.freedesktop.portal.OpenURI">
  <method name="OpenFile">
    <arg type="s" name="parent_window" direction="in"/>
    <arg type="h" name="fd" direction="in"/>
    <arg type="a{sv}" name="options" direction="in"/>
    <arg type="o" name="handle" direction="out"/>
  </method>
</interface></node>
"""

HANDLER = 'cat "/proc/self/fd/$1"; echo; if cat "$2" >/dev/null 2>&1; then echo "name: readable"; else echo "name: unreadable"; fi'

log_path = sys.argv[1]


def open_file(connection, sender, path, interface, method, parameters, invocation):
    index = parameters.unpack()[1]
    fd = invocation.get_message().get_unix_fd_list().get(index)
    name = os.readlink("/proc/self/fd/%d" % fd)
    confined = ["bwrap", "--ro-bind", "/", "/", "--dev", "/dev", "--proc", "/proc", "--tmpfs", "/tmp"]
    runtime = os.environ.get("XDG_RUNTIME_DIR")
    if runtime and os.path.isdir(runtime):
        confined += ["--tmpfs", runtime]
    with open(log_path, "ab") as log:
        subprocess.run(confined + ["--", "sh", "-c", HANDLER, "handler", str(fd), name],
                       pass_fds=(fd,), stdout=log, stderr=subprocess.DEVNULL, check=False)
    os.close(fd)
    invocation.return_value(GLib.Variant("(o)", ("/org/freedesktop/portal/desktop/request/1_1/t1",)))


def on_bus(connection, name):
    node = Gio.DBusNodeInfo.new_for_xml(INTERFACE)
    connection.register_object("/org/freedesktop/portal/desktop", node.interfaces[0], open_file, None, None)


def on_name(connection, name):
    print("ready", flush=True)


Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.portal.Desktop", Gio.BusNameOwnerFlags.NONE,
                 on_bus, on_name, lambda *args: sys.exit(1))
GLib.MainLoop().run()
