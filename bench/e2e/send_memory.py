#!/usr/bin/env python3
"""Peak memory of `tellavo send` against the size of its request body.

Starts the gateway simulator, sends 1 000, 10 000 and 100 000 short messages
(a CSV file each) with the tellavo client, and prints for each the body of
the sending request as it arrived, the client's peak resident memory (from
the kernel's accounting of the finished process) and their ratio.

    bench/e2e/send_memory.py [build/posix/bin/tellavo] [COUNT ...]
"""
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import time
import urllib.request

ROOT = pathlib.Path(__file__).resolve().parents[2]
SIMULATOR = ROOT / "tools" / "simulator" / "gateway_simulator.py"
TEXT = "Sayın müşterimiz, kargonuz yola çıktı & yarın teslim edilecek."


def control(port, call, method="GET"):
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    request = urllib.request.Request(f"http://127.0.0.1:{port}/_sim/{call}", method=method)
    return json.load(opener.open(request))


def start_simulator(workdir):
    ready = workdir / "sim.json"
    process = subprocess.Popen([sys.executable, str(SIMULATOR), "--port", "0",
                                "--ready-file", str(ready)])
    for _ in range(300):
        if ready.exists():
            return process, json.loads(ready.read_text())["port"]
        time.sleep(0.1)
    process.terminate()
    sys.exit("the simulator did not start")


def send(tellavo, port, csv):
    """Runs one send; returns the client's peak resident memory in bytes."""
    environment = dict(os.environ, https_proxy=f"http://127.0.0.1:{port}",
                       http_proxy=f"http://127.0.0.1:{port}")
    environment.pop("no_proxy", None)
    environment.pop("NO_PROXY", None)
    client = subprocess.Popen(
        [tellavo, "send", "--user", "tellavo", "--vendor", "42", "--password-stdin",
         "--originator", "TELLAVO", "--csv", str(csv)],
        stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, env=environment)
    client.stdin.write(b"s3cret\n")
    client.stdin.close()
    _, status, usage = os.wait4(client.pid, 0)
    client.returncode = os.waitstatus_to_exitcode(status)
    if client.returncode != 0:
        sys.exit(f"tellavo send failed with status {client.returncode}")
    return usage.ru_maxrss * 1024


def main():
    tellavo = sys.argv[1] if len(sys.argv) > 1 else str(
        ROOT / "build" / "posix" / "bin" / "tellavo")
    counts = [int(count) for count in sys.argv[2:]] or [1000, 10000, 100000]
    with tempfile.TemporaryDirectory() as folder:
        workdir = pathlib.Path(folder)
        simulator, port = start_simulator(workdir)
        try:
            print(f"{'messages':>9} {'body MB':>9} {'peak MB':>9} {'peak/body':>9}")
            for count in counts:
                csv = workdir / f"{count}.csv"
                csv.write_text("".join(f"90555{i:07d},\"{TEXT}\"\n" for i in range(count)),
                               encoding="utf-8")
                control(port, "requests", "DELETE")
                peak = send(tellavo, port, csv)
                body = max(entry["content_length"] or 0
                           for entry in control(port, "requests")["requests"])
                control(port, "reset", "POST")
                print(f"{count:>9} {body / 1e6:>9.2f} {peak / 1e6:>9.1f} {peak / body:>9.2f}")
        finally:
            simulator.terminate()
            simulator.wait()


if __name__ == "__main__":
    main()
