#!/usr/bin/python3
"""Checks a built Tarvish.dll as the installer engine will see it.

Reads the binary with the cross objdump and fails (exit 1) on the first
group of problems it finds:
  - the machine type (PE32/i386 for --arch 32, PE32+/x86-64 for --arch 64);
  - the export directory: module name Tarvish.dll and exactly the eight
    names, GetACP forwarded to KERNEL32.GetACP, _GetActiveCP@0 decorated and
    no undecorated GetActiveCP;
  - on 32-bit, that every export removes its own arguments: every ret in
    its code is `ret $N` with N the bytes of its arguments (plain ret for 0);
  - only system DLLs are imported.
"""
import argparse
import re
import subprocess
import sys

# name -> bytes of arguments removed by the callee
EXPORTS = {
    "ViseEntry": 12,
    "IsAfter": 12,
    "_GetActiveCP@0": 0,
    "GetFileDescription": 4,
    "CheckShortCutAndUpdateIfNecessary": 16,
    "ForceIconCacheRebuild": 0,
    "UpdateFont": 16,
}
FORWARDERS = {"GetACP": "KERNEL32.GetACP"}

SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "version.dll",
    "ole32.dll", "oleaut32.dll", "shell32.dll", "msvcrt.dll", "ntdll.dll",
}


def objdump(tool, *args):
    return subprocess.run([tool, *args], check=True, capture_output=True, text=True).stdout


def parse_exports(private):
    name = re.search(r"^Name\s+[0-9a-f]+\s+(\S+)$", private, re.M)
    eat = {}
    for m in re.finditer(r"^\s*\[\s*(\d+)\] \+base\[\s*\d+\]\s+([0-9a-f]+) (Export|Forwarder) RVA(?: -- (\S+))?",
                         private, re.M):
        index = int(m.group(1))
        eat[index] = ("forward", m.group(4)) if m.group(3) == "Forwarder" else ("code", int(m.group(2), 16))
    names = {}
    table = private.split("[Ordinal/Name Pointer] Table", 1)
    if len(table) == 2:
        for m in re.finditer(r"^\s*\[\s*(\d+)\] (\S+)$", table[1].split("\n\n", 1)[0], re.M):
            names[m.group(2)] = eat.get(int(m.group(1)))
    return (name.group(1) if name else None), names


def parse_functions(disassembly):
    """address -> list of instruction texts, split at symbol labels."""
    functions, current = {}, None
    for line in disassembly.splitlines():
        label = re.match(r"^([0-9a-f]+) <.*>:$", line)
        if label:
            current = functions.setdefault(int(label.group(1), 16), [])
        elif current is not None and re.match(r"^\s*[0-9a-f]+:\t", line):
            current.append(line.split("\t")[-1].strip())
    return functions


def check(args):
    problems = []
    header = objdump(args.objdump, "-f", args.dll)
    want = ("pei-i386", "i386") if args.arch == 32 else ("pei-x86-64", "i386:x86-64")
    if f"file format {want[0]}" not in header or f"architecture: {want[1]}," not in header:
        problems.append(f"not a {want[0]} image:\n{header}")

    private = objdump(args.objdump, "-p", args.dll)
    module, exports = parse_exports(private)
    if module != "Tarvish.dll":
        problems.append(f"export directory names the module {module!r}, not 'Tarvish.dll'")
    expected = set(EXPORTS) | set(FORWARDERS)
    if set(exports) != expected:
        problems.append(f"exported names differ: extra {sorted(set(exports) - expected)}, "
                        f"missing {sorted(expected - set(exports))}")
    for name, target in FORWARDERS.items():
        if exports.get(name) != ("forward", target):
            problems.append(f"{name} is not forwarded to {target}: {exports.get(name)}")
    for name in EXPORTS:
        if name in exports and exports[name][0] != "code":
            problems.append(f"{name} is not code of the module: {exports[name]}")

    imports = {m.group(1).lower() for m in re.finditer(r"DLL Name: (\S+)", private)}
    foreign = sorted(imports - SYSTEM_DLLS)
    if foreign:
        problems.append(f"imports DLLs that are not part of Windows: {foreign}")

    if args.arch == 32:
        base = int(re.search(r"^ImageBase\s+([0-9a-f]+)$", private, re.M).group(1), 16)
        functions = parse_functions(objdump(args.objdump, "-d", "--no-show-raw-insn", args.dll))
        for name, size in EXPORTS.items():
            entry = exports.get(name)
            if not entry or entry[0] != "code":
                continue
            code = functions.get(base + entry[1])
            if code is None:
                problems.append(f"{name}: no code found at its export address")
                continue
            rets = [i for i in code if re.match(r"^ret[lw]?\b", i)]
            want_ret = "ret" if size == 0 else f"ret    $0x{size:x}"
            if not rets or any(re.sub(r"^ret[lw]?", "ret", r) != want_ret for r in rets):
                problems.append(f"{name}: expected every return to be '{want_ret}', found {rets or 'none'}")

    for p in problems:
        print("FAIL:", p)
    if not problems:
        print(f"OK: {args.dll}: {len(EXPORTS) + len(FORWARDERS)} exports, imports {sorted(imports)}")
    return 1 if problems else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--arch", type=int, choices=(32, 64), required=True)
    parser.add_argument("dll")
    return check(parser.parse_args())


if __name__ == "__main__":
    sys.exit(main())
