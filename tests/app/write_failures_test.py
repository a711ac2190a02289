#!/usr/bin/env python3
"""Write failures as an administrator meets them: the built program updates a
simulated Arvo card with its documents (-o), debug log (-g), JSON summary, soft VPD
file, run lock and update history on a full small file system, on a read-only mount,
and is started by an unprivileged user. Each run must end with the documented status
and a true reason line, leave every earlier file whole and never end in success.

Usage: write_failures_test.py <build folder>. Needs root (mounts, a user id to drop
to); exits 77 (skipped) with a message where the machine allows neither.
"""
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77

ARVO_ENTRY = "pci_id=0xF100\nvendor_id=0x10DF\nsubsys_id=0xF100\nsubven_id=0x10DF\nfamily_id=01.04.03\n"
# Lines of adapters of another host: the soft VPD file keeps them whatever happens.
FOREIGN_SOFT_VPD = "WWPN=20000000DF000001;FW=1.0.0.1;BC=NONE;FID=09.09.01\n"
EARLIER_HISTORY = '{"earlier": "a line of an earlier run"}\n'
EARLIER_SUMMARY = '{"earlier": true}\n'
UNPRIVILEGED = 65534


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class Case:
    def __init__(self, build, work):
        self.build = build
        self.work = work
        self.failures = []

    def check(self, ok, what):
        if not ok:
            self.failures.append(what)

    def package(self):
        """Board file, configuration and payloads outside the folder under test."""
        demo = os.path.join(self.build, "demo-package")
        boards = json.load(open(os.path.join(demo, "boards.json")))
        arvo = [b for b in boards["boards"] if b["pci"]["deviceId"] == "0xF100"][0]
        arvo.pop("timing", None)
        with open(os.path.join(self.work, "boards.json"), "w") as f:
            json.dump({"boards": [arvo]}, f)
        os.makedirs(os.path.join(self.work, "config"))
        with open(os.path.join(self.work, "config", "site.ini"), "w") as f:
            f.write(ARVO_ENTRY)
        self.payloads = os.path.join(demo, "common") + os.sep

    def earlier_files(self, folder):
        """What earlier runs and other tools left in the folder; returns their digests."""
        marlo = os.path.join(folder, "Tavrel", "marlo")
        os.makedirs(marlo)
        files = {
            os.path.join(marlo, "tavCNAFID.cfg"): FOREIGN_SOFT_VPD,
            os.path.join(marlo, "history.jsonl"): EARLIER_HISTORY,
            os.path.join(folder, "summary.json"): EARLIER_SUMMARY,
            os.path.join(folder, "notes.txt"): "an administrator's notes\n",
        }
        for path, text in files.items():
            with open(path, "w") as f:
                f.write(text)
        return {path: digest(path) for path in files}

    def run(self, folder, args, user=None):
        env = dict(os.environ)
        env.update({"DFCSIM_BOARDS": os.path.join(self.work, "boards.json"), "DFCSIM_TIMING": "off",
                    "ProgramFiles": folder})
        env.pop("PROGRAMFILES(x86)", None)
        command = [os.path.join(self.build, "winmarlo")] + args + [
            "-c", os.path.join(self.work, "config"), "-p", self.payloads]
        if user is not None:
            command = ["setpriv", "--reuid=%d" % user, "--regid=%d" % user, "--clear-groups"] + command
        return subprocess.run(command, cwd=folder, env=env, capture_output=True, text=True, timeout=60)

    def expect(self, result, status, reasons, kept):
        self.check(result.returncode == status,
                   "status %d, not %d; standard error: %s" % (result.returncode, status, result.stderr))
        for reason in reasons:
            self.check(reason in result.stdout + result.stderr,
                       "no line %r; standard output: %s; standard error: %s" % (reason, result.stdout, result.stderr))
        for path, before in kept.items():
            now = digest(path) if os.path.exists(path) else "missing"
            self.check(now == before, "%s changed (%s)" % (path, now))


def mount_tmpfs(path, size):
    return subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%s,mode=0755" % size, "tmpfs", path],
                          capture_output=True).returncode == 0


def unmount(path):
    if subprocess.run(["umount", path], capture_output=True).returncode != 0:
        subprocess.run(["umount", "-l", path], capture_output=True)


def fill(folder):
    """Takes every free block of the file system holding folder."""
    fd = os.open(os.path.join(folder, "filler"), os.O_WRONLY | os.O_CREAT, 0o600)
    try:
        for size in (65536, 4096, 1):
            try:
                while os.write(fd, b"\0" * size) > 0:
                    pass
            except OSError:
                pass
    finally:
        os.close(fd)


def full_file_system(case):
    folder = os.path.join(case.work, "full")
    os.makedirs(folder)
    if not mount_tmpfs(folder, "256k"):
        return "tmpfs cannot be mounted here"
    try:
        kept = case.earlier_files(folder)
        # No card is flashed: the simulated card's file stays as it was.
        kept[os.path.join(case.work, "boards.json")] = digest(os.path.join(case.work, "boards.json"))
        fill(folder)
        r = case.run(folder, ["-f", "-o", "-g", "-json", "summary.json"])
        # The documents are opened fresh, then cannot be written: the output document's
        # status; each file that could not be written says so once, with its cause. The
        # soft VPD file could not take the card's new line, so no card is flashed.
        case.expect(r, 14, ["the XML document execution.xml could not be written completely (No space left on device)",
                            "cannot write the debug log debug.log (No space left on device)",
                            "the JSON summary summary.json could not be written",
                            "the soft VPD file " + os.path.join(folder, "Tavrel", "marlo", "tavCNAFID.cfg") +
                            " cannot be replaced", "No space left on device); no adapter is updated"], kept)
    finally:
        unmount(folder)
    return None


def read_only_mount(case):
    folder = os.path.join(case.work, "readonly")
    os.makedirs(folder)
    if not mount_tmpfs(folder, "1m"):
        return "tmpfs cannot be mounted here"
    try:
        kept = case.earlier_files(folder)
        if subprocess.run(["mount", "-o", "remount,ro", folder], capture_output=True).returncode != 0:
            return "a mount cannot be made read-only here"
        r = case.run(folder, ["-u", "-o", "-g", "-json", "summary.json"])
        # Nothing can be created: the debug log is the first file the run opens.
        case.expect(r, 13, ["the debug log debug.log cannot be created",
                            "the JSON summary summary.json could not be written (cannot create the temporary file "
                            "summary.json."], kept)
        case.check(not os.path.exists(os.path.join(folder, "execution.xml")), "an execution document appeared")
    finally:
        unmount(folder)
    return None


def unprivileged_user(case):
    folder = os.path.join(case.work, "user")
    os.makedirs(folder)
    kept = case.earlier_files(folder)
    for root, dirs, _ in os.walk(folder):
        for d in dirs + [""]:
            os.chmod(os.path.join(root, d), 0o777)
    before = sorted(os.listdir(folder))
    r = case.run(folder, ["-u", "-o", "-g", "-json", "summary.json"], user=UNPRIVILEGED)
    # The program runs for administrators only: it ends before it opens anything.
    case.expect(r, 15, ["Not an Administrative user! Exiting...", "must run as root"], kept)
    case.check(sorted(os.listdir(folder)) == before, "files appeared: %s" % sorted(os.listdir(folder)))
    return None


def main():
    build = os.path.abspath(sys.argv[1])
    if os.geteuid() != 0:
        print("skipped: mounts and a user id to drop to need root")
        return SKIP
    if not os.path.isfile(os.path.join(build, "demo-package", "boards.json")):
        print("skipped: the build made no demo package")
        return SKIP
    work = tempfile.mkdtemp(prefix="winmarlo-writes-")
    os.chmod(work, 0o755)
    skipped, failed = [], []
    try:
        for scenario in (full_file_system, read_only_mount, unprivileged_user):
            case = Case(build, work)
            case.package()
            why = scenario(case)
            if why:
                skipped.append("%s: %s" % (scenario.__name__, why))
            for failure in case.failures:
                failed.append("%s: %s" % (scenario.__name__, failure))
            for name in ("boards.json", "config"):
                path = os.path.join(work, name)
                shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
    finally:
        for name in ("full", "readonly"):
            path = os.path.join(work, name)
            if os.path.ismount(path):
                unmount(path)
        shutil.rmtree(work, ignore_errors=True)
    for line in failed:
        print("FAILED " + line)
    for line in skipped:
        print("skipped " + line)
    if failed:
        return 1
    return SKIP if skipped and len(skipped) == 3 else 0


if __name__ == "__main__":
    sys.exit(main())
