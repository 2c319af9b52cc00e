#!/usr/bin/env python3
"""The console on the kernel's own HID stack, run as root in the guest that boot-guest starts: a USB HID gadget
0d8c:0013 on dummy_hcd plays the console, and the real parlink with the real hidapi drives it under Xvfb.
Usage: scenarios.py <parlink executable> <udev rule file>"""
import glob, os, re, select, shutil, signal, subprocess, sys, tempfile, threading, time
from types import SimpleNamespace

parlink, rule = (sys.argv + ["", ""])[1:3]
# Vendor-defined, without report IDs: 4-byte input and 4-byte output reports.
DESCRIPTOR = bytes.fromhex("0600ff0901a101150026ff00750895040901810209019102c0")
# In Xvfb's default keymap: Control_L, Shift_L and p answer, Control_L and e hang up (the first-run choices).
ANSWER_KEYS, HANGUP_KEYS = [37, 50, 33], [37, 26]
# Byte 1 of an output report as the console receives it: hidapi's report number 0 does not go out.
LEDS_OFF, INCOMING_LIT, CONNECT_LIT = 0x01, 0x03, 0x05
USER = 1000


def sh(command):
    return subprocess.run(command, shell=True, check=True, capture_output=True, text=True, timeout=60).stdout


def succeeds(*command, **options):
    return subprocess.run(command, capture_output=True, timeout=60, **options).returncode == 0


def wait_until(what, condition, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if result := condition():
            return result
        time.sleep(0.02)
    raise AssertionError(f"not within {timeout} s: {what}")


class Console:
    """A console on one of dummy_hcd's ports: what the program writes to it is recorded, presses are sent."""

    def __init__(self, port):
        self.port, self.gadget = port, f"/sys/kernel/config/usb_gadget/console{port}"
        for folder in ("strings/0x409", "configs/c.1", "functions/hid.usb0"):
            os.makedirs(f"{self.gadget}/{folder}")
        for name, value in (("idVendor", "0x0d8c"), ("idProduct", "0x0013"), ("strings/0x409/product", "Console"),
                            ("functions/hid.usb0/report_length", "4"), ("functions/hid.usb0/report_desc", DESCRIPTOR)):
            self.set(name, value)
        os.symlink(self.gadget + "/functions/hid.usb0", self.gadget + "/configs/c.1/hid.usb0")
        self.node = "/dev/hidg" + open(self.gadget + "/functions/hid.usb0/dev").read().split(":")[1].strip()
        self.outputs, self.fd = [], None

    def set(self, name, value):
        with open(f"{self.gadget}/{name}", "wb" if isinstance(value, bytes) else "w") as file:
            file.write(value)

    def plug(self):
        self.set("UDC", f"dummy_udc.{self.port}")
        self.fd = wait_until("the gadget's node", lambda: os.path.exists(self.node) and
                             os.open(self.node, os.O_RDWR | os.O_NONBLOCK), 10)
        self.reader = threading.Thread(target=self.read, args=(self.fd,), daemon=True)
        self.reader.start()
        return wait_until("the console's hidraw node", self.hidraw, 10)

    def unplug(self):
        fd, self.fd = self.fd, None
        self.reader.join()
        os.close(fd)
        self.set("UDC", "\n")
        wait_until("the hidraw node gone", lambda: not self.hidraw(), 10)

    def read(self, fd):
        # Read at once, always: a console that takes no output report holds the program's write up for seconds.
        while self.fd == fd:
            if select.select([fd], [], [], 0.05)[0]:
                self.outputs.append((time.monotonic(), os.read(fd, 64)))

    def hidraw(self):
        def device(path):
            try:
                return os.path.realpath(path + "/device")
            except OSError:  # the node went while it was looked at
                return ""
        nodes = ["/dev/" + os.path.basename(path) for path in glob.glob("/sys/class/hidraw/*")
                 if f"/dummy_hcd.{self.port}/" in device(path)]
        return nodes and os.path.exists(nodes[0]) and nodes[0]

    def press(self):
        for level in (0, 1):
            # As a real console does, the report carries the LEDs as last written.
            leds = self.outputs[-1][1][1] & 0x06 if self.outputs else 0
            if not select.select([], [self.fd], [], 10)[1]:
                raise AssertionError("the host has not taken the last input report in 10 s")
            os.write(self.fd, bytes([0, level | leds, 0, 0]))

    def led(self, byte, since, timeout=5):
        """When the first output report with this LED byte came at or after `since`."""
        return wait_until(f"LED byte {byte:#04x}", lambda: next(
            (at for at, report in self.outputs if at >= since and report[1] == byte), None), timeout)


class Keys:
    """Every key event the X server processes, raw: (pressed, keycode)."""

    def __init__(self):
        self.events = []
        self.process = subprocess.Popen(["stdbuf", "-oL", "xinput", "test-xi2", "--root"], stdout=subprocess.PIPE,
                                        text=True)
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        kind = None
        for line in self.process.stdout:
            if line.startswith("EVENT"):
                kind = True if "(RawKeyPress)" in line else False if "(RawKeyRelease)" in line else None
            elif kind is not None and (detail := re.match(r"\s+detail: (\d+)", line)):
                self.events.append((kind, int(detail[1])))
                kind = None

    def expect(self, keys, timeout=10):
        wanted = [(True, key) for key in keys] + [(False, key) for key in keys]
        wait_until(f"keys {keys} pressed, then released, in order", lambda: self.events == wanted, timeout)
        self.events.clear()


class Parlink:
    """The real executable, resident in remote mode, as root or as an ordinary user, with a home of its own."""

    def __init__(self, uid=0):
        home = tempfile.mkdtemp()
        os.makedirs(home + "/.config/Orvanta")
        with open(home + "/.config/Orvanta/Parlink.conf", "w") as file:
            file.write("[General]\nconnect_led_internal=false\n")
        sh(f"chown -R {uid}:{uid} {home}")
        self.environment = dict(PATH=os.environ["PATH"], HOME=home, XDG_CONFIG_HOME=home + "/.config",
                                XDG_RUNTIME_DIR=home, DISPLAY=":0", QT_QPA_PLATFORM="xcb")
        self.started, self.stderr = time.monotonic(), []
        self.process = subprocess.Popen([parlink], env=self.environment, user=uid, group=uid, extra_groups=[],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        threading.Thread(target=lambda: self.stderr.extend(self.process.stderr), daemon=True).start()

    def send(self, word):
        """When it was sent: the resident Parlink may act on it before the sending one has ended."""
        sent = time.monotonic()
        subprocess.run([parlink, "-l", word], env=self.environment, check=True, timeout=30)
        return sent

    def quit(self):
        asked = time.monotonic()
        self.process.send_signal(signal.SIGTERM)
        return asked, self.process.wait(timeout=30), time.monotonic() - asked


def open_answer_and_drive_leds(c):
    c.parlink = Parlink()
    print(f"  opened {c.console.led(LEDS_OFF, 0, 20) - c.parlink.started:.2f} s after the start")
    c.console.led(LEDS_OFF, c.console.led(INCOMING_LIT, c.parlink.send("incoming")))
    c.console.press()
    c.keys.expect(ANSWER_KEYS)
    c.console.led(CONNECT_LIT, c.parlink.send("connected"))
    time.sleep(0.6)  # three blink ticks
    assert c.console.outputs[-1][1][1] == CONNECT_LIT, "the incoming LED still blinks once connected"


def replug_mid_call(c):
    c.console.unplug()
    time.sleep(0.5)
    replugged = time.monotonic()
    c.console.plug()
    print(f"  LEDs restored {c.console.led(CONNECT_LIT, replugged) - replugged:.2f} s after the replug")
    # At once; a press before the reopen is lost to the kernel, which drops what came while nobody read.
    c.console.press()
    c.keys.expect(HANGUP_KEYS)


def quit_puts_leds_out(c):
    # A second call rings during the first: from now on only the quit can put both LEDs out.
    c.console.led(CONNECT_LIT | INCOMING_LIT, c.parlink.send("incoming"))
    asked, status, took = c.parlink.quit()
    out = c.console.led(LEDS_OFF, asked)
    print(f"  SIGTERM to LEDs out {(out - asked) * 1000:.0f} ms, to the end {took * 1000:.0f} ms, status {status}")
    assert status == 0 and took < 5, "Parlink did not end with status 0 in good time"
    time.sleep(0.2)
    assert c.console.outputs[-1][1][1] == LEDS_OFF, f"LEDs left as {c.console.outputs[-1][1].hex()}"


def refused_until_granted(c):
    node = c.console.hidraw()
    assert os.stat(node).st_uid != USER and not os.stat(node).st_mode & 0o006, "the node is the user's already"
    c.parlink = Parlink(uid=USER)
    wait_until("the refused-console notice on stderr", lambda: any("cannot be opened" in line
                                                                   for line in c.parlink.stderr), 20)
    wait_until("its box", lambda: succeeds("xdotool", "search", "--onlyvisible", "--name", "^Parlink$"), 10)
    granted = time.monotonic()
    os.chown(node, USER, USER)
    opened = c.console.led(LEDS_OFF, granted) - granted
    print(f"  opened {opened:.2f} s after access was granted")
    assert opened < 2 + 2, "not within the reconnect time"
    assert c.parlink.quit()[1] == 0


def rule_tags_the_node(c):
    node = c.console.hidraw()
    os.environ["SYSTEMD_IGNORE_CHROOT"] = "1"  # boot-guest's chroot is this guest's root all the same
    subprocess.Popen(["/lib/systemd/systemd-udevd"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_until("systemd-udevd", lambda: succeeds("udevadm", "control", "--ping"), 20)

    def tagged():
        tags = re.search(r"^E: CURRENT_TAGS=(.*)$", sh(f"udevadm info {node}"), re.M)
        return ":uaccess:" in (tags[1] if tags else "")

    sh(f"udevadm trigger --action=add --settle {node}")
    assert not tagged(), f"{node} tagged without the rule"
    # The package installed while the console is plugged in: its rule, then its postinst.
    packaging = os.path.dirname(rule)
    shutil.copy(rule, "/usr/lib/udev/rules.d/")
    sh(f"sh {packaging}/postinst configure && udevadm settle")
    assert tagged(), f"{node} not tagged once the package is installed"
    # A build from source whose earlier rule tagged nothing: scripts/run as root puts its own in place.
    os.remove("/usr/lib/udev/rules.d/70-parlink.rules")
    with open("/etc/udev/rules.d/70-parlink.rules", "w") as earlier:
        earlier.write("# an earlier build's rule\n")
    sh(f"udevadm control --reload && udevadm trigger --action=change --settle {node}")
    assert not tagged(), f"{node} still tagged without the rule"
    sh(f"{packaging}/../scripts/install-udev-rule root")
    assert tagged(), f"{node} not tagged once scripts/install-udev-rule has run"
    print(f"  {node} tagged uaccess by the rule; the ACL itself needs a logind seat session, which this guest has not")


scenarios = [
    ("the real executable opens the console, answers a ringing call and drives the LEDs", open_answer_and_drive_leds),
    ("unplug and replug mid-call", replug_mid_call),
    ("quit puts the LEDs out and ends with status 0", quit_puts_leds_out),
    ("an ordinary user is told the console is refused; it opens once access is granted", refused_until_granted),
    ("the udev rule, from the package or from scripts/run, tags a console already plugged in", rule_tags_the_node),
]


def main():
    print(f"Guest up {float(open('/proc/uptime').read().split()[0]):.1f} s after its kernel started")
    # As on a booted system: scripts read what a command prints through /dev/fd.
    os.path.exists("/dev/fd") or os.symlink("/proc/self/fd", "/dev/fd")
    sh("ip link set lo up && modprobe -a dummy_hcd libcomposite usb_f_hid usbhid hid_generic"
       " && mount -t configfs none /sys/kernel/config")
    os.environ["DISPLAY"] = ":0"
    subprocess.Popen(["Xvfb", ":0", "-nolisten", "tcp"], stderr=subprocess.DEVNULL)
    wait_until("Xvfb", lambda: succeeds("xdpyinfo"), 30)
    c = SimpleNamespace(keys=Keys(), console=Console(0), parlink=None)
    c.console.plug()
    failed = 0
    for name, scenario in scenarios:
        began = time.monotonic()
        try:
            scenario(c)
            print(f"PASS {name} ({time.monotonic() - began:.1f} s)")
        except Exception as error:
            failed += 1
            print(f"FAIL {name}: {error!r}")
            print("".join(c.parlink.stderr[-10:] if c.parlink else []), end="")
            print("  last output reports:", " ".join(report.hex() for _, report in c.console.outputs[-8:]))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
