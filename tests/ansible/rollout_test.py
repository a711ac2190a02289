#!/usr/bin/env python3
"""Runs the Ansible roll-out (deploy/ansible/rollout.yml) for real against simulated
hosts on this machine and reads what it left: the PLAY RECAP, the fleet report's CSV
rows, the board files and the hosts' folders.

Each host is this machine (ansible_connection=local) with its own copy of the demo
boards, its own program-files folder (soft VPD files and run lock) and its own work
folder. Three roll-outs and an inventory:
  1. a clean roll-out over five hosts in batches [1, 2, 2]; one host's dual-port card
     needs a reboot to run its new firmware (the reboot command sets the board file's
     "reboot" flag), one host updates one port chosen by -wwn: every host changed;
  2. the same again: every host ok, every component current (the rebooted card runs
     the new firmware; without the reboot it would be skipped as awaiting one);
     then an inventory of the same hosts: nothing changed, every row "inventory";
  3. fresh hosts whose canary's card refuses the firmware write: the canary fails
     with the program's messages and no other host is touched.

Before them, `ansible-playbook --syntax-check` reads the playbook and the role's
Windows tasks (tests/ansible/windows_syntax.yml), resolving their modules.

Usage: rollout_test.py <build folder>   (the program, libdfc.so and demo-package)
"""
import csv
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PLAYBOOK = os.path.join(SOURCE, "deploy", "ansible", "rollout.yml")
SIM_REBOOT = os.path.join(SOURCE, "tests", "ansible", "sim_reboot.py")
WINDOWS_SYNTAX = os.path.join(SOURCE, "tests", "ansible", "windows_syntax.yml")
HOSTS = ["h1", "h2", "h3", "h4", "h5"]
REBOOT_HOST, WWN_HOST = "h3", "h5"
E200_PORTS = {"10000010DF720020", "10000010DF720021"}
E300_PORT = "10000010DF730030"
# Installed and packaged versions of the demo boards' components.
VERSIONS = {("10000000DF410010", "firmware"): ("ZF280A2", "ZF282A4"),
            ("10000000DF410010", "bootCode"): ("ZU503A13", "ZU503X3"),
            ("10000000DF410011", "firmware"): ("ZF280A2", "ZF282A4"),
            ("10000000DF410011", "bootCode"): ("ZU503A13", "ZU503X3"),
            ("10000000DF510050", "firmware"): ("UD201A10", "UD201A12"),
            ("10000000DF510050", "bootCode"): ("UU503A13", "UU503X3"),
            ("10000010DF720020", "firmware"): ("11.0.270.18", "11.2.216.9"),
            ("10000010DF720021", "firmware"): ("11.0.270.18", "11.2.216.9"),
            (E300_PORT, "firmware"): ("11.0.270.18", "11.2.216.9")}

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED: " + what)
    return condition


def edit_boards(path, change):
    with open(path, encoding="utf-8") as f:
        boards = json.load(f)
    for board in boards["boards"]:
        change(board)
    with open(path, "w", encoding="utf-8") as f:
        json.dump(boards, f, indent=2)


def read_json(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def ansible_environment(root):
    """Ansible settings of its own: no configuration file of the user's, its temporary
    files under root."""
    config = os.path.join(root, "ansible.cfg")
    with open(config, "w", encoding="utf-8") as f:
        f.write("[defaults]\n")
    return dict(os.environ, ANSIBLE_CONFIG=config, ANSIBLE_HOME=os.path.join(root, "ansible-home"),
                ANSIBLE_LOCAL_TEMP=os.path.join(root, "ansible-tmp"),
                ANSIBLE_NOCOLOR="1", ANSIBLE_RETRY_FILES_ENABLED="0")


def syntax(root):
    env = ansible_environment(root)
    for playbook in (PLAYBOOK, WINDOWS_SYNTAX):
        run = subprocess.run(["ansible-playbook", "-i", "localhost,", "--syntax-check", playbook],
                             cwd=root, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             text=True, timeout=300)
        check(run.returncode == 0, "syntax check of %s:\n%s" % (playbook, run.stdout))


class Fleet:
    """Five simulated hosts in a folder, their inventory and the Ansible settings."""

    def __init__(self, root, build, host_vars=None):
        self.root = root
        self.report = os.path.join(root, "report")
        hosts = {}
        for h in HOSTS:
            os.makedirs(self.path(h))
            shutil.copy(os.path.join(build, "demo-package", "boards.json"), self.boards(h))
            hosts[h] = {
                "winmarlo_dest": self.path(h, "work"),
                "winmarlo_environment": {"DFCSIM_BOARDS": self.boards(h),
                                         "ProgramFiles": self.path(h, "programfiles"),
                                         "DFCSIM_TIMING": "off"},
                "winmarlo_reboot_command": "%s %s %s" % (sys.executable, SIM_REBOOT, self.boards(h)),
                **(host_vars or {}).get(h, {}),
            }
        inventory = {"all": {"hosts": hosts, "vars": {
            "ansible_connection": "local",
            "ansible_python_interpreter": "{{ ansible_playbook_python }}",
            "winmarlo_program": os.path.join(build, "winmarlo"),
            "winmarlo_extra_files": [os.path.join(build, "libdfc.so")],
            "winmarlo_package": os.path.join(build, "demo-package"),
            "winmarlo_report_dir": self.report}}}
        self.inventory = os.path.join(root, "inventory.json")
        with open(self.inventory, "w", encoding="utf-8") as f:
            json.dump(inventory, f, indent=2)
        self.env = ansible_environment(root)

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def boards(self, host):
        return self.path(host, "boards.json")

    def rollout(self, name, *extra):
        """Runs the playbook; returns its exit status, its output, the recap per host
        and the fleet report's rows."""
        command = ["ansible-playbook", "-i", self.inventory, PLAYBOOK,
                   "-e", "winmarlo_batch_size=2"] + list(extra)
        run = subprocess.run(command, cwd=self.root, env=self.env, stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, text=True, timeout=600)
        with open(self.path(name + ".log"), "w", encoding="utf-8") as f:
            f.write(run.stdout)
        recap = {m.group(1): {k: int(v) for k, v in re.findall(r"(\w+)=(\d+)", m.group(2))}
                 for m in re.finditer(r"^(\S+)\s+: (ok=.*)$", run.stdout.split("PLAY RECAP")[-1], re.M)}
        rows = []
        csv_path = os.path.join(self.report, "fleet-report.csv")
        if check(os.path.isfile(csv_path), name + ": the fleet report's CSV is written"):
            with open(csv_path, encoding="utf-8", newline="") as f:
                rows = list(csv.DictReader(f))
        return run.returncode, run.stdout, recap, rows


def rows_of(rows, host):
    return [r for r in rows if r["host"] == host]


def first_and_second_rollout(fleet):
    # The dual-port card of the reboot host asks for a reboot after its firmware write.
    edit_boards(fleet.boards(REBOOT_HOST), lambda b: b.get("card") == "ferrox-e200-bus7"
                and b.update(prgChangeStatus=1))

    status, output, recap, rows = fleet.rollout("first", "-e", "winmarlo_reboot=true")
    check(status == 0, "first roll-out: ansible-playbook exits 0, not %d" % status)
    for h in HOSTS:
        counts = recap.get(h, {})
        check(counts.get("changed", 0) > 0 and counts.get("failed", 1) == 0,
              "first roll-out: %s changed and not failed in the recap, got %s" % (h, counts))
        expected = {(E300_PORT, "firmware")} if h == WWN_HOST else set(VERSIONS)
        got = {(r["port_name"], r["component"]): r for r in rows_of(rows, h)}
        check(set(got) == expected, "first roll-out: %s reports %s" % (h, sorted(got)))
        for key, r in got.items():
            pending = h == REBOOT_HOST and key[0] in E200_PORTS
            want = ("pending" if pending else "success", "37" if pending else "0") + VERSIONS.get(key, ("", ""))
            check((r["outcome"], r["result_code"], r["before"], r["after"]) == want,
                  "first roll-out: %s %s %s is %s, expected %s" % (h, key[0], key[1],
                  (r["outcome"], r["result_code"], r["before"], r["after"]), want))
        rebooted = read_json(fleet.boards(h)).get("reboot", False)
        check(rebooted == (h == REBOOT_HOST), "first roll-out: %s rebooted: %s" % (h, rebooted))
    check(re.search(r"^\| %s \| changed \| 0 \| .* \| yes \| yes \|$" % REBOOT_HOST,
                    open(os.path.join(fleet.report, "fleet-report.md"), encoding="utf-8").read(), re.M),
          "first roll-out: the Markdown report says %s needed and got a reboot" % REBOOT_HOST)

    status, output, recap, rows = fleet.rollout("second", "-e", "winmarlo_reboot=true")
    check(status == 0, "second roll-out: ansible-playbook exits 0, not %d" % status)
    for h in HOSTS:
        counts = recap.get(h, {})
        check(counts.get("changed", 1) == 0 and counts.get("failed", 1) == 0 and counts.get("ok", 0) > 0,
              "second roll-out: %s ok without changes in the recap, got %s" % (h, counts))
        for r in rows_of(rows, h):
            check(r["outcome"] == "current" and r["before"] == r["after"] == VERSIONS[(r["port_name"], r["component"])][1],
                  "second roll-out: %s %s %s is current at the packaged version: %s" % (h, r["port_name"], r["component"], r))
        check(len(rows_of(rows, h)) == (1 if h == WWN_HOST else len(VERSIONS)),
              "second roll-out: %s has its rows" % h)
        check("reboot" not in read_json(fleet.boards(h)), "second roll-out: %s was not rebooted again" % h)

    # An inventory of the same fleet changes nothing; its rows say "inventory" and give
    # the versions the components now hold.
    status, output, recap, rows = fleet.rollout("inventory", "-e", "winmarlo_mode=inventory")
    check(status == 0, "inventory roll-out: ansible-playbook exits 0, not %d" % status)
    for h in HOSTS:
        counts = recap.get(h, {})
        check(counts.get("changed", 1) == 0 and counts.get("failed", 1) == 0,
              "inventory roll-out: %s ok without changes in the recap, got %s" % (h, counts))
        got = {(r["port_name"], r["component"]): (r["outcome"], r["before"], r["after"]) for r in rows_of(rows, h)}
        # Every component is listed, those the package updates at the packaged version
        # (the Ferrox cards' boot code too, which the package leaves as it is).
        updated = {(E300_PORT, "firmware")} if h == WWN_HOST else set(VERSIONS)
        check(updated <= set(got) and all(o == "inventory" and before == after for o, before, after in got.values())
              and all(got[k][1] == VERSIONS[k][1] for k in updated),
              "inventory roll-out: %s lists every component, at the packaged version where updated: %s" % (h, got))


def failed_canary(fleet):
    # The canary's single-port card refuses every object write: its download fails (31).
    edit_boards(fleet.boards(HOSTS[0]), lambda b: b.get("name") == "ferrox-e300-port0"
                and b.update(faults=[{"opcode": "0xAC", "status": "0x1", "times": 0}]))
    untouched = {h: open(fleet.boards(h), encoding="utf-8").read() for h in HOSTS[1:]}
    status, output, recap, rows = fleet.rollout("canary")
    check(status != 0, "failed canary: ansible-playbook fails")
    check(recap.get(HOSTS[0], {}).get("failed") == 1, "failed canary: the canary failed in the recap: %s" % recap)
    check(set(recap) <= {HOSTS[0], "localhost"}, "failed canary: only the canary ran: %s" % sorted(recap))
    check(re.search(r"winmarlo exited with 4: Some updates failed\..*%s firmware: 31 Update failed\. The firmware download failed\."
                    % E300_PORT, output),
          "failed canary: the failure carries the summary's messages")
    canary = {(r["port_name"], r["component"]): r["outcome"] for r in rows_of(rows, HOSTS[0])}
    check(canary == {**{k: "success" for k in VERSIONS}, (E300_PORT, "firmware"): "failed"},
          "failed canary: the canary's rows: %s" % canary)
    for h in HOSTS[1:]:
        check([r["outcome"] for r in rows_of(rows, h)] == ["not run"], "failed canary: %s not run in the report" % h)
        check(not os.path.exists(fleet.path(h, "work")) and open(fleet.boards(h), encoding="utf-8").read() == untouched[h],
              "failed canary: %s untouched" % h)


def main():
    build = os.path.abspath(sys.argv[1])
    if shutil.which("ansible-playbook") is None:
        print("ansible-playbook is missing: scripts/setup.sh installs ansible-core")
        return 1
    with tempfile.TemporaryDirectory(prefix="winmarlo-ansible-") as root:
        syntax(root)
        first_and_second_rollout(Fleet(os.path.join(root, "fleet"), build,
                                       {WWN_HOST: {"winmarlo_wwn": "10:00:00:10:DF:73:00:30"}}))
        failed_canary(Fleet(os.path.join(root, "canary"), build))
        if failures:
            for log in ("fleet/first.log", "fleet/second.log", "fleet/inventory.log", "canary/canary.log"):
                path = os.path.join(root, log)
                if os.path.exists(path):
                    print("--- %s (end)" % log)
                    print("".join(open(path, encoding="utf-8").readlines()[-60:]))
    print("%d failed checks" % len(failures) if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
