#!/bin/sh

# SPDX-FileCopyrightText: 2026 Holmcraft
#
# SPDX-License-Identifier: GPL-3.0-or-later

# Runs `udevadm test` on synthetic devices with no rules but the given file, leaving the host
# as it was. Run as root in a mount namespace of its own:
#   unshare --mount --propagation unchanged sh tst_udev_rules_sandbox.sh RULES SYSFS < ITEMS
# RULES is the rules file, SYSFS a sysfs tree (a umockdev testbed's sys/), ITEMS one line per
# event: "<action> <device path>". For each it prints "### event <action> <device path>", udevadm's
# output, and "--- /dev" with what the scratch /dev then holds (name, type, link target,
# group, mode).
#
# udevadm reads the rules from fixed folders and the devices from /sys, and udev of Debian 12
# applies what it finds to /dev and /run/udev. So it runs chrooted in a scratch root: /usr,
# /etc and the /bin, /lib... of the host bound in, every rule folder covered by an empty one
# (the project's rules alone in /etc/udev/rules.d), SYSFS as /sys, and /dev, /run and /tmp
# empty. Every mount is made private before anything is mounted on it, so nothing reaches
# the host's mount namespace, even in a chroot whose root is no mount point of its own.
set -eu
rules=$1
sysfs=$2

# The anchor: /dev is a mount point wherever a chroot or a container is set up.
mount --make-private /dev
mount -t tmpfs -o mode=0755 kaldorium-udev-test /dev
root=/dev/scratch-root
mkdir "$root"

bind_private() { # host path, place in the scratch root
    mkdir -p "$root/$2"
    mount --rbind "$1" "$root/$2"
    mount --make-rprivate "$root/$2"
}
for dir in usr etc; do
    bind_private "/$dir" "$dir"
done
for dir in bin sbin lib lib32 lib64 libx32; do
    if [ -L "/$dir" ]; then
        ln -s "$(readlink "/$dir")" "$root/$dir"
    elif [ -d "/$dir" ]; then
        bind_private "/$dir" "$dir"
    fi
done
bind_private "$sysfs" sys
mkdir "$root/proc"
mount --bind /proc "$root/proc"
mount --make-private "$root/proc"
for dir in dev run tmp; do
    mkdir "$root/$dir"
    mount -t tmpfs -o mode=0755 none "$root/$dir"
done
for dir in etc/udev/rules.d usr/local/lib/udev/rules.d usr/lib/udev/rules.d lib/udev/rules.d; do
    if [ -d "$root/$dir" ] && [ ! -L "$root/$dir" ]; then
        mount -t tmpfs -o mode=0755 none "$root/$dir"
    fi
done
cp "$rules" "$root/etc/udev/rules.d/"

# The device's node, as the kernel would have made it: DEVNAME, MAJOR and MINOR of its
# uevent, owned by root with mode 0600.
make_node() {
    name=$(sed -n 's/^DEVNAME=//p' "$1/uevent")
    major=$(sed -n 's/^MAJOR=//p' "$1/uevent")
    minor=$(sed -n 's/^MINOR=//p' "$1/uevent")
    [ -n "$name" ] && [ -n "$major" ] || return 0
    node=$root/dev/${name#/dev/}
    mkdir -p "$(dirname "$node")"
    mknod -m 0600 "$node" c "$major" "$minor"
}

while read -r action path; do
    [ -n "$path" ] || continue
    find "$root/dev" "$root/run" -mindepth 1 -delete
    make_node "$sysfs$path"
    echo "### event $action $path"
    # udev refuses a /sys that is no sysfs unless told this is a test.
    chroot "$root" env SYSTEMD_DEVICE_VERIFY_SYSFS=0 udevadm test --action="$action" "$path" 2>&1 ||
        echo "udevadm test exited with $?"
    echo "--- /dev"
    (cd "$root/dev" && find . -mindepth 1 -printf '%P %y %l %g %m\n')
done
