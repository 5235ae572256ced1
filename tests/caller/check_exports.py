#!/usr/bin/env python3
"""Checks that boardkit.exe and boardkit.dll each export exactly the operations that
include/boardkit/operations.h declares with BOARDKIT_API (no operation missing, nothing extra),
carry the image hardening flags (ASLR with high-entropy addresses, NX), and import statically
only kernel32 and the C run-time: every other system library is delay-loaded, so none is loaded
before the program has restricted its library search, and each through the program's own hook.

usage: check_exports.py OBJDUMP HEADER IMAGE...
"""
import re
import subprocess
import sys


def declared(header):
    with open(header, encoding="utf-8") as f:
        text = f.read()
    # BOARDKIT_API <type> [*]Name(  -- the #define lines of the macro itself have no '(' after a name
    return set(re.findall(r"^BOARDKIT_API\s+[\w\s\*]*?\b(\w+)\s*\(", text, re.MULTILINE))


def exported(objdump, image):
    out = subprocess.run([objdump, "-p", image], capture_output=True, text=True, check=True).stdout
    names, inside = set(), False
    for line in out.splitlines():
        if "[Ordinal/Name Pointer] Table" in line:
            inside = True
        elif inside and not line.strip():
            break
        elif inside:
            match = re.match(r"\s*\[\s*\d+\]\s+(\w+)", line)
            if match:
                names.add(match.group(1))
    return names


HARDENING = ("HIGH_ENTROPY_VA", "DYNAMIC_BASE", "NX_COMPAT")
STATIC_IMPORTS = {"kernel32.dll", "msvcrt.dll"}


def format_faults(objdump, image):
    out = subprocess.run([objdump, "-p", image], capture_output=True, text=True, check=True).stdout
    faults = []
    flags = re.search(r"^DllCharacteristics\s+[0-9a-fA-F]+\n((?:\t+\w+\n)*)", out, re.MULTILINE)
    present = set(flags.group(1).split()) if flags else set()
    for flag in HARDENING:
        if flag not in present:
            faults.append(f"{image}: DllCharacteristics lacks {flag}")
    imports = {name.lower() for name in re.findall(r"^\s*DLL Name: (\S+)", out, re.MULTILINE)}
    for name in sorted(imports - STATIC_IMPORTS):
        faults.append(f"{image}: {name} is imported statically, not delay-loaded")
    return faults


def main():
    objdump, header, images = sys.argv[1], sys.argv[2], sys.argv[3:]
    want = declared(header)
    failed = 0
    for image in images:
        have = exported(objdump, image)
        for name in sorted(want - have):
            print(f"{image}: {name} is declared but not exported")
        for name in sorted(have - want):
            print(f"{image}: {name} is exported but not declared")
        faults = format_faults(objdump, image)
        for fault in faults:
            print(fault)
        failed += want != have or bool(faults)
    print(f"{len(images) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
