#!/usr/bin/env python3
"""Fleet report of a winmarlo roll-out: one row per host, adapter and component.

Usage: fleet_report.py <report folder>, on standard input {"hosts": [names], "results":
[the role's winmarlo_result of each host: {"outcome", "status", "rebootRequired",
"rebooted"}, or {} for a host the roll-out has not reached]}. Reads each host's JSON summary from
<report folder>/hosts/<host>/ and writes fleet-report.csv and fleet-report.md there.
"""
import csv
import io
import json
import os
import sys

COLUMNS = ["host", "port_name", "model", "component", "before", "after", "outcome",
           "result_code", "message"]


def read_summary(folder):
    for name in ("execution.json", "inventory.json"):
        path = os.path.join(folder, name)
        if os.path.isfile(path):
            try:
                with open(path, encoding="utf-8") as f:
                    return json.load(f)
            except (OSError, ValueError) as error:
                return {"exitMessage": "unreadable summary: %s" % error}
    return None


def version(part):
    return part.get("version", "") if isinstance(part, dict) else ""


def component_rows(host, summary):
    rows = []
    for adapter in summary.get("adapters", []):
        for c in adapter.get("components", []):
            # An inventory's components carry no outcome: they were only listed.
            outcome = c.get("outcome", "inventory" if summary.get("mode") == "inventory" else "")
            before = version(c.get("installed"))
            # Packaged is what runs after a successful or pending update.
            after = version(c.get("packaged")) if outcome in ("success", "pending") else before
            rows.append({"host": host, "port_name": adapter.get("portName", ""),
                         "model": adapter.get("model", ""), "component": c.get("component", ""),
                         "before": before, "after": after, "outcome": outcome,
                         "result_code": c.get("resultCode", ""),
                         "message": " ".join(str(c.get("message", "")).split())})
    return rows


def flag(value):
    return str(value).lower() in ("true", "yes", "1")


def write_atomically(path, text):
    temporary = path + ".tmp"
    with open(temporary, "w", encoding="utf-8", newline="") as f:
        f.write(text)
    os.replace(temporary, path)


def markdown_cell(value):
    return str(value).replace("|", "\\|").replace("\n", " ")


def main():
    folder = sys.argv[1]
    given = json.load(sys.stdin)
    rows, host_lines = [], []
    for name, h in zip(given["hosts"], given["results"]):
        summary = read_summary(os.path.join(folder, "hosts", name))
        outcome = h.get("outcome") or "not run"
        host_rows = component_rows(name, summary) if summary else []
        if not host_rows:
            # A host without adapter rows still gets one line, so that none is missed.
            host_rows = [{"host": name, "port_name": "", "model": "", "component": "",
                          "before": "", "after": "",
                          "outcome": "no adapters" if summary else outcome,
                          "result_code": "", "message": (summary or {}).get("exitMessage", "")}]
        rows += host_rows
        host_lines.append([name, outcome, h.get("status", ""),
                           (summary or {}).get("exitMessage", ""),
                           "yes" if flag(h.get("rebootRequired")) else "no",
                           "yes" if flag(h.get("rebooted")) else "no"])

    out = io.StringIO()
    writer = csv.DictWriter(out, fieldnames=COLUMNS, lineterminator="\n")
    writer.writeheader()
    writer.writerows(rows)
    write_atomically(os.path.join(folder, "fleet-report.csv"), out.getvalue())

    md = ["# winmarlo fleet report", "",
          "| Host | Result | Exit status | Message | Reboot required | Rebooted |",
          "|---|---|---|---|---|---|"]
    md += ["| " + " | ".join(markdown_cell(v) for v in line) + " |" for line in host_lines]
    md += ["", "| Host | Port name | Model | Component | Before → after | Outcome | Code | Message |",
           "|---|---|---|---|---|---|---|---|"]
    for r in rows:
        change = r["before"] if r["before"] == r["after"] else "%s → %s" % (r["before"], r["after"])
        md.append("| " + " | ".join(markdown_cell(v) for v in (
            r["host"], r["port_name"], r["model"], r["component"], change, r["outcome"],
            r["result_code"], r["message"])) + " |")
    write_atomically(os.path.join(folder, "fleet-report.md"), "\n".join(md) + "\n")


if __name__ == "__main__":
    main()
