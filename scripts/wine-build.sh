#!/usr/bin/env bash
# Prints the Windows build whose programs this machine can run under Wine: "windows", the
# 32-bit product itself, where the kernel executes 32-bit code (wine32 needs it), else
# "windows64", the same sources built for 64-bit Wine (some virtual machines run 64-bit user
# code only). Asks the 32-bit loader that wine32 brings, so call it after scripts/setup.sh.
if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo windows
else
  echo windows64
fi
