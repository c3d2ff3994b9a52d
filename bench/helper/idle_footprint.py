#!/usr/bin/python3
"""The idle helper's resident memory: obxhelper started headless with one virtual trackball of obxkernd,
measured once it has served its trackball and stood idle. Beside it, from the same run, a bare process
(`sleep`, the C library alone) and obxkernd; and where the helper's memory goes, by mapping. Exits 1 when
the helper is above 12 MiB.

    bench/helper/idle_footprint.py [--bin-dir build/bin] [--idle SECONDS] [--runs N]
"""

import argparse
import collections
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

TARGET_KIB = 12 * 1024


def resident(pid):
    with open(f"/proc/{pid}/status") as status:
        fields = dict(line.split(":", 1) for line in status)
    return {key: int(fields[key].split()[0]) for key in ("VmRSS", "RssAnon", "RssFile")}


def by_mapping(pid):
    sizes = collections.Counter()
    name = ""
    with open(f"/proc/{pid}/smaps") as smaps:
        for line in smaps:
            parts = line.split()
            if "-" in parts[0] and len(parts) >= 5 and not parts[0].endswith(":"):
                name = parts[5] if len(parts) > 5 else "[anonymous]"
            elif parts[0] == "Rss:":
                sizes[os.path.basename(name)] += int(parts[1])
    return sizes


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def one_run(bin_dir, idle):
    with tempfile.TemporaryDirectory(prefix="obx-footprint-") as work:
        runtime = os.path.join(work, "run")
        private = os.path.join(work, "xdg-runtime")
        os.mkdir(private, 0o700)
        port = free_port()
        daemon = subprocess.Popen([os.path.join(bin_dir, "obxkernd"), "--runtime-dir", runtime, "--virtual",
                                   "--log-level", "warning"])
        bare = subprocess.Popen(["sleep", "60"])
        environment = dict(os.environ, DISPLAY="", XDG_CONFIG_HOME=os.path.join(work, "config"),
                           OBX_RUNTIME_DIR=runtime, OBX_HTTP_PORT=str(port), XDG_SESSION_ID=f"footprint{os.getpid()}",
                           XDG_RUNTIME_DIR=private, DBUS_SYSTEM_BUS_ADDRESS="unix:path=" + work + "/no-bus",
                           DBUS_SESSION_BUS_ADDRESS="unix:path=" + work + "/no-bus")
        helper = None
        try:
            while not os.path.exists(os.path.join(runtime, "control-01")):
                time.sleep(0.01)
            helper = subprocess.Popen([os.path.join(bin_dir, "obxhelper")], env=environment,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + 10
            while True:
                try:
                    with urllib.request.urlopen(f"http://127.0.0.1:{port}/devices", timeout=1) as answer:
                        if b'"present":true' in answer.read():
                            break
                except OSError:
                    pass
                if time.monotonic() > deadline:
                    raise SystemExit("idle_footprint: the helper did not serve its trackball within 10 s")
                time.sleep(0.05)
            time.sleep(idle)
            return (resident(helper.pid), resident(bare.pid), resident(daemon.pid), by_mapping(helper.pid))
        finally:
            for process in (helper, bare, daemon):
                if process is not None:
                    process.terminate()
                    process.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin-dir", default=os.path.join(os.path.dirname(__file__), "..", "..", "build", "bin"))
    parser.add_argument("--idle", type=float, default=3, help="seconds idle before measuring (default 3)")
    parser.add_argument("--runs", type=int, default=3)
    options = parser.parse_args()
    runs = [one_run(options.bin_dir, options.idle) for _ in range(options.runs)]
    helper = statistics.median(r[0]["VmRSS"] for r in runs)
    anon = statistics.median(r[0]["RssAnon"] for r in runs)
    bare = statistics.median(r[1]["VmRSS"] for r in runs)
    daemon = statistics.median(r[2]["VmRSS"] for r in runs)
    print(f"idle obxhelper, headless, one trackball (median of {options.runs} runs, {options.idle:g} s idle)")
    print(f"  obxhelper resident {helper / 1024:.1f} MiB (anonymous {anon / 1024:.1f} MiB), "
          f"{helper / TARGET_KIB:.2f}x the 12 MiB goal")
    print(f"  baseline, same run: sleep {bare / 1024:.1f} MiB ({helper / bare:.1f}x), "
          f"obxkernd {daemon / 1024:.1f} MiB ({helper / daemon:.1f}x)")
    print("  largest mappings of the last run (KiB resident):")
    for name, size in runs[-1][3].most_common(12):
        print(f"    {size:6d}  {name}")
    return 0 if helper <= TARGET_KIB else 1


if __name__ == "__main__":
    sys.exit(main())
