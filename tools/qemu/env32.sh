# Sourced by the Wine runner for 32-bit programs: the environment that lets
# 32-bit Wine run under qemu-i386. Filled in by the 32-bit set-up.
:
