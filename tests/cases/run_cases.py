#!/usr/bin/env python3
"""Runs the end-to-end cases: each case is one JSON file holding a command line, the machine
it starts from, and everything a caller can see afterwards (exit code, standard output and
error, list files, registry keys).

The same cases run against the Linux boardkit on a fresh simulated machine per case and
against boardkit.exe under Wine. Case fields:

  description     what the case shows
  args            the words after the program name
  argv0           the program's first argument (Linux only; default: "boardkit")
  machine         "none" (default: an empty machine held in memory), "empty" or "sample"
  registry        a .reg file (path relative to the case) imported before the run
  exit            the expected exit code
  stdout, stderr  the expected bytes: a string, or a list of lines each ending in LF
  combined        instead of stdout and stderr: both streams read from one pipe, as setup
                  programs read them, so the order of their lines is checked too
  files           {"C:\\path": expected text, LF for each CR LF; null: the file must not exist}
  registry_after  {"HKEY_LOCAL_MACHINE\\key": {"value name": "data as .reg writes it"} or null}
  sim             [["plug", ...], ...]: boardkit-sim command lines run on the machine image
                  before the command, after the registry fixture; under Wine only
                  ["file", "write", "C:\\path", text] steps, which write the file into the
                  prefix's drive_c (a case with any other step is limited to linux)
  faults          [{"api": ..., "error": code, "arg": optional text}]: calls of the simulated
                  machine that fail (Linux only: a case with faults names its platforms)
  platforms       ["linux", "wine"] by default
  wine_skip_reason  why a case limited to linux cannot run under Wine (required then)
  wine_differs    {"reason": ..., and any of exit/stdout/stderr/combined/files/registry_after}:
                  what Wine shows instead (files and keys replace the case's entries of the
                  same name); the case fails when Wine starts to show the base expectation.

In expected texts, {prog} stands for the program name the program derives from its first
argument, {argv0} for that first argument as the program echoes it, and {source} for the
repository root (a host path on Linux, Z:\\... under Wine), in args too, so cases can use the
INF files of tests/fixtures. Under Wine standard output and error are in text mode, so every
expected LF is compared as CR LF.

Under Wine every case starts from the same state: the runner records the prefix's keys below
HKLM\\SYSTEM\\CurrentControlSet and the machine's certificate stores, and its C: drive, once
per prefix, and after each case deletes what the case added and puts back what it changed or
removed, so no key, device node, INF copy or list file reaches the next case.
"""

import argparse
import difflib
import fnmatch
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

RUN_TIMEOUT = 120
SOURCE_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# What the Wine runner restores after each case: the keys the program and Wine's device
# installer write (device nodes, driver keys, services) and the machine's certificate stores.
WINE_RESTORED_KEYS = ("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet",
                      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\SystemCertificates")
WINE_PRISTINE_FILE = "boardkit-cases-pristine.json"


class CaseError(Exception):
    """A case file that cannot be run as written."""


def load_case(path, every_case=False):
    with open(path, encoding="utf-8") as f:
        case = json.load(f)
    for field in ("args", "exit"):
        if field not in case:
            raise CaseError(f"missing field '{field}'")
    known = {"description", "args", "argv0", "machine", "registry", "exit", "stdout", "stderr",
             "combined", "files", "registry_after", "platforms", "wine_differs", "faults", "sim",
             "wine_skip_reason"}
    unknown = set(case) - known
    if unknown:
        raise CaseError(f"unknown fields {sorted(unknown)}")
    if "combined" in case and ("stdout" in case or "stderr" in case):
        raise CaseError("'combined' replaces 'stdout' and 'stderr'")
    case.setdefault("machine", "none")
    case.setdefault("platforms", ["linux", "wine"])
    if case["machine"] not in ("none", "empty", "sample"):
        raise CaseError(f"unknown machine '{case['machine']}'")
    if case.get("registry") and case["machine"] == "none":
        raise CaseError("a registry fixture needs a machine image ('empty' or 'sample')")
    if case.get("faults") and (case["machine"] == "none" or "wine" in case["platforms"]):
        raise CaseError("faults need a machine image and a case limited to linux")
    if case.get("sim") and case["machine"] == "none":
        raise CaseError("sim steps need a machine image")
    if "wine" in case["platforms"] and not all(is_file_write(w) for w in case.get("sim") or []):
        raise CaseError("sim steps other than 'file write' need a case limited to linux")
    if "wine" not in case["platforms"] and not case.get("wine_skip_reason") and not every_case:
        raise CaseError("a case limited to linux says why in 'wine_skip_reason'")
    if "wine" in case["platforms"] and "wine_skip_reason" in case:
        raise CaseError("'wine_skip_reason' on a case that runs under Wine")
    return case


def is_file_write(words):
    return len(words) == 4 and words[0] == "file" and words[1] == "write"


def text_of(expected):
    if expected is None:
        return None
    if isinstance(expected, list):
        return "".join(line + "\n" for line in expected)
    return expected


def substitute(text, names):
    if text is None:
        return None
    for key, value in names.items():
        text = text.replace("{" + key + "}", value)
    return text


def crlf(text):
    return None if text is None else text.replace("\n", "\r\n")


# --- registry files ------------------------------------------------------------------------

def read_reg_file(path):
    """Parses a regedit export (UTF-16LE with BOM, or plain text) into {key: {name: data}}."""
    with open(path, "rb") as f:
        raw = f.read()
    if raw.startswith(b"\xff\xfe"):
        text = raw[2:].decode("utf-16-le")
    else:
        text = raw.decode("utf-8-sig", errors="replace")
    keys = {}
    current = None
    pending = ""
    for line in text.replace("\r\n", "\n").split("\n"):
        if pending:
            line = pending + line.lstrip()
            pending = ""
        if line.endswith("\\"):
            pending = line[:-1]
            continue
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(line[1:-1].upper(), {})
            continue
        if current is None or "=" not in line:
            continue
        match = re.match(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', line)
        if match:
            name = "" if match.group(1) == "@" else match.group(1)[1:-1]
            current[name.upper()] = match.group(2)
    return keys


# --- platforms -----------------------------------------------------------------------------

class LinuxPlatform:
    name = "linux"

    def __init__(self, exe, sim_tool):
        self.exe = os.path.abspath(exe)
        self.sim_tool = sim_tool

    def names(self, case):
        argv0 = case.get("argv0", "boardkit")
        return {"argv0": argv0, "prog": argv0.rsplit("\\", 1)[-1], "source": SOURCE_ROOT}

    def sim(self, image, *words):
        if not self.sim_tool:
            raise CaseError("this case needs boardkit-sim (--sim-tool)")
        result = subprocess.run([self.sim_tool, "-M", image, *words], capture_output=True,
                                timeout=RUN_TIMEOUT)
        if result.returncode != 0:
            raise CaseError(f"boardkit-sim {' '.join(words)} failed: "
                            f"{result.stderr.decode(errors='replace')}")

    def prepare(self, case, case_dir, work):
        if case["machine"] == "none":
            return ":memory:"
        image = os.path.join(work, "machine")
        if not self.sim_tool:
            raise CaseError("this case needs boardkit-sim (--sim-tool)")
        new = [self.sim_tool, "new"] + (["--empty"] if case["machine"] == "empty" else [])
        result = subprocess.run(new + [image], capture_output=True, timeout=RUN_TIMEOUT)
        if result.returncode != 0:
            raise CaseError(f"boardkit-sim new failed: {result.stderr.decode(errors='replace')}")
        if case.get("registry"):
            self.sim(image, "reg", "import", os.path.join(case_dir, case["registry"]))
        for words in case.get("sim") or []:
            self.sim(image, *words)
        for fault in case.get("faults") or []:
            arg = ["--arg", fault["arg"]] if fault.get("arg") else []
            self.sim(image, "fault", "add", fault["api"], str(fault["error"]), *arg)
        return image

    def run(self, case, image, work):
        env = dict(os.environ, BOARDKIT_MACHINE=image)
        argv0 = self.names(case)["argv0"]
        args = [substitute(a, self.names(case)) for a in case["args"]]
        return subprocess.run([argv0, *args], executable=self.exe, cwd=work, env=env,
                              timeout=RUN_TIMEOUT, **pipes(case))

    def expected(self, text):
        return text

    def machine_file(self, image, windows_path):
        drive = os.path.join(image, "current", "drive_c")
        return resolve_nocase(drive, windows_path)

    def export_key(self, image, key, out):
        # A key that does not exist exports nothing; the caller reads that as absent.
        subprocess.run([self.sim_tool, "-M", image, "reg", "export", out, key],
                       capture_output=True, timeout=RUN_TIMEOUT)

    def cleanup(self, case, case_dir, image):
        pass


class WinePlatform:
    name = "wine"

    def __init__(self, exe):
        self.exe = os.path.abspath(exe)
        if not os.environ.get("WINEPREFIX"):
            raise SystemExit("run_cases.py --wine needs WINEPREFIX in the environment")
        self.prefix = os.environ["WINEPREFIX"]
        self.env = dict(os.environ, WINEDEBUG="-all")
        self.overwritten = {}
        # One server for the whole run, and Wine's own services started once with their
        # output going nowhere: a service started by a captured call would hold its pipes.
        subprocess.run(["wineserver", "-p30"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        subprocess.run(["wine", "cmd", "/c", "exit"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=RUN_TIMEOUT)
        self.load_pristine()

    def names(self, case):
        if "argv0" in case:
            raise CaseError("argv0 cannot be chosen under Wine; limit the case to linux")
        argv0 = "Z:" + self.exe.replace("/", "\\")
        return {"argv0": argv0, "prog": os.path.basename(self.exe),
                "source": "Z:" + SOURCE_ROOT.replace("/", "\\")}

    def wine(self, *words):
        return subprocess.run(["wine", *words], env=self.env, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=RUN_TIMEOUT)

    def prepare(self, case, case_dir, work):
        if case.get("faults") or not all(is_file_write(w) for w in case.get("sim") or []):
            raise CaseError("sim steps other than 'file write', and faults, need the simulated "
                            "machine")
        for _, _, windows_path, text in case.get("sim") or []:
            self.write_file(windows_path, text)
        if case.get("registry"):
            fixture = os.path.join(case_dir, case["registry"])
            result = self.wine("regedit", "/s", fixture)
            if result.returncode != 0:
                raise CaseError(f"regedit /s {fixture} failed")
        return None

    def run(self, case, image, work):
        args = [substitute(a, self.names(case)) for a in case["args"]]
        return subprocess.run(["wine", self.exe, *args], env=self.env, cwd=work,
                              stdin=subprocess.DEVNULL, timeout=RUN_TIMEOUT, **pipes(case))

    def expected(self, text):
        return crlf(text)

    def machine_file(self, image, windows_path):
        return resolve_nocase(os.path.join(self.prefix, "drive_c"), windows_path)

    def write_file(self, windows_path, text):
        """What `boardkit-sim file write` does on a machine image, on the prefix's C: drive:
        the folders are made as needed, and a file already there is kept to be put back."""
        if not re.match(r"^[cC]:\\", windows_path):
            raise CaseError(f"{windows_path} is no full path on drive C:")
        host = make_path_nocase(os.path.join(self.prefix, "drive_c"), windows_path)
        if os.path.isfile(host) and host not in self.overwritten:
            with open(host, "rb") as f:
                self.overwritten[host] = f.read()
        with open(host, "wb") as f:
            f.write(text.encode("utf-8", "surrogateescape"))

    def export_key(self, image, key, out):
        # A key that is not there fails the export; the case then compares against nothing.
        result = self.wine("reg", "export", key, out, "/y")
        if result.returncode != 0 and os.path.exists(out):
            os.remove(out)

    def cleanup(self, case, case_dir, image):
        # New files go with the rest of the restore; files a case wrote over get their bytes back.
        for host, data in self.overwritten.items():
            with open(host, "wb") as f:
                f.write(data)
        self.overwritten = {}
        restore_wine_state(self, self.pristine)

    def export_with_retry(self, key, out):
        # Now and then `reg export` fails while the server is still settling the previous
        # program's exit (seen about once in a thousand exports); a second try succeeds.
        for attempt in range(3):
            result = self.wine("reg", "export", key, out, "/y")
            if result.returncode == 0:
                break
            time.sleep(0.5 * (attempt + 1))
        return result

    def snapshot(self, work):
        keys = {}
        for root in WINE_RESTORED_KEYS:
            out = os.path.join(work, "snapshot.reg")
            result = self.export_with_retry(root, out)
            if result.returncode != 0:
                detail = result.stderr.decode("utf-8", "replace").strip()
                raise SystemExit(f"wine reg export {root} failed: {detail}")
            keys.update(read_reg_keys(out))
            os.remove(out)
        return {"keys": keys, "files": drive_listing(os.path.join(self.prefix, "drive_c"))}

    def load_pristine(self):
        """The prefix's state before any case, recorded at the first run in this prefix; a
        later run first puts it back, so a run that was killed leaves nothing behind."""
        path = os.path.join(self.prefix, WINE_PRISTINE_FILE)
        if os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                self.pristine = json.load(f)
            restore_wine_state(self, self.pristine)
            return
        work = tempfile.mkdtemp(prefix="bk-pristine-")
        try:
            self.pristine = self.snapshot(work)
        finally:
            shutil.rmtree(work, ignore_errors=True)
        with open(path, "w", encoding="utf-8") as f:
            json.dump(self.pristine, f)


def read_reg_keys(path):
    """Like read_reg_file, but keeps the spelling of key and value names for writing them
    back: {KEY: [key, {NAME: [name, data]}]}."""
    with open(path, "rb") as f:
        raw = f.read()
    text = raw[2:].decode("utf-16-le") if raw.startswith(b"\xff\xfe") else raw.decode(
        "utf-8-sig", errors="replace")
    keys = {}
    current = None
    pending = ""
    for line in text.replace("\r\n", "\n").split("\n"):
        if pending:
            line = pending + line.lstrip()
            pending = ""
        if line.endswith("\\") and current is not None and "=" in line:
            pending = line[:-1]
            continue
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(line[1:-1].upper(), [line[1:-1], {}])[1]
            continue
        match = re.match(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', line) if current is not None else None
        if match:
            name = "" if match.group(1) == "@" else match.group(1)[1:-1]
            current[name.upper()] = [match.group(1), match.group(2)]
    return keys


def drive_listing(root):
    listing = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            listing[os.path.relpath(path, root)] = "dir" if os.path.isdir(path) else "file"
    return listing


def restore_wine_state(platform, pristine):
    """Deletes the keys and files added since `pristine` and writes back the values it held."""
    work = tempfile.mkdtemp(prefix="bk-restore-")
    try:
        now = platform.snapshot(work)
        added = sorted(k for k in now["keys"] if k not in pristine["keys"])
        tops = []
        for key in added:
            if not any(key.startswith(top + "\\") for top in tops):
                tops.append(key)
        for key in tops:
            platform.wine("reg", "delete", now["keys"][key][0], "/f")
        lines = []
        for key, (spelling, values) in sorted(pristine["keys"].items()):
            held = now["keys"].get(key, [spelling, {}])[1]
            if held == values:
                continue
            lines.append(f"[{spelling}]")
            lines += [f"{name}=-" for upper, (name, _) in held.items() if upper not in values]
            lines += [f"{name}={data}" for name, data in values.values()]
            lines.append("")
        if lines:
            path = os.path.join(work, "restore.reg")
            text = "Windows Registry Editor Version 5.00\r\n\r\n" + "\r\n".join(lines) + "\r\n"
            with open(path, "wb") as f:
                f.write(b"\xff\xfe" + text.encode("utf-16-le"))
            if platform.wine("regedit", "/s", path).returncode != 0:
                raise SystemExit("regedit /s of the restored values failed")
        drive = os.path.join(platform.prefix, "drive_c")
        for rel in sorted(set(now["files"]) - set(pristine["files"]), reverse=True):
            path = os.path.join(drive, rel)
            if now["files"][rel] == "dir":
                shutil.rmtree(path, ignore_errors=True)
            elif os.path.lexists(path):
                os.remove(path)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def pipes(case):
    if "combined" in case:
        return {"stdout": subprocess.PIPE, "stderr": subprocess.STDOUT}
    return {"stdout": subprocess.PIPE, "stderr": subprocess.PIPE}


def resolve_nocase(root, windows_path):
    """The host file behind C:\\... under `root`, matching each component without case."""
    path = windows_path
    if len(path) >= 2 and path[1] == ":":
        path = path[2:]
    current = root
    for part in [p for p in path.replace("/", "\\").split("\\") if p]:
        try:
            entries = os.listdir(current)
        except OSError:
            return None
        match = next((e for e in entries if e.lower() == part.lower()), None)
        if match is None:
            return None
        current = os.path.join(current, match)
    return current


def make_path_nocase(root, windows_path):
    """The host path for C:\\... under `root`, each folder matched without case or made, the
    file's own name matched without case or taken as written."""
    parts = [p for p in windows_path[2:].split("\\") if p]
    current = root
    for index, part in enumerate(parts):
        entries = os.listdir(current) if os.path.isdir(current) else []
        match = next((e for e in entries if e.lower() == part.lower()), part)
        current = os.path.join(current, match)
        if index < len(parts) - 1 and not os.path.isdir(current):
            os.mkdir(current)
    return current


# --- checking ------------------------------------------------------------------------------

def show(data):
    return data.decode("latin-1")


def split_lines(text):
    return [line for line in re.split(r"(?<=\n)", text) if line]


def diff(label, expected, actual):
    """A unified diff with every control character visible (CR and LF are part of the bytes)."""
    shown = []
    for line in difflib.unified_diff(split_lines(expected), split_lines(actual),
                                     f"expected {label}", f"actual {label}", lineterm=""):
        if line.startswith(("---", "+++", "@@")):
            shown.append(line.rstrip("\n"))
        else:
            shown.append(line[0] + repr(line[1:])[1:-1])
    return "\n".join(shown)


def compare_outcome(expect, result, platform, names):
    """The list of mismatches between `expect` (exit/stdout/stderr) and the run."""
    problems = []
    if result.returncode != to_exit_code(expect["exit"]):
        problems.append(f"exit code {result.returncode}, expected {expect['exit']}")
    for stream, field in (("stdout", "stdout"), ("stderr", "stderr"), ("stdout", "combined")):
        want = platform.expected(substitute(text_of(expect.get(field)), names))
        if want is None:
            continue
        got = show(getattr(result, stream))
        if got != want:
            problems.append(f"{field} differs:\n" + diff(field, want, got))
    return problems


def to_exit_code(code):
    # A process exit code is 8 bits on Linux; Wine reports the low 8 bits as well.
    return code & 0xFF


def compare_machine(case, platform, image, work, names):
    problems = []
    for windows_path, want in (case.get("files") or {}).items():
        host = platform.machine_file(image, windows_path)
        if want is None:
            if host is not None and os.path.exists(host):
                problems.append(f"file {windows_path} exists, expected it absent")
            continue
        if host is None or not os.path.isfile(host):
            problems.append(f"file {windows_path} is missing")
            continue
        with open(host, "rb") as f:
            got = show(f.read())
        # List files hold what a text-mode stream writes, CR LF line ends, on both builds.
        want = crlf(substitute(text_of(want), names))
        if got != want:
            problems.append(f"file {windows_path} differs:\n" + diff(windows_path, want, got))
    for key, want in (case.get("registry_after") or {}).items():
        out = os.path.join(work, "export.reg")
        if os.path.exists(out):
            os.remove(out)
        platform.export_key(image, key, out)
        got = read_reg_file(out).get(key.upper()) if os.path.exists(out) else None
        if want is None:
            if got is not None:
                problems.append(f"key {key} exists, expected it absent")
            continue
        if got is None:
            problems.append(f"key {key} is missing")
            continue
        want_values = {name.upper(): data for name, data in want.items()}
        if got != want_values:
            problems.append(f"key {key} holds {got}, expected {want_values}")
    return problems


def with_differences(case, differs):
    """The case's expectations with Wine's marked differences in their place: exit code and
    streams whole, files and registry keys one by one."""
    expect = dict(case)
    for field, value in differs.items():
        if field == "reason":
            continue
        if field in ("files", "registry_after"):
            expect[field] = dict(case.get(field) or {}, **value)
        else:
            expect[field] = value
    return expect


def run_case(path, platform, every_case=False):
    case = load_case(path, every_case)
    if platform.name not in case["platforms"] and not every_case:
        return "skip", []
    case_dir = os.path.dirname(os.path.abspath(path))
    work = tempfile.mkdtemp(prefix="bk-case-")
    image = None
    try:
        names = platform.names(case)
        image = platform.prepare(case, case_dir, work)
        result = platform.run(case, image, work)
        problems = []
        differs = case.get("wine_differs") if platform.name == "wine" else None
        expect = case
        if differs:
            base = (compare_outcome(case, result, platform, names) +
                    compare_machine(case, platform, image, work, names))
            if not base:
                problems.append("the marked Wine difference has disappeared ("
                                f"{differs.get('reason', 'no reason given')}): remove the marker")
            expect = with_differences(case, differs)
        problems += compare_outcome(expect, result, platform, names)
        problems += compare_machine(expect, platform, image, work, names)
        return ("ok" if not problems else "FAIL"), problems
    finally:
        try:
            platform.cleanup(case, case_dir, image)
        finally:
            shutil.rmtree(work, ignore_errors=True)


def find_cases(roots, pattern):
    found = []
    for root in roots:
        if os.path.isfile(root):
            found.append(root)
            continue
        for folder, _, files in os.walk(root):
            for name in files:
                if name.endswith(".json"):
                    found.append(os.path.join(folder, name))
    found.sort()
    if pattern:
        found = [f for f in found if fnmatch.fnmatch(case_name(f, roots), pattern)]
    return found


def case_name(path, roots):
    for root in roots:
        if os.path.isdir(root) and os.path.abspath(path).startswith(os.path.abspath(root)):
            return os.path.relpath(path, root)[:-len(".json")]
    return os.path.basename(path)[:-len(".json")]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--exe", required=True, help="boardkit (Linux) or boardkit.exe (--wine)")
    parser.add_argument("--wine", action="store_true", help="run boardkit.exe under Wine")
    parser.add_argument("--sim-tool", help="boardkit-sim, for cases that need a machine image")
    parser.add_argument("--filter", help="only cases whose name matches this glob")
    parser.add_argument("--every-case", action="store_true",
                        help="also run the cases limited to the other platform (to see how "
                             "they fare there; sim steps and faults are still refused)")
    parser.add_argument("cases", nargs="*", help="case files or folders (default: all)")
    options = parser.parse_args()

    roots = options.cases or [here]
    platform = WinePlatform(options.exe) if options.wine else LinuxPlatform(options.exe,
                                                                            options.sim_tool)
    counts = {"ok": 0, "FAIL": 0, "skip": 0}
    for path in find_cases(roots, options.filter):
        name = case_name(path, roots)
        try:
            status, problems = run_case(path, platform, options.every_case)
        except CaseError as e:
            status, problems = "FAIL", [f"case error: {e}"]
        except subprocess.TimeoutExpired:
            status, problems = "FAIL", ["the run did not end in time"]
        counts[status] += 1
        print(f"{status:4} {platform.name} {name}")
        for problem in problems:
            print("     " + problem.replace("\n", "\n     "))
    print(f"{counts['ok']} passed, {counts['FAIL']} failed, {counts['skip']} skipped")
    return 1 if counts["FAIL"] else 0


if __name__ == "__main__":
    sys.exit(main())
