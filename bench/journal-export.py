#!/usr/bin/env python3
"""A T2 laptop's system journal in journal export format, for systemd-journal-remote.

Usage: journal-export.py ENTRIES BOOT_ID MACHINE_ID INVOCATION_ID [END] > journal.export

ENTRIES entries over six boots, the last one being BOOT_ID (the running kernel's, so that
`journalctl -b 0` finds it) and holding a third of them. As on a real machine, most lines come
from a dozen services, about one in eight from the kernel (USB, PCI, HID and network devices,
with the fields the kernel attaches to a device's lines); each boot starts with the kernel's
probe of the T2 bridge and the Touch Bar's drivers, and its tiny-dfr.service is started anew
after each wake, the display timing out after one of them. The last boot's last tiny-dfr
invocation is INVOCATION_ID: it starts two thirds into the boot and logs 300 lines. The last
entry is written at END (microseconds since 1970), by default the first days of December 2026.
"""
import random
import sys
import uuid

entries, current_boot, machine, current_invocation = sys.argv[1:5]
entries = int(entries)
end = int(sys.argv[5]) if len(sys.argv) > 5 else 1_796_000_000_000_000
rng = random.Random(24)
out = sys.stdout
host = "mbp"
boots = [uuid.UUID(int=rng.getrandbits(128)).hex for _ in range(5)] + [current_boot.replace("-", "")]
# Each entry a tenth of a second after the one before.
step = 100_000
realtime = end - entries * step

SERVICES = [
    ("NetworkManager", "/usr/sbin/NetworkManager", "NetworkManager.service", 0,
     ["<info>  [{t}] device (wlan0): state change: activated -> activated (reason 'none')",
      "<info>  [{t}] dhcp4 (wlan0): state changed new lease, address=192.168.1.{n}"]),
    ("gnome-shell", "/usr/bin/gnome-shell", "user@1000.service", 1000,
     ["Window manager warning: Buggy client sent a _NET_ACTIVE_WINDOW message with a timestamp of 0 for 0x{x}",
      "JS ERROR: TypeError: this._item is null _update@resource:///org/gnome/shell/ui/{n}.js"]),
    ("pipewire", "/usr/bin/pipewire", "user@1000.service", 1000,
     ["spa.alsa: hw:{n}: snd_pcm_avail after recover: Broken pipe",
      "mod.rt: RTKit error: org.freedesktop.DBus.Error.AccessDenied {x}"]),
    ("sshd", "/usr/sbin/sshd", "ssh.service", 0,
     ["Connection closed by 10.0.0.{n} port {p} [preauth]",
      "Accepted publickey for user from 10.0.0.{n} port {p} ssh2: ED25519 SHA256:{x}"]),
    ("systemd", "/usr/lib/systemd/systemd", "init.scope", 0,
     ["Started session-{n}.scope - Session {n} of User user.",
      "Starting apt-daily.service - Daily apt download activities ({x})..."]),
    ("CRON", "/usr/sbin/cron", "cron.service", 0,
     ["pam_unix(cron:session): session opened for user root(uid=0) by (uid=0) {x}",
      "(root) CMD (command -v debian-sa1 > /dev/null && debian-sa1 1 {n})"]),
    ("dbus-daemon", "/usr/bin/dbus-daemon", "dbus.service", 101,
     ["[system] Activating via systemd: service name='org.freedesktop.{x}' unit='{n}.service'",
      "[system] Successfully activated service 'org.freedesktop.hostname{n}'"]),
    ("wpa_supplicant", "/usr/sbin/wpa_supplicant", "wpa_supplicant.service", 0,
     ["wlan0: CTRL-EVENT-SIGNAL-CHANGE above=1 signal=-{n} noise=9999 txrate={p}",
      "wlan0: WPA: Group rekeying completed with {x} [GTK=CCMP]"]),
    ("firefox", "/usr/lib/firefox/firefox", "user@1000.service", 1000,
     ["[Parent {p}, Main Thread] WARNING: Failed to create DBus proxy {x}: 'glib warning'",
      "Sandbox: seccomp sandbox violation: pid {p}, tid {n}, syscall 315"]),
    ("upowerd", "/usr/libexec/upowerd", "upower.service", 0,
     ["energy {n} Wh, rate {p} mW, {x}", "battery state changed to discharging {n}"]),
    ("systemd-logind", "/usr/lib/systemd/systemd-logind", "systemd-logind.service", 0,
     ["New session {n} of user user ({x}).", "Session {n} logged out. Waiting for processes to exit."]),
    ("kded5", "/usr/bin/kded5", "user@1000.service", 1000,
     ["kf.bluezqt: PendingCall Error: \"Operation already in progress\" {x}",
      "org.kde.powerdevil: Handle button events action could not check for screen {n}"]),
]
KERNEL = [
    ("usb", "+usb:3-{n}", "usb 3-{n}: new high-speed USB device number {p} using xhci_hcd"),
    ("usb", "+usb:3-{n}", "usb 3-{n}: USB disconnect, device number {p}"),
    ("pci", "+pci:0000:00:1c.{n}", "pcieport 0000:00:1c.{n}: AER: Corrected error received: {x}"),
    ("net", "n{n}", "iwlwifi 0000:03:00.0 wlan0: disconnect from AP {x} for new auth to {p}"),
    ("hid", "+hid:0003:05AC:027{n}.000{p}", "magicmouse 0003:05AC:027{n}.000{p}: input: {x}"),
    (None, None, "audit: type=1400 audit({p}.{n}:{n}): apparmor=\"DENIED\" operation=\"open\" name=\"/proc/{x}\""),
    (None, None, "[UFW BLOCK] IN=wlan0 OUT= MAC={x} SRC=192.168.1.{n} DST=224.0.0.251 LEN={p}"),
    (None, None, "PM: suspend entry (s2idle) {x}"),
]
# What each boot's kernel says of the T2 bridge and the Touch Bar's drivers.
TOUCH_BAR_PROBE = [
    ("pci", "+pci:0000:02:00.1", "apple-bce 0000:02:00.1: BCE: Initialized mailbox"),
    (None, None, "bce-vhci: Apple T2 virtual USB host controller initialized"),
    ("usb", "+usb:5-6", "usb 5-6: New USB device found, idVendor=05ac, idProduct=8302, bcdDevice= 0.01"),
    ("hid", "+hid:0003:05AC:8302.0005", "hid-appletb-kbd 0003:05AC:8302.0005: probe with driver hid-appletb-kbd succeeded"),
    ("hid", "+hid:0003:05AC:8102.0006", "hid-appletb-bl 0003:05AC:8102.0006: probe with driver hid-appletb-bl succeeded"),
    ("usb", "+usb:5-6:2.1", "appletbdrm 5-6:2.1: [drm] Initialized appletbdrm 1.0.0 for 5-6:2.1 on minor 1"),
]
TIMED_OUT = [
    ("usb", "+usb:5-6:2.1", "appletbdrm 5-6:2.1: [drm] *ERROR* Failed to send message (-110)"),
    ("usb", "+usb:5-6:2.1", "appletbdrm 5-6:2.1: [drm] *ERROR* Failed to get display information"),
]
DAEMON = ["Found touch bar device {x}", "Touch bar layer switched to {n}",
          "Backlight set to {p}", "Failed to read input event (-{n}), retrying"]


def fill(text):
    return text.format(n=rng.randrange(1, 99), p=rng.randrange(1000, 60000),
                       x="%08x" % rng.getrandbits(32), t=realtime // 1_000_000)


def emit(boot, monotonic, fields):
    global realtime
    realtime += step
    out.write("__REALTIME_TIMESTAMP=%d\n__MONOTONIC_TIMESTAMP=%d\n_BOOT_ID=%s\n"
              "_MACHINE_ID=%s\n_HOSTNAME=%s\n%s\n" % (realtime, monotonic, boot, machine, host,
                                                       fields))


def kernel(boot, monotonic, line):
    subsystem, device, text = line
    fields = ("_TRANSPORT=kernel\nSYSLOG_FACILITY=0\nSYSLOG_IDENTIFIER=kernel\nPRIORITY=6\n"
              "_SOURCE_MONOTONIC_TIMESTAMP=%d\nMESSAGE=%s\n" % (monotonic - 500, fill(text)))
    if subsystem:
        fields += "_KERNEL_SUBSYSTEM=%s\n_KERNEL_DEVICE=%s\n" % (subsystem, fill(device))
    emit(boot, monotonic, fields)


def service(boot, monotonic, identifier, exe, unit, uid, pid, invocation, text):
    emit(boot, monotonic,
         "_TRANSPORT=stdout\nPRIORITY=6\nSYSLOG_FACILITY=3\nSYSLOG_IDENTIFIER=%s\n_PID=%d\n"
         "_UID=%d\n_GID=%d\n_COMM=%s\n_EXE=%s\n_CMDLINE=%s\n_CAP_EFFECTIVE=0\n"
         "_SYSTEMD_CGROUP=/system.slice/%s\n_SYSTEMD_UNIT=%s\n_SYSTEMD_SLICE=system.slice\n"
         "_SYSTEMD_INVOCATION_ID=%s\n_STREAM_ID=%s\nMESSAGE=%s\n"
         % (identifier, pid, uid, uid, identifier[:15], exe, exe, unit, unit, invocation,
            invocation, fill(text)))


def started(boot, monotonic, invocation):
    emit(boot, monotonic,
         "_TRANSPORT=journal\nPRIORITY=6\nSYSLOG_FACILITY=3\nSYSLOG_IDENTIFIER=systemd\n_PID=1\n"
         "_UID=0\n_GID=0\n_COMM=systemd\n_SYSTEMD_UNIT=init.scope\nUNIT=tiny-dfr.service\n"
         "INVOCATION_ID=%s\nMESSAGE_ID=39f53479d3a045ac8e11786248231fbf\n"
         "MESSAGE=Started tiny-dfr.service - Tiny Apple silicon touch bar daemon.\n" % invocation)


shares = [0.13] * 5 + [0.35]
# Each service's process id and invocation, by boot.
units = {}
for index, boot in enumerate(boots):
    count = int(entries * shares[index])
    last = index == len(boots) - 1
    monotonic = 1_000_000
    invocations = {0, count // 4, count // 2, count * 2 // 3 if last else count * 3 // 4}
    timed_out = count // 2 - 40
    invocation = uuid.UUID(int=rng.getrandbits(128)).hex
    pid = 800
    daemon_every = 900
    for step_index in range(count):
        monotonic += step
        if step_index < len(TOUCH_BAR_PROBE):
            kernel(boot, monotonic, TOUCH_BAR_PROBE[step_index])
        elif step_index in invocations:
            invocation = current_invocation if last and step_index == max(invocations) \
                else uuid.UUID(int=rng.getrandbits(128)).hex
            if last and step_index == max(invocations):
                daemon_every = (count - step_index) // 300
            pid += rng.randrange(100, 5000)
            started(boot, monotonic, invocation)
        elif timed_out <= step_index < timed_out + len(TIMED_OUT):
            kernel(boot, monotonic, TIMED_OUT[step_index - timed_out])
        elif step_index % daemon_every == 1:
            service(boot, monotonic, "tiny-dfr", "/usr/bin/tiny-dfr", "tiny-dfr.service", 0, pid,
                    invocation, rng.choice(DAEMON))
        elif rng.random() < 0.125:
            kernel(boot, monotonic, rng.choice(KERNEL))
        else:
            identifier, exe, unit, uid, texts = rng.choice(SERVICES)
            if (unit, boot) not in units:
                units[unit, boot] = (rng.randrange(300, 3000), "%032x" % rng.getrandbits(128))
            service(boot, monotonic, identifier, exe, unit, uid, *units[unit, boot],
                    rng.choice(texts))
