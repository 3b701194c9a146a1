#!/usr/bin/python3
"""Runs a test program in a private D-Bus session with Debian's gnome-keyring:
    private_keyring.py PROGRAM [ARGUMENT...]

The buses have a configuration of their own, so nothing on them starts on
demand. gnome-keyring-daemon makes a login keyring in a temporary home with a
password it reads here and unlocks it (it becomes the default collection).
The program gets:
  DBUS_SESSION_BUS_ADDRESS        the bus of that Secret Service
  HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME
                                  a temporary home of its own
  XDG_RUNTIME_DIR                 an empty private folder
  TRAMELO_TEST_KEYRING_FOLDER     where the keyring keeps its files
  TRAMELO_TEST_BUS_WITHOUT_KEYRING  a second bus, with no keyring on it, whose
                                  socket is "bus" in TRAMELO_TEST_RUNTIME_WITHOUT_KEYRING
  TRAMELO_TEST_KEYRING_MISSING    the reason, when a package is missing or the
                                  keyring did not start (the program then skips)
Exits with the program's status, after stopping the daemons (which also end
with this script) and removing the folder.
"""

import ctypes, os, shutil, signal, subprocess, sys, tempfile, time

BUS, KEYRING = "/usr/bin/dbus-daemon", "/usr/bin/gnome-keyring-daemon"
CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:path=%s/bus</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>"""
root = tempfile.mkdtemp(prefix="private-keyring-")
children = []


def folder(name):
    path = os.path.join(root, name)
    os.makedirs(path, 0o700, exist_ok=True)
    return path


def start(arguments, **options):  # each child ends with this script (PR_SET_PDEATHSIG)
    children.append(subprocess.Popen(arguments, preexec_fn=lambda: ctypes.CDLL(None).prctl(1, signal.SIGTERM),
                                     stderr=subprocess.DEVNULL, **options))
    return children[-1]


def bus(name):
    with open(os.path.join(folder(name), "bus.conf"), "w") as config:
        config.write(CONFIG % folder(name))
    return start([BUS, "--config-file=%s/bus.conf" % folder(name), "--nofork", "--print-address=1"],
                 stdout=subprocess.PIPE, text=True).stdout.readline().strip()


def serves_secrets(address):
    ask = ["dbus-send", "--bus=" + address, "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
           "org.freedesktop.DBus.NameHasOwner", "string:org.freedesktop.secrets"]
    return "boolean true" in subprocess.run(ask, capture_output=True, text=True, timeout=5).stdout


home = folder("home")
environment = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home, XDG_DATA_HOME=home, XDG_CACHE_HOME=home,
                   XDG_RUNTIME_DIR=folder("run"), TRAMELO_TEST_KEYRING_MISSING="install dbus-daemon and gnome-keyring")
if os.access(BUS, os.X_OK) and os.access(KEYRING, os.X_OK):
    environment.update(DBUS_SESSION_BUS_ADDRESS=bus("keyring-bus"), TRAMELO_TEST_KEYRING_FOLDER=folder("keyring"),
                       TRAMELO_TEST_BUS_WITHOUT_KEYRING=bus("plain-bus"),
                       TRAMELO_TEST_RUNTIME_WITHOUT_KEYRING=folder("plain-bus"))
    keyring = start([KEYRING, "--foreground", "--components=secrets", "--unlock"], stdin=subprocess.PIPE,
                    stdout=subprocess.DEVNULL, env=dict(environment, HOME=folder("keyring"),
                                                        XDG_DATA_HOME=folder("keyring"),
                                                        XDG_RUNTIME_DIR=folder("keyring-run")))
    keyring.stdin.write(b"mot de pas del clauer de prova")
    keyring.stdin.close()
    for _ in range(100):  # up to 10 s
        if serves_secrets(environment["DBUS_SESSION_BUS_ADDRESS"]):
            del environment["TRAMELO_TEST_KEYRING_MISSING"]
            break
        time.sleep(0.1)
    else:
        environment["TRAMELO_TEST_KEYRING_MISSING"] = "gnome-keyring-daemon did not serve the Secret Service"
status = subprocess.run(sys.argv[1:], env=environment, preexec_fn=lambda: ctypes.CDLL(None).prctl(1, signal.SIGTERM))
for child in children:
    child.terminate()
    child.wait(5)
shutil.rmtree(root, ignore_errors=True)
sys.exit(status.returncode)
