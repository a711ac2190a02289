#!/usr/bin/env python3
"""Runs the Ansible roll-out (deploy/ansible/rollout.yml) for real against six
simulated hosts that Ansible reaches over SSH, and reads what it left: the PLAY RECAP,
the fleet report and plan, the board files, the hosts' update histories and folders.

Each host is a network namespace on a bridge of the test with its own sshd
(tests/ansible/ssh_fleet.py), its own copy of the demo boards, its own program-files
folder (soft VPD file, history, run lock) and its own work folder:
  h1  the canary; its dual-port card needs a reboot to run its new firmware (the
      reboot command sets the board file's "reboot" flag);
  h2  its boards keep their timing model, and its cable is pulled while its update
      runs (when the first component has reached its history);
  h3  its sshd is stopped from the start, and started before the third roll-out;
  h4  its package holds a damaged firmware image;
  h5  updates one port chosen by -wwn;
  h6  plain.
The canary batch of one, then batches of five (of two in the second roll-out: h1 |
h2 h3 | ...), max_fail_percentage 50:
  1. --check --diff: the plan of every reachable host, h3 unreachable, h4's damaged
     image named; no host changes;
  2. the roll-out with its faults: h1 changed, rebooted and verified; h3 unreachable
     while h2 goes on; h2 lost during its update, which fails the batch beyond 50%
     and stops the roll-out before h4;
  3. cable back, h3's sshd started: h2 is completed without a second download, h3 and
     the rest updated, h4 held by the gate before anything is flashed;
  4. --limit h4 with partial updates accepted: h4 updated but for the damaged image,
     the other hosts' rows stay as they were;
  5. an inventory with --tags inventory,report: nothing changes;
  6. a forced roll-out whose canary's card refuses the firmware write: the canary
     fails with the program's messages and its debug log's path, no other host is
     touched.
Before them, `ansible-playbook --syntax-check` reads the playbook and the role's
Windows tasks (tests/ansible/windows_syntax.yml), resolving their modules.

Exits 77 (skipped) when network namespaces cannot be made here (not root, no
CAP_NET_ADMIN). The whole test stops by itself after 14 minutes; a machine of two
free cores runs it in a few.

Usage: rollout_test.py <build folder>   (the program, libdfc.so and demo-package)
"""
import csv
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ssh_fleet  # noqa: E402

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PLAYBOOK = os.path.join(SOURCE, "deploy", "ansible", "rollout.yml")
SIM_REBOOT = os.path.join(SOURCE, "tests", "ansible", "sim_reboot.py")
WINDOWS_SYNTAX = os.path.join(SOURCE, "tests", "ansible", "windows_syntax.yml")
SKIP = 77
# The whole test stops by itself after this many seconds.
DEADLINE = time.monotonic() + 840
HOSTS = ["h1", "h2", "h3", "h4", "h5", "h6"]
CANARY, LOST, DOWN, HELD, WWN_HOST = "h1", "h2", "h3", "h4", "h5"
E200_PORTS = {"10000010DF720020", "10000010DF720021"}
E300_PORT = "10000010DF730030"
LEGACY_PORTS = {"10000000DF410010", "10000000DF410011"}
DAMAGED = "legacy-ZF282A4.all"
# Installed and packaged versions of the demo boards' components the package updates.
VERSIONS = {("10000000DF410010", "firmware"): ("ZF280A2", "ZF282A4"),
            ("10000000DF410010", "bootCode"): ("ZU503A13", "ZU503X3"),
            ("10000000DF410011", "firmware"): ("ZF280A2", "ZF282A4"),
            ("10000000DF410011", "bootCode"): ("ZU503A13", "ZU503X3"),
            ("10000000DF510050", "firmware"): ("UD201A10", "UD201A12"),
            ("10000000DF510050", "bootCode"): ("UU503A13", "UU503X3"),
            ("10000010DF720020", "firmware"): ("11.0.270.18", "11.2.216.9"),
            ("10000010DF720021", "firmware"): ("11.0.270.18", "11.2.216.9"),
            (E300_PORT, "firmware"): ("11.0.270.18", "11.2.216.9")}
# The demo package's images (demo/CMakeLists.txt), at the image writer's smallest sizes.
PACKAGE_IMAGES = [["grp", "ferrox-11.2.216.9.grp", "-build", "11.2.216.9 demo"],
                  ["grp", "ferrox-g6-11.2.216.9.grp", "-g6", "-build", "11.2.216.9 demo"],
                  ["all", DAMAGED, "dwc:0x07E12894:prg:64K"],
                  ["prg", "legacy-boot-ZU503X3.prg", "-word", "0x03E750F3", "-rom", "0xFE00"],
                  ["all", "arvo-UD201A12.all", "dwc:0x0742205C:prg:64K"],
                  ["prg", "arvo-boot-UU503X3.prg", "-word", "0x037F50F3", "-rom", "0xF100"]]
# The Ferrox cards' boot code, which the package leaves as it is.
UNTOUCHED = {(p, "bootCode") for p in E200_PORTS | {E300_PORT}}

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED: " + what, flush=True)
    return condition


def remaining():
    return max(10, DEADLINE - time.monotonic())


def read_json(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def read_text(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def edit_boards(path, change):
    boards = read_json(path)
    for board in boards["boards"]:
        change(board)
    with open(path, "w", encoding="utf-8") as f:
        json.dump(boards, f, indent=2)


class Fleet:
    """Six simulated hosts behind SSH, their inventory and the Ansible settings."""

    def __init__(self, root, build, hosts):
        self.root, self.hosts = root, hosts
        self.report = os.path.join(root, "report")
        # What the controller copies to every host, kept small so that six hosts take
        # it in seconds over SSH: the program and the library without their debugging
        # sections, and the demo package with images as small as the image writer makes
        # them (the same versions and image ids as the demo's).
        self.program, self.library = self.path("winmarlo"), self.path("libdfc.so")
        os.makedirs(root)
        for built, small in ((os.path.join(build, "winmarlo"), self.program),
                             (os.path.join(build, "libdfc.so"), self.library)):
            subprocess.run(["strip", "-o", small, built], check=True, timeout=60)
        self.package = self.path("package")
        shutil.copytree(os.path.join(build, "demo-package", "config"), os.path.join(self.package, "config"))
        common = os.path.join(self.package, "common")
        os.makedirs(common)
        shutil.copy(os.path.join(build, "demo-package", "common", "UpdRollBack.exe"), common)
        for image in PACKAGE_IMAGES:
            subprocess.run([os.path.join(build, "winmarlo-mkimage")] + image, cwd=common, check=True,
                           stdout=subprocess.DEVNULL, timeout=60)
        # h4's package: the same with its legacy firmware image cut short.
        held_package = self.path("held-package")
        shutil.copytree(self.package, held_package)
        with open(os.path.join(held_package, "common", DAMAGED), "r+b") as f:
            f.truncate(30000)
        inventory_hosts = {}
        for h in HOSTS:
            os.makedirs(self.path(h, "programfiles"))
            shutil.copy(os.path.join(build, "demo-package", "boards.json"), self.boards(h))
            environment = {"DFCSIM_BOARDS": self.boards(h), "ProgramFiles": self.path(h, "programfiles")}
            if h != LOST:
                environment["DFCSIM_TIMING"] = "off"
            inventory_hosts[h] = {
                "ansible_host": hosts.address(h),
                "winmarlo_dest": self.path(h, "work"),
                "winmarlo_environment": environment,
                "winmarlo_reboot_command": "%s %s %s" % (sys.executable, SIM_REBOOT, self.boards(h)),
            }
        inventory_hosts[HELD]["winmarlo_package"] = held_package
        inventory_hosts[WWN_HOST]["winmarlo_wwn"] = "10:00:00:10:DF:73:00:30"
        inventory = {"all": {"hosts": inventory_hosts, "vars": {
            "ansible_user": "root",
            "ansible_ssh_private_key_file": hosts.client_key,
            "ansible_ssh_common_args": hosts.ssh_args(),
            "ansible_python_interpreter": sys.executable,
            "ansible_remote_tmp": os.path.join(root, "remote-tmp"),
            "winmarlo_program": self.program,
            "winmarlo_extra_files": [self.library],
            "winmarlo_package": self.package,
            "winmarlo_report_dir": self.report,
            "winmarlo_reach_timeout": 5,
            "winmarlo_reboot_timeout": 60}}}
        self.inventory = os.path.join(root, "inventory.json")
        with open(self.inventory, "w", encoding="utf-8") as f:
            json.dump(inventory, f, indent=2)
        config = os.path.join(root, "ansible.cfg")
        with open(config, "w", encoding="utf-8") as f:
            f.write("[defaults]\n")
        # Ansible settings of its own: no configuration file of the user's, its files
        # under root, six hosts at once, the connection kept open between tasks.
        self.env = dict(os.environ, ANSIBLE_CONFIG=config, ANSIBLE_HOME=self.path("ansible-home"),
                        ANSIBLE_LOCAL_TEMP=self.path("ansible-tmp"), ANSIBLE_NOCOLOR="1",
                        ANSIBLE_RETRY_FILES_ENABLED="0", ANSIBLE_FORKS="6", ANSIBLE_PIPELINING="1",
                        ANSIBLE_SSH_ARGS="-o ControlMaster=auto -o ControlPersist=30s",
                        ANSIBLE_SSH_CONTROL_PATH_DIR=self.path("cp"), ANSIBLE_TIMEOUT="5")

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def boards(self, host):
        return self.path(host, "boards.json")

    def history(self, host):
        path = self.path(host, "programfiles", "Tavrel", "marlo", "history.jsonl")
        return [json.loads(line) for line in read_text(path).splitlines()] if os.path.exists(path) else []

    def state(self, host):
        """What the host keeps: its board file, its history and whether it has a work folder."""
        return (read_text(self.boards(host)), len(self.history(host)), os.path.exists(self.path(host, "work")))

    def rollout(self, name, *extra, batch=5):
        """Runs the playbook; returns its exit status, its output, the recap per host
        and the fleet report's (or, for a check, the plan's) rows."""
        command = ["ansible-playbook", "-i", self.inventory, PLAYBOOK, "-e", "winmarlo_max_fail_percentage=50",
                   "-e", "winmarlo_batch_size=%d" % batch] + list(extra)
        started = time.monotonic()
        log = self.path(name + ".log")
        # The output goes to a file as it comes, so that a run stopped by the time bound
        # still shows how far it got.
        with open(log, "w", encoding="utf-8") as out:
            process = subprocess.Popen(command, cwd=self.root, env=self.env, stdout=out, stderr=subprocess.STDOUT,
                                       stdin=subprocess.DEVNULL, text=True)
            try:
                status = process.wait(remaining())
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
                raise
        output = read_text(log)
        print("%s: ansible-playbook exited %d after %.0f s" % (name, status, time.monotonic() - started), flush=True)
        recap = {m.group(1): {k: int(v) for k, v in re.findall(r"(\w+)=(\d+)", m.group(2))}
                 for m in re.finditer(r"^(\S+)\s+: (ok=.*)$", output.split("PLAY RECAP")[-1], re.M)}
        base = "fleet-plan" if "--check" in extra else "fleet-report"
        rows = []
        csv_path = os.path.join(self.report, base + ".csv")
        if check(os.path.isfile(csv_path), name + ": %s.csv is written" % base):
            with open(csv_path, encoding="utf-8", newline="") as f:
                rows = list(csv.DictReader(f))
        return status, output, recap, rows


def rows_of(rows, host):
    return {(r["port_name"], r["component"]): r for r in rows if r["host"] == host}


def processes_in(folder):
    return ssh_fleet.processes_under(folder)


def syntax(fleet):
    for playbook in (PLAYBOOK, WINDOWS_SYNTAX):
        run = subprocess.run(["ansible-playbook", "-i", "localhost,", "--syntax-check", playbook],
                             cwd=fleet.root, env=fleet.env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             text=True, timeout=remaining())
        check(run.returncode == 0, "syntax check of %s:\n%s" % (playbook, run.stdout))


def check_mode(fleet):
    before = {h: fleet.state(h) for h in HOSTS}
    temporary = set(os.listdir(tempfile.gettempdir()))
    status, output, recap, rows = fleet.rollout("check", "--check", "--diff")
    check(status != 0, "check: ansible-playbook fails for the unreachable host")
    for h in HOSTS:
        check(fleet.state(h) == before[h], "check: %s is unchanged" % h)
    check(not {n for n in os.listdir(tempfile.gettempdir()) if n.startswith("winmarlo-plan-")} - temporary,
          "check: no temporary work folder is left")
    check(not os.path.exists(os.path.join(fleet.report, "fleet-report.csv")), "check: no fleet report, only the plan")
    check(read_text(os.path.join(fleet.report, "fleet-plan.md")).startswith("# winmarlo fleet plan (check mode"),
          "check: the plan's Markdown says it is a plan")
    plan = rows_of(rows, CANARY)
    want = {k: ("update", v[0], v[1]) for k, v in VERSIONS.items()}
    want.update({k: ("none", "12.4.210.4", "12.4.210.4") for k in UNTOUCHED})
    check({k: (r["outcome"], r["before"], r["after"]) for k, r in plan.items()} == want,
          "check: the canary's plan: %s" % {k: (r["outcome"], r["before"], r["after"]) for k, r in plan.items()})
    check(recap.get(CANARY, {}).get("changed", 0) > 0, "check: the canary would change: %s" % recap.get(CANARY))
    held = rows_of(rows, HELD)
    for port in LEGACY_PORTS:
        r = held.get((port, "firmware"), {})
        check(r.get("outcome") == "cannot update" and "no payload file holds version ZF282A4" in r.get("message", "")
              and DAMAGED in r.get("message", ""), "check: %s %s cannot be updated, the damaged image named: %s"
              % (HELD, port, r))
    down = list(rows_of(rows, DOWN).values())
    check([r["outcome"] for r in down] == ["unreachable"], "check: %s is reported unreachable: %s" % (DOWN, down))
    check(re.search(r"^-10000000DF410010 firmware: ZF280A2$", output, re.M)
          and re.search(r"^\+10000000DF410010 firmware: ZF282A4$", output, re.M),
          "check: --diff shows the firmware version before and after")


def cut_when_updating(fleet, hosts, done):
    """Pulls the lost host's cable as soon as its first component is in its history."""
    while not done.is_set() and time.monotonic() < DEADLINE:
        if fleet.history(LOST):
            hosts.set_link(LOST, False)
            print("the cable of %s is pulled after %d component(s)" % (LOST, len(fleet.history(LOST))), flush=True)
            return
        time.sleep(0.05)


def faulty_rollout(fleet, hosts):
    edit_boards(fleet.boards(CANARY), lambda b: b.get("card") == "ferrox-e200-bus7" and b.update(prgChangeStatus=1))
    untouched = {h: fleet.state(h) for h in ("h4", "h5", "h6")}
    done = threading.Event()
    cutter = threading.Thread(target=cut_when_updating, args=(fleet, hosts, done), daemon=True)
    cutter.start()
    try:
        status, output, recap, rows = fleet.rollout("faults", "-e", "winmarlo_reboot=true", batch=2)
    finally:
        done.set()
        cutter.join()
    check(status != 0, "faults: ansible-playbook fails")
    check(recap.get(CANARY, {}).get("failed", 1) == 0 and recap.get(CANARY, {}).get("changed", 0) > 0,
          "faults: the canary changed: %s" % recap.get(CANARY))
    canary = rows_of(rows, CANARY)
    check({k: (r["outcome"], r["verified"]) for k, r in canary.items() if k in VERSIONS}
          == {k: ("pending" if k[0] in E200_PORTS else "success", "yes") for k in VERSIONS},
          "faults: the canary's components updated and verified after the reboot: %s"
          % {k: (r["outcome"], r["verified"]) for k, r in canary.items()})
    state = read_json(os.path.join(fleet.report, "fleet-report.json"))["hosts"]
    check((state[CANARY]["result"], state[CANARY]["rebooted"], state[CANARY]["verified"]) == ("changed", True, "yes"),
          "faults: the canary changed, rebooted and verified: %s" % state[CANARY])
    check(state[DOWN]["result"] == "unreachable" and [r["outcome"] for r in state[DOWN]["components"]] == ["unreachable"],
          "faults: %s is reported unreachable: %s" % (DOWN, state[DOWN]))
    lost = rows_of(rows, LOST)
    check(state[LOST]["result"] == "unreachable" and set(lost) == set(VERSIONS) | UNTOUCHED
          and all(r["outcome"] == "unknown" for k, r in lost.items() if k in VERSIONS),
          "faults: %s is reported unreachable with its plan: %s %s" % (LOST, state[LOST]["message"], lost))
    check(re.search(r"%s was lost while winmarlo ran" % LOST, output), "faults: the lost host's failure says so")
    for h in ("h4", "h5", "h6"):
        check(state[h]["result"] == "not run" and h not in recap, "faults: the roll-out stopped before %s" % h)
        check(fleet.state(h) == untouched[h], "faults: %s untouched" % h)
    check("stopped before h4, h5, h6" in read_text(os.path.join(fleet.report, "fleet-report.md")),
          "faults: the report says where the roll-out stopped")

    # The program on the lost host goes on without its controller; the cable comes
    # back once it has ended.
    work = fleet.path(LOST, "work")
    while processes_in(work) and time.monotonic() < DEADLINE:
        time.sleep(0.2)
    check(not processes_in(work), "faults: the program on %s ends" % LOST)
    hosts.set_link(LOST, True)
    hosts.start_sshd(DOWN)


def recovery(fleet):
    lost_history = fleet.history(LOST)
    check(lost_history and all(r["resultCode"] == 0 for r in lost_history),
          "recovery: the lost host's program completed components: %s" % lost_history)
    held_before = fleet.state(HELD)
    status, output, recap, rows = fleet.rollout("recovery", "-e", "winmarlo_reboot=true")
    check(status != 0, "recovery: ansible-playbook fails for the held host")
    check(fleet.history(LOST) == lost_history,
          "recovery: nothing completed on %s is downloaded again: %s" % (LOST, fleet.history(LOST)[len(lost_history):]))
    lost = rows_of(rows, LOST)
    check(all(lost[k]["outcome"] in ("current", "success") and lost[k]["after"] == VERSIONS[k][1] for k in VERSIONS),
          "recovery: %s completed: %s" % (LOST, {k: (r["outcome"], r["after"]) for k, r in lost.items()}))
    for h in (DOWN, WWN_HOST, "h6"):
        check(recap.get(h, {}).get("changed", 0) > 0 and recap.get(h, {}).get("failed", 1) == 0,
              "recovery: %s changed: %s" % (h, recap.get(h)))
    check(recap.get(CANARY, {}).get("changed", 1) == 0, "recovery: the canary has nothing left to do: %s"
          % recap.get(CANARY))
    check(set(rows_of(rows, WWN_HOST)) == {(E300_PORT, "firmware")}, "recovery: %s updates its one port" % WWN_HOST)
    # The plan brought the program to the held host's work folder; its cards and its
    # history are as they were.
    check(recap.get(HELD, {}).get("failed") == 1 and fleet.state(HELD)[:2] == held_before[:2],
          "recovery: %s held, its boards and history untouched" % HELD)
    check(re.search(r"%s is held before anything is flashed: the package cannot update .*%s.*"
                    r"Debug log of the plan: \S+/hosts/%s/plan-debug.log" % (HELD, re.escape(DAMAGED), HELD), output),
          "recovery: the gate's message gives the reasons and the plan's debug log")
    return rows


def limited_partial(fleet, earlier):
    status, output, recap, rows = fleet.rollout("partial", "--limit", HELD, "-e", "winmarlo_accept_partial=true")
    check(status == 0 and recap.get(HELD, {}).get("changed", 0) > 0, "partial: %s changed: %s" % (HELD, recap))
    held = rows_of(rows, HELD)
    check({k: r["outcome"] for k, r in held.items() if k in VERSIONS}
          == {k: "failed" if k[0] in LEGACY_PORTS and k[1] == "firmware" else "success" for k in VERSIONS},
          "partial: all but the damaged image's components updated: %s" % {k: r["outcome"] for k, r in held.items()})
    check([r for r in rows if r["host"] != HELD] == [r for r in earlier if r["host"] != HELD],
          "partial: the other hosts' rows stay as they were")
    check(min(r["written"] for r in held.values()) > max(r["written"] for r in earlier if r["host"] == "h6")
          or min(r["written"] for r in held.values()) >= max(r["written"] for r in earlier if r["host"] == "h6"),
          "partial: the held host's rows are newer")


def inventory(fleet):
    status, output, recap, rows = fleet.rollout("inventory", "-e", "winmarlo_mode=inventory", "--tags",
                                                "inventory,report")
    check(status == 0, "inventory: ansible-playbook exits 0, not %d" % status)
    for h in HOSTS:
        counts = recap.get(h, {})
        check(counts.get("changed", 1) == 0 and counts.get("failed", 1) == 0,
              "inventory: %s ok without changes: %s" % (h, counts))
        got = rows_of(rows, h)
        # -wwn limits the inventory to that port too.
        want = {(E300_PORT, "firmware"), (E300_PORT, "bootCode")} if h == WWN_HOST else set(VERSIONS) | UNTOUCHED
        check(want <= set(got) and all(r["outcome"] == "inventory" for r in got.values()),
              "inventory: %s lists every component: %s" % (h, sorted(got)))


def failed_canary(fleet):
    # The canary's single-port card refuses every object write: its download fails (31).
    edit_boards(fleet.boards(CANARY), lambda b: b.get("name") == "ferrox-e300-port0"
                and b.update(faults=[{"opcode": "0xAC", "status": "0x1", "times": 0}]))
    untouched = {h: fleet.state(h) for h in HOSTS[1:]}
    status, output, recap, rows = fleet.rollout("canary", "-e", "winmarlo_mode=force")
    check(status != 0, "failed canary: ansible-playbook fails")
    check(recap.get(CANARY, {}).get("failed") == 1, "failed canary: the canary failed in the recap: %s" % recap)
    check(set(recap) <= {CANARY, "localhost"}, "failed canary: only the canary ran: %s" % sorted(recap))
    log = fleet.path("report", "hosts", CANARY, "debug.log")
    check(re.search(r"winmarlo exited with 4: Some updates failed\..*%s firmware: 31 Update failed\. "
                    r"The firmware download failed\..*Debug log: %s" % (E300_PORT, re.escape(log)), output)
          and os.path.isfile(log), "failed canary: the failure carries the summary's messages and the debug log's path")
    for h in HOSTS[1:]:
        check(fleet.state(h) == untouched[h], "failed canary: %s untouched" % h)


def main():
    build = os.path.abspath(sys.argv[1])
    if shutil.which("ansible-playbook") is None:
        print("ansible-playbook is missing: scripts/setup.sh installs ansible-core")
        return 1
    started = time.monotonic()
    # A stop from outside (ctest's time-out) still removes what the test made.
    signal.signal(signal.SIGTERM, lambda number, frame: sys.exit("stopped from outside"))
    ssh_fleet.remove_leftovers(tempfile.gettempdir())
    root = tempfile.mkdtemp(prefix=ssh_fleet.PREFIX + "-")
    try:
        try:
            hosts = ssh_fleet.SshHosts(os.path.join(root, "ssh"), HOSTS)
            os.makedirs(hosts.root)
            hosts.__enter__()
        except ssh_fleet.CannotRun as reason:
            print("SKIPPED: %s" % reason)
            return SKIP
        try:
            hosts.stop_sshd(DOWN)
            fleet = Fleet(os.path.join(root, "fleet"), build, hosts)
            syntax(fleet)
            for step in (check_mode, lambda f: faulty_rollout(f, hosts)):
                step(fleet)
            rows = recovery(fleet)
            limited_partial(fleet, rows)
            inventory(fleet)
            failed_canary(fleet)
        finally:
            hosts.__exit__(None, None, None)
        if failures:
            for name in ("check", "faults", "recovery", "partial", "inventory", "canary"):
                path = os.path.join(root, "fleet", name + ".log")
                if os.path.exists(path):
                    print("--- %s.log (end)" % name)
                    print("".join(read_text(path).splitlines(True)[-80:]))
    finally:
        ssh_fleet.kill_pids(ssh_fleet.processes_under(root))
        shutil.rmtree(root, ignore_errors=True)
    print("%s after %.0f s" % ("%d failed checks" % len(failures) if failures else "all checks passed",
                               time.monotonic() - started))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
