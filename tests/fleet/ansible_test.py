#!/usr/bin/env python3
"""ansible_test.py --build BUILD [--corpus DIR] [--program PATH] [--keep]

The Ansible role of deploy/ansible with Debian's ansible against three
throw-away machines of the end-to-end harness (tests/posix), each with
drives and fonts of its own:
  revises   the main package's three fonts, old revisions: revised (exit 3)
  nothing   only near misses of them: nothing to revise (exit 0)
  fails     the three fonts and a /tmp too small for the second one's
            temporary file, the harness's write-fails layout: exit 1
(A read-only drive would not do for the failing one: the program does not
search read-only file systems, and would end with 0.)

Each machine runs sshd on 127.0.0.1:22 of its own network namespace, with a
host key and root's authorized key made here; ssh reaches it through a
ProxyCommand that enters that namespace (nsenter ... nc). Three plays:
  1. every font revised on "revises", a restart pending and not made;
     "nothing" unchanged; "fails" failed with its log's last lines; every log
     fetched to the controller; the drives read back from their images.
  2. after the machines were restarted: "revises" and "nothing" unchanged,
     "fails" failed again (it stays in the inventory), the drives as before.
  3. with "revises" back at its old fonts and opentype_updater_reboot on:
     the restart (a stand-in that only counts restarts) is made on
     "revises" alone.
--program deploys another program than the main package's (its layout must
be the main package's). Needs root (namespaces, loop devices); exits 77
without it.
"""
import argparse
import json
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parents[1]
sys.path.insert(0, str(ROOT / "tests" / "posix"))
import e2e  # noqa: E402
from e2e import Failure, check  # noqa: E402

PLAYBOOK = ROOT / "deploy" / "ansible" / "site.yml"
TOOLS = ("ansible-playbook", "sshd", "ssh", "ssh-keygen", "nc", "nsenter", "ip", "unshare", "mkfs.ext4",
         "debugfs", "losetup")
# Where the program's log lies on a machine: its report folder, which
# outlives the machine's restarts (its root file system does not).
LOG = "/report/opentype-updater.log"
SSH = "/report/ssh"
LOG_LINES = 15          # the role's default opentype_updater_log_lines
EXIT_LINE = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ exit (\d+): ")
# The restart of a machine, as the reboot task sees it: a restart only
# counted, in the machine's /run, and a boot time that is that count.
RESTARTS = "/run/otu-restarts"
RESTART_STAND_IN = f"/bin/sh -c 'echo restart >> {RESTARTS}'"
BOOT_TIME = f"cat {RESTARTS} 2>/dev/null | wc -l"
START_GUARD_S = 30      # sshd answers by then
STOP_GUARD_S = 30       # a stopped machine has ended by then
PLAY_GUARD_S = 300      # a play has ended by then

# sshd as the machine's one service, in its network namespace, whose
# loopback the sandbox leaves down.
SSHD_COMMAND = f"ip link set lo up && mkdir -m 700 /run/sshd && exec /usr/sbin/sshd -D -e -f {SSH}/sshd_config"
SSHD_CONFIG = f"""ListenAddress 127.0.0.1:22
HostKey {SSH}/host_key
AuthorizedKeysFile {SSH}/authorized_keys
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
PrintMotd no
PidFile none
Subsystem sftp internal-sftp
# What the sandbox gives the programs it starts, which a login does not inherit.
SetEnv FONTCONFIG_FILE=/opt/otu/fonts.conf LANG=C.UTF-8
"""


def keygen(path, comment):
    e2e.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", comment, "-f", str(path)])
    return path.with_suffix(".pub").read_text().strip()


class Machine:
    """A throw-away machine of the harness (an e2e.Bed) that serves ssh: its
    drives and report folder outlive it, so it can be stopped, its drives
    read, and started again as after a restart."""

    def __init__(self, harness, name, controller_key):
        self.name = name
        self.bed = e2e.Bed(harness, name, "main")
        self.ssh = self.bed.root / "report" / "ssh"
        self.ssh.mkdir(mode=0o700)
        self.host_key = keygen(self.ssh / "host_key", name)
        (self.ssh / "authorized_keys").write_text(controller_key + "\n")
        (self.ssh / "sshd_config").write_text(SSHD_CONFIG)
        self.process = None
        self.init = None
        self.runs = 0           # runs of the program whose lines its log holds

    def inside(self, path):
        """A path of the running machine's root file system, seen from here."""
        return pathlib.Path(f"/proc/{self.init}/root{path}")

    def log(self):
        path = self.bed.root / "report" / pathlib.Path(LOG).name
        return path.read_bytes() if path.exists() else b""

    def start(self):
        command, env = self.bed.sandbox(["/bin/sh", "-c", SSHD_COMMAND])
        with open(self.bed.root / "sandbox.log", "ab") as log:
            self.process = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL, stdout=log,
                                            stderr=subprocess.STDOUT)
        deadline = time.monotonic() + START_GUARD_S
        while True:
            check(self.process.poll() is None, f"{self.name} ended ({self.process.returncode}) as it started:\n"
                  + self.bed.log_text()[-2000:])
            found = e2e.children(self.process.pid)
            if found:
                self.init = found[0]
                answer = subprocess.run(["nsenter", f"--net=/proc/{self.init}/ns/net", "nc", "-z", "127.0.0.1", "22"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=START_GUARD_S)
                if answer.returncode == 0:
                    break
            check(time.monotonic() < deadline, f"sshd of {self.name} did not answer in {START_GUARD_S} s:\n"
                  + self.bed.log_text()[-2000:])
            time.sleep(0.05)
        # A machine of a fleet has the role's default folder for the program.
        folder = self.inside("/var/tmp")
        folder.mkdir(parents=True)
        folder.chmod(0o1777)

    def stop(self):
        """sshd ends, and with it the machine: its init unmounts the drives,
        which are read back then."""
        try:
            for child in e2e.children(self.init):
                os.kill(child, signal.SIGTERM)
            rc = self.process.wait(STOP_GUARD_S)
        except subprocess.TimeoutExpired:
            raise Failure(f"{self.name} did not end in {STOP_GUARD_S} s")
        finally:
            self.kill()
        check(rc == 0, f"{self.name} ended with {rc}:\n{self.bed.log_text()[-2000:]}")
        self.bed.read_drives()

    def kill(self):
        """Ends whatever runs: the init's end ends every process of the
        machine, and the drives' loop devices detach."""
        if self.process is not None and self.process.poll() is None:
            for child in e2e.children(self.process.pid):
                os.kill(child, signal.SIGKILL)
            self.process.wait(STOP_GUARD_S)
        self.process = None


class Fleet:
    def __init__(self, work, harness, program):
        self.work = work
        self.program = program
        controller = work / "controller"
        controller.mkdir()
        self.key = controller / "id_ed25519"
        public = keygen(self.key, "controller")
        self.machines = {name: Machine(harness, name, public) for name in ("revises", "nothing", "fails")}
        self.known_hosts = controller / "known_hosts"
        self.known_hosts.write_text("".join(f"{name} {m.host_key}\n" for name, m in self.machines.items()))
        self.plays = 0

    def inventory(self):
        """Every running machine, reached through its own network namespace."""
        hosts = {}
        for name, machine in self.machines.items():
            proxy = f"nsenter --net=/proc/{machine.init}/ns/net nc 127.0.0.1 22"
            hosts[name] = {"ansible_ssh_common_args": " ".join([
                "-F /dev/null", f"-o ProxyCommand='{proxy}'", f"-o HostKeyAlias={name}",
                f"-o UserKnownHostsFile={self.known_hosts}", "-o GlobalKnownHostsFile=/dev/null",
                "-o StrictHostKeyChecking=yes", "-o IdentitiesOnly=yes", "-o BatchMode=yes"])}
        path = self.work / "inventory.yml"
        path.write_text(json.dumps({"all": {"hosts": hosts, "vars": {
            "ansible_host": "127.0.0.1", "ansible_user": "root", "ansible_python_interpreter": "/usr/bin/python3",
            "ansible_ssh_private_key_file": str(self.key)}}}))
        return path

    def play(self, reboot=False):
        """ansible-playbook site.yml on every machine: its JSON account."""
        self.plays += 1
        fetched = self.work / f"logs-{self.plays}"
        settings = {"opentype_updater_program": str(self.program), "opentype_updater_log": LOG,
                    "opentype_updater_fetch_dir": str(fetched), "opentype_updater_reboot": reboot,
                    "opentype_updater_reboot_command": RESTART_STAND_IN,
                    "opentype_updater_boot_time_command": BOOT_TIME}
        # No configuration but this: none of the machine's or the user's.
        config = self.work / "ansible.cfg"
        config.touch()
        env = dict(os.environ, ANSIBLE_CONFIG=str(config), ANSIBLE_HOME=str(self.work / "ansible"),
                   ANSIBLE_LOCAL_TEMP=str(self.work / "ansible" / "tmp"), ANSIBLE_STDOUT_CALLBACK="ansible.posix.json",
                   ANSIBLE_RETRY_FILES_ENABLED="0", ANSIBLE_NOCOLOR="1", ANSIBLE_PIPELINING="1",
                   # No master connection that outlives the play.
                   ANSIBLE_SSH_ARGS="-o ControlMaster=no")
        command = ["ansible-playbook", "-i", str(self.inventory()), str(PLAYBOOK), "-e", json.dumps(settings)]
        process = subprocess.Popen(command, cwd=self.work, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   start_new_session=True)
        try:
            out, err = process.communicate(timeout=PLAY_GUARD_S)
        except subprocess.TimeoutExpired:
            raise Failure(f"play {self.plays} did not end in {PLAY_GUARD_S} s")
        finally:
            # ssh and its ProxyCommand with it.
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGKILL)
                process.communicate()
        (self.work / f"play-{self.plays}.json").write_bytes(out)
        try:
            account = json.loads(out)
        except json.JSONDecodeError:
            raise Failure(f"play {self.plays} ({process.returncode}) wrote no JSON account:\n"
                          f"{out.decode(errors='replace')[-3000:]}\n{err.decode(errors='replace')[-3000:]}")
        # The machine "fails" fails every play, which ansible-playbook tells.
        check(process.returncode == 2, f"play {self.plays} ended with {process.returncode}, not 2 (a host failed)")
        for machine in self.machines.values():
            machine.runs += 1
        return Play(self.plays, account, fetched)

    def start(self):
        for machine in self.machines.values():
            machine.start()

    def stop(self):
        for machine in self.machines.values():
            machine.stop()

    def kill(self):
        for machine in self.machines.values():
            machine.kill()


class Play:
    def __init__(self, number, account, fetched):
        self.number, self.fetched = number, fetched
        self.stats = account["stats"]
        self.tasks = [task for play in account["plays"] for task in play["tasks"]]

    def results(self, task):
        """Each host's result of the role's task named `task`."""
        found = [t["hosts"] for t in self.tasks if t["task"]["name"] == f"opentype_updater : {task}"]
        check(len(found) == 1, f"play {self.number}: task {task!r} ran {len(found)} times")
        return found[0]

    def expect(self, host, state, rc, changes=1):
        """The host's recap and the program's exit status: "unchanged",
        "changed" (by `changes` tasks) or "failed"."""
        stats = self.stats.get(host)
        check(stats is not None and stats["unreachable"] == 0, f"play {self.number}: {host} unreachable: {stats}")
        wanted = {"unchanged": (0, 0), "changed": (changes, 0), "failed": (0, 1)}[state]
        check((stats["changed"], stats["failures"]) == wanted,
              f"play {self.number}: {host} {stats}, expected {state}")
        run = self.results("Run the program").get(host, {})
        check(run.get("rc") == rc, f"play {self.number}: the program on {host} ended with {run.get('rc')}, "
              f"expected {rc}: {run.get('stderr', '')}")
        check(run.get("changed") == (state == "changed"), f"play {self.number}: run on {host} changed: {run}")

    def report(self, host):
        return self.results("Report").get(host, {}).get("msg", "")


def expect_logs(play, machines):
    """Every host's log fetched as it is on the host, its last line the exit
    line of this play's run."""
    runs = play.results("Run the program")
    for name, machine in machines.items():
        fetched = play.fetched / name / pathlib.Path(LOG).name
        check(fetched.is_file(), f"play {play.number}: no log of {name} fetched to {fetched}")
        log = machine.log()
        check(fetched.read_bytes() == log, f"play {play.number}: the fetched log of {name} is not its log")
        lines = log.decode("utf-8").splitlines()
        last = EXIT_LINE.match(lines[-1]) if lines else None
        check(last is not None and int(last.group(1)) == runs[name]["rc"],
              f"play {play.number}: last line of {name}'s log {lines[-1:]}, exit {runs[name]['rc']}")
        exits = [line for line in lines if EXIT_LINE.match(line)]
        check(len(exits) == machine.runs, f"play {play.number}: {name}'s log holds {len(exits)} runs, "
              f"not {machine.runs}")


def expect_failure_shown(play, machine):
    """The failed host's failure names the exit status and shows the log's
    last lines."""
    failure = play.results("Fail where the updater did not succeed").get(machine.name, {})
    message = failure.get("msg", "")
    check(failure.get("failed") and message.startswith("opentype-updater exited 1: a font could not be revised."),
          f"play {play.number}: failure of {machine.name}: {failure}")
    last = machine.log().decode("utf-8").splitlines()[-LOG_LINES:]
    check(message.endswith("\n".join(last)), f"play {play.number}: the failure of {machine.name} does not end with "
          f"its log's last {LOG_LINES} lines:\n{message}\n---\n" + "\n".join(last))


def expect_restarts(fleet, wanted):
    for name, machine in fleet.machines.items():
        path = machine.inside(RESTARTS)
        made = len(path.read_text().splitlines()) if path.exists() else 0
        check(made == wanted.get(name, 0), f"{name} was restarted {made} times, expected {wanted.get(name, 0)}")


def expect_program_removed(fleet):
    for name, machine in fleet.machines.items():
        left = sorted(p.name for p in machine.inside("/var/tmp").iterdir())
        check(not left, f"left in /var/tmp of {name}: {left}")


def lay_out(fleet):
    revises, nothing, fails = (fleet.machines[n].bed for n in ("revises", "nothing", "fails"))
    revises.main_fonts()
    revises.expect_fonts_revised()
    nothing.decoys()
    fails.main_fonts()
    # The first font's temporary file fits into /tmp, the second's does not.
    fails.tmp_size = "2m"
    fails.expect(fails.layout["fonts"][0], "new")
    for machine in fleet.machines.values():
        machine.bed.make_images()


def step(text):
    print(f"PASS {text}", flush=True)


def scenario(fleet):
    machines = fleet.machines
    fleet.start()
    first = fleet.play()
    first.expect("revises", "changed", 3)
    first.expect("nothing", "unchanged", 0)
    first.expect("fails", "failed", 1)
    check("a restart is pending" in first.report("revises"), f"report of revises: {first.report('revises')!r}")
    check(first.report("nothing").startswith("unchanged"), f"report of nothing: {first.report('nothing')!r}")
    restart = first.results("Restart the host for its revised fonts")
    check(all(restart.get(n, {}).get("skipped") for n in ("revises", "nothing")) and "fails" not in restart,
          f"play 1 restarted, with opentype_updater_reboot off: {restart}")
    expect_failure_shown(first, machines["fails"])
    expect_logs(first, machines)
    expect_program_removed(fleet)
    expect_restarts(fleet, {})
    fleet.stop()
    for machine in machines.values():
        machine.bed.check_files()
    step("play 1: revises changed, a restart pending; nothing unchanged; fails failed with its log's end; "
         "logs fetched; the fonts on the drives as expected")

    fleet.start()
    second = fleet.play()
    second.expect("revises", "unchanged", 0)
    second.expect("nothing", "unchanged", 0)
    second.expect("fails", "failed", 1)
    expect_failure_shown(second, machines["fails"])
    expect_logs(second, machines)
    fleet.stop()
    for machine in machines.values():
        machine.bed.check_files()
    step("play 2: revises and nothing unchanged, fails failed again; the drives as after play 1")

    machines["revises"].bed.make_images()
    fleet.start()
    third = fleet.play(reboot=True)
    # The run and the restart.
    third.expect("revises", "changed", 3, changes=2)
    third.expect("nothing", "unchanged", 0)
    third.expect("fails", "failed", 1)
    restart = third.results("Restart the host for its revised fonts")
    check(restart.get("revises", {}).get("rebooted") is True and restart.get("nothing", {}).get("skipped")
          and "fails" not in restart, f"play 3 restarts: {restart}")
    check("the host was restarted" in third.report("revises"), f"report of revises: {third.report('revises')!r}")
    expect_restarts(fleet, {"revises": 1})
    expect_logs(third, machines)
    fleet.stop()
    machines["revises"].bed.check_files()
    step("play 3, opentype_updater_reboot on: the restart made on revises alone, its fonts revised again")


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--build", type=pathlib.Path, required=True)
    parser.add_argument("--corpus", type=pathlib.Path, default=ROOT / "build" / "corpus")
    parser.add_argument("--program", type=pathlib.Path)
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()
    if os.geteuid() != 0:
        print("SKIP: the sandbox needs root (namespaces, loop devices)")
        return 77
    build = args.build.resolve()
    program = (args.program or build / "bin" / "scenarios" / "main" / "opentype-updater").resolve()
    missing = [tool for tool in TOOLS if shutil.which(tool) is None]
    problem = (f"missing {', '.join(missing)} (scripts/lib.sh host_packages)" if missing else
               e2e.preconditions(build, args.corpus.resolve(), None, {"main"}, None))
    if problem is None and not program.is_file():
        problem = f"missing {program}"
    if problem:
        print(problem, file=sys.stderr)
        return 2
    # ctest ends a test that overruns with SIGTERM: still tear down.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    work = pathlib.Path(tempfile.mkdtemp(prefix="otu-fleet-"))
    began = time.monotonic()
    fleet = None
    try:
        harness = e2e.Harness(build, args.corpus.resolve(), work / "machines", None)
        fleet = Fleet(work, harness, program)
        lay_out(fleet)
        scenario(fleet)
    except (Failure, subprocess.SubprocessError, OSError) as error:
        print(f"FAIL {error}", flush=True)
        return 1
    finally:
        if fleet is not None:
            fleet.kill()
        if args.keep:
            print(f"work folder kept: {work}")
        else:
            shutil.rmtree(work, ignore_errors=True)
        print(f"fleet: {time.monotonic() - began:.0f} s", flush=True)
    print("fleet: 3 plays on 3 machines passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
