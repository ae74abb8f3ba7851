#!/usr/bin/env bash
# Exit 0 when 32-bit Linux programs (Wine's i386 processes) run under qemu's user-mode emulation here, as
# scripts/deps.sh arranges on kernels without 32-bit support; 1 when they run natively.
f=/proc/sys/fs/binfmt_misc
[ -e $f/status ] || mount -t binfmt_misc binfmt_misc $f 2>/dev/null || true
grep -qs '^enabled' $f/qemu-i386
