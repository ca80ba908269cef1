# A running `kavro-cli station --http` against kavro-sim's bays, for the web
# console's tests: the simulator, the station, its address and token, the API
# and the records, all in one temporary folder that goes with it.
import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import urllib.error
import urllib.request

SKIP = 77  # ctest's SKIP_RETURN_CODE for these tests


def wait_for(condition, timeout, what):
    """Polls condition until it holds; raises naming what was awaited."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.05)


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def skip_without(path, why):
    """Ends the test as skipped when a tool is missing, except in CI, whose set-up installs it."""
    if os.path.exists(path):
        return
    if os.environ.get("CI"):
        raise AssertionError(path + " is missing (" + why + ")")
    print("skipped: " + path + " is missing (" + why + ")")
    raise SystemExit(SKIP)


class StationRun:
    def __init__(self, cli, sim, bays):
        self.cli, self.sim, self.bays = cli, sim, bays
        self.dir = tempfile.mkdtemp(prefix="kavro-web-")
        self.records = os.path.join(self.dir, "records.sqlite")
        self.sim_proc = None
        self.station = None
        self.port = 0
        self.token = ""

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()

    def bay(self, index):
        return os.path.join(self.dir, "bay%d" % index)

    def start_sim(self, *extra):
        log = open(os.path.join(self.dir, "sim.log"), "w")
        self.sim_proc = subprocess.Popen([self.sim, "--bays", str(self.bays), "--link-dir", self.dir, "-q", *extra],
                                         stdout=log, stderr=subprocess.STDOUT)
        wait_for(lambda: "Simulated bays:" in self.read("sim.log"), 10, "kavro-sim's bays")

    def start_station(self, *extra):
        """Starts the station (the sim may come later: its bays wait for their ports)."""
        args = [self.cli, "station", "--records", self.records, "--json", "--http", "127.0.0.1:0", *extra]
        for i in range(self.bays):
            args += ["--bay", self.bay(i)]
        self.station = subprocess.Popen(args, stdout=open(os.path.join(self.dir, "events.jsonl"), "w"),
                                        stderr=open(os.path.join(self.dir, "station.err"), "w"))
        line = re.compile(r"Web console: http://127\.0\.0\.1:(\d+)/ \(the control token is in ([^)]+)\)")
        match = wait_for(lambda: line.search(self.read("station.err")) or self.station.poll() is not None, 10,
                         "the web console's address")
        check(match is not True and self.station.poll() is None, "the station ended: " + self.read("station.err"))
        self.port = int(match.group(1))
        with open(match.group(2)) as token:
            self.token = token.readline().strip()

    def read(self, name):
        try:
            with open(os.path.join(self.dir, name), errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def request(self, path, method="GET", token=None, timeout=10):
        """(status, body as JSON or text) of one request."""
        headers = {"Authorization": "Bearer " + token} if token else {}
        req = urllib.request.Request(self.url(path), method=method, headers=headers,
                                     data=b"" if method == "POST" else None)
        try:
            with urllib.request.urlopen(req, timeout=timeout) as reply:
                status, body, kind = reply.status, reply.read(), reply.headers.get("Content-Type", "")
        except urllib.error.HTTPError as error:
            status, body, kind = error.code, error.read(), error.headers.get("Content-Type", "")
        text = body.decode("utf-8", "replace")
        return status, json.loads(text) if kind.startswith("application/json") else text

    def bay_states(self):
        return [b["state"] for b in self.request("/api/v1/bays")[1]["bays"]]

    def stored_records(self):
        out = subprocess.run([self.cli, "records", "--records", self.records, "--json"], check=True,
                             capture_output=True, text=True).stdout
        return [json.loads(line) for line in out.splitlines() if line.strip()]

    def alive(self):
        return self.station is not None and self.station.poll() is None

    def close(self):
        for proc, sig in ((self.station, signal.SIGINT), (self.sim_proc, signal.SIGTERM)):
            if proc and proc.poll() is None:
                proc.send_signal(sig)
                try:
                    proc.wait(20)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        shutil.rmtree(self.dir, ignore_errors=True)
