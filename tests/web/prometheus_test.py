#!/usr/bin/python3
# The station's metrics through a real Prometheus: Debian's server scrapes a
# station with three simulated bays (one unit falls silent) every second, and
# its query API must count the units the records hold, result by result;
# promtool accepts a scrape.
#   prometheus_test.py KAVRO-CLI KAVRO-SIM
import collections
import json
import os
import socket
import subprocess
import sys
import urllib.parse
import urllib.request

from station_run import StationRun, check, skip_without, wait_for

PROMETHEUS, PROMTOOL = "/usr/bin/prometheus", "/usr/bin/promtool"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_prometheus(run):
    port = free_port()
    config = os.path.join(run.dir, "prometheus.yml")
    with open(config, "w") as f:
        f.write("global:\n  scrape_interval: 1s\nscrape_configs:\n  - job_name: kavro\n"
                "    static_configs:\n      - targets: ['127.0.0.1:%d']\n" % run.port)
    server = subprocess.Popen([PROMETHEUS, "--config.file=" + config, "--storage.tsdb.path=" + run.dir + "/tsdb",
                               "--web.listen-address=127.0.0.1:%d" % port],
                              stdout=subprocess.DEVNULL, stderr=open(run.dir + "/prometheus.log", "w"))
    return server, port


def query(port, expression):
    url = "http://127.0.0.1:%d/api/v1/query?query=%s" % (port, urllib.parse.quote(expression))
    try:
        with urllib.request.urlopen(url, timeout=5) as reply:
            return json.load(reply)["data"]["result"]
    except OSError:
        return None  # not listening yet


def units_by_result(port):
    series = query(port, "kavro_units_total") or []
    return {s["metric"]["result"]: int(float(s["value"][1])) for s in series if float(s["value"][1]) > 0}


def main():
    skip_without(PROMETHEUS, "prometheus")
    skip_without(PROMTOOL, "prometheus")
    with StationRun(sys.argv[1], sys.argv[2], 3) as run:
        run.start_sim("--fault-bay", "1", "--silence-after-blocks", "4")
        run.start_station("--station-name", "line9-st4", "--leave-after", "3600")
        wait_for(lambda: len(run.stored_records()) == 3, 60, "a record from each bay")
        stored = collections.Counter(r["result"] for r in run.stored_records())
        check(stored["passed"] == 2 and len(stored) == 2, "records %s" % stored)

        server, port = start_prometheus(run)
        try:
            wait_for(lambda: units_by_result(port) == dict(stored), 60,
                     "Prometheus' kavro_units_total to match the records %s (last: %s)"
                     % (dict(stored), units_by_result(port)))
            labels = query(port, "kavro_units_total")[0]["metric"]
            check(labels["station"] == "line9-st4" and labels["job"] == "kavro", "labels %s" % labels)
            check(query(port, "kavro_build_info"), "no kavro_build_info")
        finally:
            server.terminate()
            server.wait(20)

        status, metrics = run.request("/metrics")
        check(status == 200, "GET /metrics answered %d" % status)
        lint = subprocess.run([PROMTOOL, "check", "metrics"], input=metrics, capture_output=True, text=True)
        check(lint.returncode == 0, "promtool check metrics: " + lint.stdout + lint.stderr)
        check(run.alive(), "the station ended: " + run.read("station.err"))
    print("Prometheus counted %s, as the records do; promtool accepts the metrics" % dict(stored))


if __name__ == "__main__":
    main()
