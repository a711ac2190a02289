"""Hosts for the roll-out test that Ansible reaches over SSH: each host is a network
namespace with one end of a veth pair, whose other end is on a bridge made for the
test, an address of its own in a private /24 and its own sshd (Debian's
openssh-server) with a host key made by the test; the controller logs in with a client
key made by the test. Everything is named with PREFIX, so that what a killed earlier
run left can be found and removed.

Only the addresses of these hosts are contacted; the namespaces have no route
anywhere else.
"""
import ipaddress
import os
import re
import shutil
import signal
import subprocess
import time

PREFIX = "wmfleet"
SSHD = "/usr/sbin/sshd"
# The /24 the hosts live in: the first of these that no interface of this machine uses
# and no route covers.
SUBNETS = ["10.231.%d.0/24" % n for n in range(40, 60)]


class CannotRun(Exception):
    """Namespaces cannot be made here (not root, no CAP_NET_ADMIN)."""


def run(*argv, check=True):
    return subprocess.run(list(argv), check=check, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, timeout=60)


def namespaces():
    out = run("ip", "netns", "list", check=False).stdout
    return [line.split()[0] for line in out.splitlines() if line.split()]


def links():
    out = run("ip", "-o", "link", "show", check=False).stdout
    return [m.group(1) for m in re.finditer(r"^\d+: ([^:@]+)[:@]", out, re.M)]


def kill_pids(pids):
    """SIGTERM, then SIGKILL after a short wait, to the given processes."""
    pids = [p for p in pids if p != os.getpid()]
    for sig in (signal.SIGTERM, signal.SIGKILL):
        for pid in pids:
            try:
                os.kill(pid, sig)
            except ProcessLookupError:
                pass
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline and any(os.path.exists("/proc/%d" % p) for p in pids):
            time.sleep(0.1)


def processes_under(folder):
    """Processes whose command line or working folder names folder (the test's own
    temporary folder): sshd, ssh control masters, winmarlo runs of the test."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                cmdline = f.read().decode("utf-8", "replace")
            cwd = os.readlink("/proc/%s/cwd" % entry)
        except OSError:
            continue
        if folder in cmdline or cwd == folder or cwd.startswith(folder + "/"):
            found.append(int(entry))
    return found


def remove_leftovers(tmp_parent):
    """Removes what a killed earlier run of this test left: its namespaces (and the
    processes in them), its links and its temporary folders."""
    for ns in namespaces():
        if ns.startswith(PREFIX + "-"):
            pids = [int(p) for p in run("ip", "netns", "pids", ns, check=False).stdout.split() if p.isdigit()]
            kill_pids(pids)
            run("ip", "netns", "delete", ns, check=False)
    for link in links():
        if link.startswith(PREFIX):
            run("ip", "link", "delete", link, check=False)
    for name in os.listdir(tmp_parent):
        if name.startswith(PREFIX + "-"):
            folder = os.path.join(tmp_parent, name)
            kill_pids(processes_under(folder))
            shutil.rmtree(folder, ignore_errors=True)


def free_subnet():
    used = run("ip", "-o", "-4", "addr", "show", check=False).stdout + run("ip", "-4", "route", "show", "table", "all",
                                                                              check=False).stdout
    taken = [ipaddress.ip_network(m, strict=False) for m in re.findall(r"\b(\d+\.\d+\.\d+\.\d+(?:/\d+)?)\b", used)]
    for text in SUBNETS:
        subnet = ipaddress.ip_network(text)
        if not any(subnet.overlaps(t) for t in taken if t.prefixlen > 0):
            return subnet
    raise CannotRun("no free /24 among %s" % ", ".join(SUBNETS))


class SshHosts:
    """The namespaces, the bridge, the keys and one sshd per host. Use as a context
    manager: leaving it removes everything it made, also after a failure."""

    def __init__(self, root, names):
        self.root = root
        self.names = list(names)
        self.bridge = PREFIX + "-br"
        self.sshd = {}
        self.made_run_sshd = False
        self.subnet = None

    # Names of what belongs to host number i (1-based): veth ends at most 15 characters.
    def ns(self, name):
        return "%s-%s" % (PREFIX, name)

    def outer_link(self, name):
        return "%s-%s" % (PREFIX, name)

    def address(self, name):
        return str(self.subnet.network_address + 10 + self.names.index(name) + 1)

    def __enter__(self):
        if os.geteuid() != 0:
            raise CannotRun("not root: network namespaces cannot be made")
        probe = run("ip", "netns", "add", PREFIX + "-probe", check=False)
        if probe.returncode != 0:
            raise CannotRun("a network namespace cannot be made here (no CAP_NET_ADMIN?): %s" % probe.stdout.strip())
        run("ip", "netns", "delete", PREFIX + "-probe", check=False)
        # Where namespaces can be made, a missing sshd is a set-up fault, not a reason to skip.
        if not os.access(SSHD, os.X_OK) or shutil.which("ssh") is None or shutil.which("ssh-keygen") is None:
            raise RuntimeError("%s, ssh or ssh-keygen is missing: scripts/setup.sh installs openssh-server "
                               "and openssh-client" % SSHD)
        try:
            self._make()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def _make(self):
        self.subnet = free_subnet()
        gateway = str(self.subnet.network_address + 1)
        run("ip", "link", "add", self.bridge, "type", "bridge")
        run("ip", "addr", "add", "%s/24" % gateway, "dev", self.bridge)
        run("ip", "link", "set", self.bridge, "up")
        # sshd wants its privilege-separation folder; made here only when missing.
        if not os.path.isdir("/run/sshd"):
            os.makedirs("/run/sshd", mode=0o755)
            self.made_run_sshd = True
        self.client_key = os.path.join(self.root, "client_key")
        run("ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", "winmarlo-fleet-test", "-f", self.client_key)
        self.known_hosts = os.path.join(self.root, "known_hosts")
        known = []
        for name in self.names:
            ns, outer = self.ns(name), self.outer_link(name)
            run("ip", "netns", "add", ns)
            run("ip", "link", "add", outer, "type", "veth", "peer", "name", "eth0", "netns", ns)
            run("ip", "link", "set", outer, "master", self.bridge)
            run("ip", "link", "set", outer, "up")
            run("ip", "-n", ns, "addr", "add", "%s/24" % self.address(name), "dev", "eth0")
            run("ip", "-n", ns, "link", "set", "eth0", "up")
            run("ip", "-n", ns, "link", "set", "lo", "up")
            folder = os.path.join(self.root, "sshd-" + name)
            os.makedirs(folder)
            key = os.path.join(folder, "host_key")
            run("ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", name, "-f", key)
            with open(key + ".pub", encoding="utf-8") as f:
                known.append("%s %s" % (self.address(name), " ".join(f.read().split()[:2])))
            with open(os.path.join(folder, "sshd_config"), "w", encoding="utf-8") as f:
                f.write("\n".join([
                    "ListenAddress %s" % self.address(name), "Port 22", "HostKey %s" % key,
                    "PidFile %s" % os.path.join(folder, "sshd.pid"),
                    "AuthorizedKeysFile %s.pub" % self.client_key,
                    "PermitRootLogin prohibit-password", "PasswordAuthentication no",
                    "KbdInteractiveAuthentication no", "UsePAM no", "StrictModes no",
                    "Subsystem sftp internal-sftp", "MaxStartups 50", "LogLevel ERROR", ""]))
        with open(self.known_hosts, "w", encoding="utf-8") as f:
            f.write("\n".join(known) + "\n")
        for name in self.names:
            self.start_sshd(name)

    def start_sshd(self, name):
        folder = os.path.join(self.root, "sshd-" + name)
        self.sshd[name] = subprocess.Popen(
            ["ip", "netns", "exec", self.ns(name), SSHD, "-D", "-f", os.path.join(folder, "sshd_config"),
             "-E", os.path.join(folder, "sshd.log")], stdin=subprocess.DEVNULL)
        # Ready when the port answers inside the namespace.
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            if self.sshd[name].poll() is not None:
                raise RuntimeError("sshd of %s ended at once: %s" % (name, open(os.path.join(folder, "sshd.log")).read()))
            probe = run("ip", "netns", "exec", self.ns(name), "ss", "-Hltn", "src", self.address(name), check=False)
            if ":22" in probe.stdout:
                return
            time.sleep(0.1)
        raise RuntimeError("sshd of %s does not listen" % name)

    def stop_sshd(self, name):
        process = self.sshd.pop(name, None)
        if process is not None:
            process.terminate()
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait(10)

    def set_link(self, name, up):
        """Sets the host's cable, the bridge end of its veth pair, up or down."""
        run("ip", "link", "set", self.outer_link(name), "up" if up else "down")

    def ssh_args(self):
        """ssh options of the inventory: this test's keys and known hosts only, no user
        configuration, and a lost host found within seconds."""
        return ("-F /dev/null -o IdentitiesOnly=yes -o StrictHostKeyChecking=yes -o UserKnownHostsFile=%s "
                "-o ServerAliveInterval=2 -o ServerAliveCountMax=3 -o ConnectTimeout=5" % self.known_hosts)

    def __exit__(self, kind, value, traceback):
        for name in list(self.sshd):
            self.stop_sshd(name)
        for name in self.names:
            ns = self.ns(name)
            if ns in namespaces():
                pids = [int(p) for p in run("ip", "netns", "pids", ns, check=False).stdout.split() if p.isdigit()]
                kill_pids(pids)
                run("ip", "netns", "delete", ns, check=False)
        for link in links():
            if link.startswith(PREFIX):
                run("ip", "link", "delete", link, check=False)
        kill_pids(processes_under(self.root))
        if self.made_run_sshd:
            shutil.rmtree("/run/sshd", ignore_errors=True)
        return False
