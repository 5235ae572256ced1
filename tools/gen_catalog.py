#!/usr/bin/env python3
"""Writes catalog/catalog_rows.cpp, the Device Catalog's rows, from the family list below.

Run from the repository root:  python3 tools/gen_catalog.py
The script refuses to write a table that breaks one of the relations the lookups rely on
(containment order of hardware IDs, unambiguous kernel keys and INF names, the counts).
"""

import os
import sys

VENDOR = "PCI\\VEN_5AE3&DEV_"
USB_VENDOR = "USB\\VID_2E5B&PID_"


def pci(dev, subsys=None):
    return VENDOR + dev + ("&SUBSYS_" + subsys if subsys else "")


def usb(pid, suffix=""):
    return USB_VENDOR + pid + suffix


def family(key, folder, bus, rows, dll=None, driver=None, inf=None):
    """One driver package: rows of (productId, model, hardwareId) sharing key and files.

    By default the driver is the key with a lower-case final s and ".sys", the library the key
    without its last letter and ".dll", the INF the driver's base name and ".inf"."""
    driver = driver or key[:-1] + "s.sys"
    dll = dll or key[:-1] + ".dll"
    inf = inf or driver[: -len(".sys")] + ".inf"
    return [(pid, model, folder + "\\" + inf, hwid, dll, driver, key, bus)
            for pid, model, hwid in rows]


def isa(pid, model):
    return (pid, model, model.replace("-", ""))


DEMO = [(0, "Demo", "Demo\\TolDemos.inf", "DEMO", "TolDemo.dll", "TolDemos.sys", "TolDemoS",
         "DEMO")]

PCI_FAMILIES = (
    family("TolPx10S", "PX1001", "PCI", [
        (0x0101, "PX-1001", pci("1001")),
        (0x0102, "PX-1002", pci("1002")),
        (0x0103, "PX-1003", pci("1003")),
        (0x0104, "PXL-1002", pci("1002")),
        (0x0105, "PX-1004", pci("1004")),
        (0x0106, "PX-1005", pci("1005")),
        (0x0107, "PXL-1005", pci("1005")),
    ]) +
    family("TolPx12S", "PX1201", "PCI", [
        (0x0121, "PX-1201", pci("1201")),
        (0x0122, "PX-1202", pci("1202")),
        (0x0123, "PX-1204", pci("1204")),
        # The second board revision reports its subsystem; an older INF still matches both.
        (0x0124, "PX-1204", pci("1204", "00045AE3")),
        (0x0125, "PX-1208", pci("1208")),
    ]) +
    family("TolPx16S", "PX1610", "PCI", [
        (0x0161, "PX-1610", pci("1610")),
        (0x0162, "PX-1612", pci("1612")),
        (0x0163, "PXL-1612", pci("1612")),
        (0x0164, "PX-1616", pci("1616")),
    ]) +
    family("TolPx18S", "PX1810", "PCI", [
        (0x0181, "PX-1810", pci("1810")),
        (0x0182, "PX-1816", pci("1816")),
        (0x0183, "PXL-1816", pci("1816")),
    ]) +
    family("TolPd20S", "PD2032", "PCI", [
        (0x0201, "PD-2032", pci("2032")),
        (0x0202, "PD-2064", pci("2064")),
        (0x0203, "PDL-2032", pci("2032")),
        (0x0204, "PD-2096", pci("2096")),
    ]) +
    family("TolPd21S", "PD2116", "PCI", [
        (0x0211, "PD-2116", pci("2116")),
        (0x0212, "PD-2132", pci("2132")),
        (0x0213, "PD-2164", pci("2164")),
    ]) +
    family("TolPd24S", "PD2408", "PCI", [
        (0x0241, "PD-2408", pci("2408")),
        (0x0242, "PD-2416", pci("2416")),
    ]) +
    family("TolPr22S", "PR2208", "PCI", [
        (0x0221, "PR-2208", pci("2208")),
        (0x0222, "PR-2216", pci("2216")),
        (0x0223, "PRL-2208", pci("2208")),
    ]) +
    family("TolPa30S", "PA3004", "PCI", [
        (0x0301, "PA-3004", pci("3004")),
        (0x0302, "PA-3008", pci("3008")),
        (0x0303, "PAL-3008", pci("3008")),
        (0x0304, "PA-3016", pci("3016")),
    ]) +
    family("TolPa31S", "PA3104", "PCI", [
        (0x0311, "PA-3104", pci("3104")),
        (0x0312, "PA-3108", pci("3108")),
    ]) +
    # The counter boards ship the library of the older counter package.
    family("TolPc40S", "PCT4003", "PCI", [
        (0x0401, "PCT-4003", pci("4003")),
        (0x0402, "PCT-4006", pci("4006")),
        (0x0403, "PCT-4012", pci("4012")),
    ], dll="TolCnt40.dll") +
    family("TolPc41S", "PCT4104", "PCI", [
        (0x0411, "PCT-4104", pci("4104")),
        (0x0412, "PCTL-4104", pci("4104")),
    ]) +
    family("TolPm50S", "PM5002", "PCI", [
        (0x0501, "PM-5002", pci("5002")),
        (0x0502, "PM-5004", pci("5004")),
        (0x0503, "PM-5008", pci("5008")),
    ]) +
    family("TolPm51S", "PM5102", "PCI", [
        (0x0511, "PM-5102", pci("5102")),
        (0x0512, "PM-5104", pci("5104")),
    ], driver="TolPm51x.sys", inf="TolPm51s.inf") +
    family("TolPg60S", "PG6001", "PCI", [
        (0x0601, "PG-6001", pci("6001")),
        (0x0602, "PG-6002", pci("6002")),
    ], inf="TolPgens.inf") +
    family("TolPi61S", "PI6108", "PCI", [
        (0x0611, "PI-6108", pci("6108")),
        (0x0612, "PI-6116", pci("6116")),
        (0x0613, "PIL-6108", pci("6108")),
    ]) +
    family("TolPt62S", "PT6208", "PCI", [
        (0x0621, "PT-6208", pci("6208")),
        (0x0622, "PT-6216", pci("6216")),
    ]) +
    family("TolPw63S", "PW6304", "PCI", [
        (0x0631, "PW-6304", pci("6304")),
        (0x0632, "PW-6308", pci("6308")),
    ]) +
    family("TolPv64S", "PV6402", "PCI", [
        (0x0641, "PV-6402", pci("6402")),
        (0x0642, "PV-6404", pci("6404")),
    ]) +
    family("TolPf65S", "PF6504", "PCI", [
        (0x0651, "PF-6504", pci("6504")),
    ]) +
    family("TolPe66S", "PE6602", "PCI", [
        (0x0661, "PE-6602", pci("6602")),
        (0x0662, "PE-6604", pci("6604")),
        (0x0663, "PEL-6602", pci("6602")),
    ]) +
    family("TolPk67S", "PK6701", "PCI", [
        (0x0671, "PK-6701", pci("6701")),
        (0x0672, "PK-6702", pci("6702")),
    ]) +
    family("TolPn68S", "PN6801", "PCI", [
        (0x0681, "PN-6801", pci("6801")),
        (0x0682, "PN-6802", pci("6802")),
    ]) +
    family("TolPl69S", "PL6901", "PCI", [
        (0x0691, "PL-6901", pci("6901")),
    ])
)

ISA_BOARDS = (
    # IX104 stands before IX1040 (and IX108 before IX1080): a lookup by containment must find
    # the shorter model code's own row first.
    family("TolIx10S", "IX104", "ISA", [
        isa(0x0701, "IX-104"),
        isa(0x0702, "IX-108"),
        isa(0x0703, "IX-1040"),
        isa(0x0704, "IX-1080"),
    ]) +
    family("TolIx20S", "IX208", "ISA", [
        isa(0x0721, "IX-208"),
        isa(0x0722, "IX-216"),
        isa(0x0723, "IX-232"),
    ]) +
    family("TolIa30S", "IA302", "ISA", [
        isa(0x0731, "IA-302"),
        isa(0x0732, "IA-304"),
    ]) +
    # Both boards were sold under one product ID; only the jumper block differs.
    family("TolIc40S", "IC404", "ISA", [
        isa(0x0741, "IC-404"),
        isa(0x0741, "IC-408"),
    ]) +
    family("TolIr50S", "IR508", "ISA", [
        isa(0x0751, "IR-508"),
    ], driver="TolIr5s.sys") +
    family("TolIm60S", "IM602", "ISA", [
        isa(0x0761, "IM-602"),
        isa(0x0762, "IM-604"),
    ])
)

FURTHER_PCI = (
    family("TolPh70s", "PH7001", "PCI", [
        (0x0801, "PH-7001", pci("7001")),
    ]) +
    # The link board sits behind the maker's own bus driver, which names its child devices.
    family("TolPb75S", "PB7501", "PCI", [
        (0x0811, "PB-7501", "TolBus\\Pb7501Link"),
    ]) +
    family("TolPq78S", "PQ7802", "PCI", [
        (0x0821, "PQ-7802", pci("7802")),
        (0x0822, "PQL-7802", pci("7802", "00025AE3")),
    ]) +
    family("TolPy80S", "PY8001", "PCI", [
        (0x0831, "PY-8001", pci("8001")),
        (0x0832, "PY-8002", pci("8002")),
        (0x0833, "PYL-8001", pci("8001")),
    ]) +
    family("TolPz81S", "PZ8104", "PCI", [
        (0x0841, "PZ-8104", pci("8104")),
    ]) +
    family("TolPj82S", "PJ8201", "PCI", [
        (0x0851, "PJ-8201", pci("8201")),
    ]) +
    family("TolPu83S", "PU8302", "PCI", [
        (0x0861, "PU-8302", pci("8302")),
        (0x0862, "PU-8304", pci("8304")),
        (0x0863, "PUL-8302", pci("8302")),
    ]) +
    family("TolPo84S", "PO8401", "PCI", [
        (0x0871, "PO-8401", pci("8401")),
    ]) +
    family("TolPxf85S", "PXF8501", "PCI", [
        (0x0881, "PXF-8501", pci("8501")),
    ]) +
    family("TolPxb86S", "PXB8601", "PCI", [
        (0x0891, "PXB-8601", pci("8601")),
    ]) +
    family("TolPxc87S", "PXC8701", "PCI", [
        (0x08A1, "PXC-8701", pci("8701")),
        (0x08A2, "PXCL-8701", pci("8701")),
    ]) +
    family("TolPda88S", "PDA8801", "PCI", [
        (0x08B1, "PDA-8801", pci("8801")),
    ]) +
    family("TolPdb89S", "PDB8901", "PCI", [
        (0x08C1, "PDB-8901", pci("8901")),
    ]) +
    family("TolPab90S", "PAB9001", "PCI", [
        (0x0901, "PAB-9001", pci("9001")),
    ]) +
    family("TolPac91S", "PAC9101", "PCI", [
        (0x0911, "PAC-9101", pci("9101")),
    ]) +
    family("TolPad92S", "PAD9201", "PCI", [
        (0x0921, "PAD-9201", pci("9201")),
        (0x0922, "PADL-9201", pci("9201")),
    ]) +
    family("TolPan93S", "PAN9301", "PCI", [
        (0x0931, "PAN-9301", pci("9301")),
    ]) +
    family("TolPaf94S", "PAF9401", "PCI", [
        (0x0941, "PAF-9401", pci("9401")),
    ]) +
    family("TolPag95S", "PAG9501", "PCI", [
        (0x0951, "PAG-9501", pci("9501")),
    ]) +
    family("TolPah96S", "PAH9601", "PCI", [
        (0x0961, "PAH-9601", pci("9601")),
    ]) +
    family("TolPai97S", "PAI9701", "PCI", [
        (0x0971, "PAI-9701", pci("9701")),
        (0x0972, "PAIL-9701", pci("9701")),
    ]) +
    family("TolPaj98S", "PAJ9801", "PCI", [
        (0x0981, "PAJ-9801", pci("9801")),
    ]) +
    family("TolPak99S", "PAK9901", "PCI", [
        (0x0991, "PAK-9901", pci("9901")),
    ]) +
    family("TolPar72S", "PAR7201", "PCI", [
        (0x09A1, "PAR-7201", pci("7201")),
    ])
)

USB_MODULES = (
    family("TolUa08S", "UA1008", "USB", [
        (0x0A01, "UA-1008", usb("1008")),
    ]) +
    # UA-1016 of the second revision keeps its product ID but reports a revision.
    family("TolUa10S", "UA1016", "USB", [
        (0x0A11, "UA-1016", usb("1016")),
        (0x0A11, "UA-1016", usb("1016", "&REV_0200")),
        (0x0A12, "UAL-1016", usb("1016")),
    ]) +
    # The digital modules share one library with their configuration tools.
    family("TolUd20S", "UD2008", "USB", [
        (0x0A21, "UD-2008", usb("2008", "&MI_00")),
        (0x0A22, "UD-2016", usb("2016", "&MI_00")),
    ], dll="TolUsbDio.dll") +
    family("TolUd21S", "UD2108", "USB", [
        (0x0A31, "UD-2108", usb("2108", "&MI_00")),
    ]) +
    family("TolUr30S", "UR3008", "USB", [
        (0x0A41, "UR-3008", usb("3008")),
    ]) +
    family("TolUr31S", "UR3108", "USB", [
        (0x0A51, "UR-3108", usb("3108", "&MI_00")),
        (0x0A52, "URL-3108", usb("3108", "&MI_00")),
    ]) +
    family("TolUt40S", "UT4004", "USB", [
        (0x0A61, "UT-4004", usb("4004")),
    ]) +
    family("TolUt41S", "UT4104", "USB", [
        (0x0A71, "UT-4104", usb("4104", "&REV_0100")),
    ]) +
    family("TolUc50S", "UC5002", "USB", [
        (0x0A81, "UC-5002", usb("5002")),
    ]) +
    family("TolUm60S", "UM6001", "USB", [
        (0x0A91, "UM-6001", usb("6001", "&MI_00")),
    ]) +
    family("TolUv80S", "UV8002", "USB", [
        (0x0AA1, "UV-8002", usb("8002")),
    ]) +
    family("TolUv81S", "UV8102", "USB", [
        (0x0AB1, "UVR-8102", usb("8102", "&REV_0110")),
    ])
)

PCIE_BOARDS = (
    family("TolPxe1S", "PXE1004", "PCIE", [
        (0x0B01, "PXE-1004", pci("E104")),
        (0x0B02, "PXEL-1004", pci("E104")),
    ]) +
    family("TolPxe2S", "PXE2016", "PCIE", [
        (0x0B11, "PXE-2016", pci("E216")),
    ]) +
    # Low-profile and full-height boards were never told apart by product ID.
    family("TolPxe3S", "PXE3004", "PCIE", [
        (0x0B21, "PXE-3004", pci("E304")),
        (0x0B21, "PXEL-3004", pci("E304")),
    ]) +
    family("TolPxe4S", "PXE4008", "PCIE", [
        (0x0B31, "PXE-4008", pci("E408")),
    ], inf="TolPxe4ws.inf") +
    family("TolPde5S", "PDE5032", "PCIE", [
        (0x0B41, "PDE-5032", pci("E532")),
        (0x0B42, "PDEL-5032", pci("E532")),
    ]) +
    family("TolPde6S", "PDE6064", "PCIE", [
        (0x0B51, "PDE-6064", pci("E664")),
    ]) +
    family("TolPae7S", "PAE7008", "PCIE", [
        (0x0B61, "PAE-7008", pci("E708")),
    ]) +
    family("TolPke8S", "PKE8004", "PCIE", [
        (0x0B71, "PKE-8004", pci("E804")),
    ]) +
    family("TolPme9S", "PME9002", "PCIE", [
        (0x0B81, "PME-9002", pci("E902")),
        (0x0B82, "PMEL-9002", pci("E902")),
    ]) +
    family("TolPxeHs24S", "PXEDAQ24160_Win10_x64", "PCIE", [
        (0x0B91, "PXEDAQ-24160", pci("E416")),
    ]) +
    family("TolPte1S", "PTE1108", "PCIE", [
        (0x0BA1, "PTE-1108", pci("E118")),
    ]) +
    family("TolPie2S", "PIE1216", "PCIE", [
        (0x0BB1, "PIE-1216", pci("E126", "00105AE3")),
    ]) +
    family("TolPge3S", "PGE1301", "PCIE", [
        (0x0BC1, "PGE-1301", pci("E131")),
    ]) +
    family("TolPwe4S", "PWE1404", "PCIE", [
        (0x0BD1, "PWE-1404", pci("E144")),
        (0x0BD2, "PWEL-1404", pci("E144")),
    ]) +
    family("TolPve5S", "PVE1502", "PCIE", [
        (0x0BE1, "PVE-1502", pci("E152")),
    ])
)

ROWS = DEMO + PCI_FAMILIES + ISA_BOARDS + FURTHER_PCI + USB_MODULES + PCIE_BOARDS

FIRST_PRODUCT_ROW = (0x0101, "PX-1001", "PX1001\\TolPx10s.inf", "PCI\\VEN_5AE3&DEV_1001",
                     "TolPx10.dll", "TolPx10s.sys", "TolPx10S", "PCI")


def count(values, wanted):
    return sum(1 for v in values if v == wanted)


def inf_name(row):
    return row[2].split("\\", 1)[1]


def check(rows):
    problems = []

    def need(cond, what):
        if not cond:
            problems.append(what)

    need(len(rows) == 150, "150 rows, not %d" % len(rows))
    need(rows[1] == FIRST_PRODUCT_ROW, "row 1 is the PX-1001 row")
    buses = [r[7] for r in rows]
    for bus, n in (("DEMO", 1), ("PCI", 99), ("PCIE", 20), ("USB", 16), ("ISA", 14)):
        need(count(buses, bus) == n, "%d %s rows, not %d" % (n, bus, count(buses, bus)))
    need(len({r[3] for r in rows}) == 128, "128 hardware IDs, not %d" % len({r[3] for r in rows}))
    keys = sorted({r[6] for r in rows})
    need(len(keys) == 82, "82 kernel keys, not %d" % len(keys))
    pids = [r[0] for r in rows]
    need(sorted(p for p in set(pids) if pids.count(p) > 1).__len__() == 3, "three shared IDs")
    need(all(pids.count(p) <= 2 for p in pids), "no product ID in more than two rows")
    need(all(0 < p < 0xFFFF for p in pids[1:]), "product IDs small and positive")
    models = [r[1] for r in rows]
    need(len([m for m in set(models) if models.count(m) == 2]) == 2, "two model names twice")
    need(all(models.count(m) <= 2 for m in models), "no model three times")
    for k in keys:
        for other in keys:
            need(k == other or k.upper() not in other.upper(), "key %s inside %s" % (k, other))
    infs = sorted({inf_name(r) for r in rows})
    for n in infs:
        need(n.lower().endswith("s.inf"), "INF %s ends in s.inf" % n)
        need(len(n) - 5 < 16, "INF %s fits the record-name buffer" % n)
        for other in infs:
            need(n == other or n.upper() not in other.upper(), "INF %s inside %s" % (n, other))
    first = {}
    for i, r in enumerate(rows):
        first.setdefault(r[3].upper(), i)
    for short, i in first.items():
        for long_, j in first.items():
            if short != long_ and short in long_:
                need(i < j, "%s stands before %s" % (short, long_))
    need(sum(1 for r in rows if r[6].endswith("s")) == 1, "one key ends in lower-case s")
    need(all(r[6][-1] in "Ss" for r in rows), "keys end in S")
    for r in rows:
        need(all(r[1:]), "no empty text in %s" % r[1])
        if r[7] == "ISA":
            need(r[3] == r[1].replace("-", ""), "ISA ID of %s" % r[1])
    for i, width in ((1, 12), (2, 37), (3, 37), (4, 14), (5, 15), (6, 11), (7, 4)):
        longest = max(len(r[i]) for r in rows)
        need(longest == width, "longest of column %d is %d, not %d" % (i, width, longest))
    return problems


def c_string(text):
    return '"' + text.replace("\\", "\\\\") + '"'


def render(rows):
    lines = [
        "// Generated by tools/gen_catalog.py from its family list: edit the script and run it again",
        "// (python3 tools/gen_catalog.py) rather than editing these rows by hand.",
        '#include "catalog/catalog.h"',
        "",
        "// Row order is part of the contract: every lookup takes the first row that matches.",
        "// One row a line, so the formatter is kept off the table.",
        "// clang-format off",
        "const CatalogEntry kDeviceCatalog[] = {",
    ]
    for r in rows:
        fields = ["0x%04X" % r[0]] + [c_string(t) for t in r[1:]]
        lines.append("    {" + ", ".join(fields) + "},")
    lines.append("    {0xFFFF, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},")
    lines.append("};")
    lines.append("// clang-format on")
    return "\n".join(lines) + "\n"


def main():
    problems = check(ROWS)
    if problems:
        for p in problems:
            print("gen_catalog: " + p, file=sys.stderr)
        return 1
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    path = os.path.join(root, "catalog", "catalog_rows.cpp")
    with open(path, "w", newline="\n") as out:
        out.write(render(ROWS))
    return 0


if __name__ == "__main__":
    sys.exit(main())
