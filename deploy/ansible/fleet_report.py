#!/usr/bin/env python3
"""Fleet report of winmarlo roll-outs: one row per host, adapter and component, kept
across roll-outs.

Usage: fleet_report.py <report folder>, on standard input {"hosts": [names of the
play's hosts], "results": [the role's winmarlo_result of each host: {"outcome",
"status", "exitMessage", "rebootRequired", "rebooted", "verified", "plan", "writtenAt"},
or {} for a host the roll-out has not reached], "plan": true for a check-mode run}.

Reads each reached host's documents from <report folder>/hosts/<host>/ and merges its
rows by host into the state the earlier runs left (fleet-report.json; fleet-plan.json
for a plan): the hosts of this run replace their rows, the others keep theirs, each
row with the time it was written. Writes <base>.json, <base>.csv and <base>.md.
"""
import csv
import datetime
import io
import json
import os
import sys

COLUMNS = ["host", "port_name", "model", "component", "before", "after", "outcome",
           "result_code", "message", "verified", "written"]


def read_json(path):
    if not os.path.isfile(path):
        return None
    try:
        with open(path, encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError) as error:
        return {"exitMessage": "unreadable summary %s: %s" % (path, error)}


def version(part):
    return part.get("version", "") if isinstance(part, dict) else ""


def one_line(text):
    return " ".join(str(text).split())


def installed_after_reboot(folder):
    """(port name, component) -> installed version, from the inventory after a reboot."""
    found = {}
    for adapter in (read_json(os.path.join(folder, "verify.json")) or {}).get("adapters", []):
        for c in adapter.get("components", []):
            found[(adapter.get("portName"), c.get("component"))] = version(c.get("installed"))
    return found


def summary_rows(summary, verified):
    rows = []
    for adapter in summary.get("adapters", []):
        # An adapter the package does not update (supported: false) has no row.
        if adapter.get("supported") is False:
            continue
        for c in adapter.get("components", []):
            # An inventory's components carry no outcome: they were only listed.
            outcome = c.get("outcome", "inventory" if summary.get("mode") == "inventory" else "")
            before = version(c.get("installed"))
            # Packaged is what runs after a successful or pending update.
            after = version(c.get("packaged")) if outcome in ("success", "pending") else before
            key = (adapter.get("portName"), c.get("component"))
            check = ""
            if verified and outcome in ("success", "pending"):
                check = "yes" if verified.get(key) == after else "no (runs %s)" % verified.get(key, "nothing")
            rows.append({"port_name": adapter.get("portName", ""), "model": adapter.get("model", ""),
                         "component": c.get("component", ""), "before": before, "after": after,
                         "outcome": outcome, "result_code": c.get("resultCode", ""),
                         "message": one_line(c.get("message", "")), "verified": check})
    return rows


def plan_rows(plan, outcome=None, message=""):
    """Rows of a plan: its actions, or the given outcome (a host lost or held)."""
    rows = []
    for p in plan:
        planned = p.get("packaged", "") if p.get("action") == "update" else p.get("installed", "")
        rows.append({"port_name": p.get("portName", ""), "model": p.get("model", ""),
                     "component": p.get("component", ""), "before": p.get("installed", ""),
                     "after": planned, "outcome": outcome or p.get("action", ""), "result_code": "",
                     "message": one_line(p.get("reason", "") if outcome is None or not message else
                                         "%s%s" % (message, ("; " + p["reason"]) if p.get("reason") else "")),
                     "verified": ""})
    return rows


def host_record(folder, name, result, plan_run, previous, now):
    """The host's record from this run's result and documents."""
    outcome = result.get("outcome") or "failed"
    written = result.get("writtenAt") or now
    plan = result.get("plan") or []
    summary = None
    if not plan_run:
        summary = read_json(os.path.join(folder, "execution.json")) or read_json(os.path.join(folder, "inventory.json"))
    rows = []
    if plan_run:
        rows = plan_rows(plan)
    elif summary and summary.get("adapters"):
        rows = summary_rows(summary, installed_after_reboot(folder))
    elif plan and outcome == "unreachable":
        rows = plan_rows(plan, "unknown", "lost during the update; planned before it")
    elif plan:
        held = outcome == "failed" and any(p.get("action") == "cannot update" for p in plan)
        rows = plan_rows(plan, "not updated", "held by the gate" if held else "")
        if held and not result.get("exitMessage"):
            result = dict(result, exitMessage="held by the gate before anything was flashed: the package cannot "
                          "update " + ", ".join("%s %s" % (p.get("portName", ""), p.get("component", ""))
                                                for p in plan if p.get("action") == "cannot update"))
    elif outcome == "unreachable" and previous and any(r.get("port_name") for r in previous.get("components", [])):
        # Nothing new is known: the rows of the host's last report stay, with their times.
        kept = [dict(r) for r in previous["components"]]
        return {"host": name, "result": outcome, "status": result.get("status", ""),
                "message": one_line(result.get("exitMessage", "")) + " (components as reported at %s)"
                % previous.get("written", "?"),
                "rebootRequired": previous.get("rebootRequired", False), "rebooted": False, "verified": "",
                "written": written, "components": kept}
    for r in rows:
        r["written"] = written
    if not rows:
        # A host without adapter rows still gets one line, so that none is missed.
        rows = [{"port_name": "", "model": "", "component": "", "before": "", "after": "",
                 "outcome": "no adapters" if summary and "adapters" in summary else outcome,
                 "result_code": "", "message": one_line((summary or {}).get("exitMessage", "")),
                 "verified": "", "written": written}]
    return {"host": name, "result": outcome, "status": result.get("status", ""),
            "message": one_line(result.get("exitMessage", "") or (summary or {}).get("exitMessage", "")),
            "rebootRequired": flag(result.get("rebootRequired")), "rebooted": flag(result.get("rebooted")),
            "verified": result.get("verified", ""), "written": written, "components": rows}


def flag(value):
    return str(value).lower() in ("true", "yes", "1")


def write_atomically(path, text):
    temporary = path + ".tmp"
    with open(temporary, "w", encoding="utf-8", newline="") as f:
        f.write(text)
    os.replace(temporary, path)


def markdown_cell(value):
    return str(value).replace("|", "\\|").replace("\n", " ")


def markdown(state, plan_run):
    title = ("# winmarlo fleet plan (check mode: nothing was changed; each row says what an update would do)"
             if plan_run else "# winmarlo fleet report")
    md = [title, ""]
    last = state.get("lastRun", {})
    if last:
        md.append("Last roll-out: %s, %d host(s) reached%s." % (
            last.get("at", "?"), len(last.get("reached", [])),
            ("; stopped before " + ", ".join(last["notReached"])) if last.get("notReached") else ""))
        md.append("")
    md += ["| Host | Result | Exit status | Message | Reboot required | Rebooted | Verified | Written |",
           "|---|---|---|---|---|---|---|---|"]
    hosts = [state["hosts"][h] for h in sorted(state["hosts"])]
    for h in hosts:
        md.append("| " + " | ".join(markdown_cell(v) for v in (
            h["host"], h["result"], h["status"], h["message"], "yes" if h["rebootRequired"] else "no",
            "yes" if h["rebooted"] else "no", h["verified"], h["written"])) + " |")
    md += ["", "| Host | Port name | Model | Component | Before → after | Outcome | Code | Message | Verified | Written |",
           "|---|---|---|---|---|---|---|---|---|---|"]
    for h in hosts:
        for r in h["components"]:
            change = r["before"] if r["before"] == r["after"] else "%s → %s" % (r["before"], r["after"])
            md.append("| " + " | ".join(markdown_cell(v) for v in (
                h["host"], r["port_name"], r["model"], r["component"], change, r["outcome"],
                r["result_code"], r["message"], r["verified"], r["written"])) + " |")
    return "\n".join(md) + "\n"


def main():
    folder = sys.argv[1]
    given = json.load(sys.stdin)
    plan_run = bool(given.get("plan"))
    base = os.path.join(folder, "fleet-plan" if plan_run else "fleet-report")
    state = read_json(base + ".json")
    if not isinstance(state, dict) or not isinstance(state.get("hosts"), dict):
        state = {"hosts": {}}
    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
    reached, not_reached = [], []
    for name, result in zip(given["hosts"], given["results"]):
        previous = state["hosts"].get(name)
        if not result:
            not_reached.append(name)
            if previous is None:
                state["hosts"][name] = {
                    "host": name, "result": "not run", "status": "", "message": "the roll-out stopped before this host",
                    "rebootRequired": False, "rebooted": False, "verified": "", "written": now,
                    "components": [{"port_name": "", "model": "", "component": "", "before": "", "after": "",
                                    "outcome": "not run", "result_code": "", "message": "", "verified": "",
                                    "written": now}]}
            continue
        reached.append(name)
        state["hosts"][name] = host_record(os.path.join(folder, "hosts", name), name, result, plan_run, previous, now)
    state["lastRun"] = {"at": now, "reached": reached, "notReached": not_reached}

    write_atomically(base + ".json", json.dumps(state, indent=1) + "\n")
    out = io.StringIO()
    writer = csv.DictWriter(out, fieldnames=COLUMNS, lineterminator="\n")
    writer.writeheader()
    for name in sorted(state["hosts"]):
        for r in state["hosts"][name]["components"]:
            writer.writerow({"host": name, **{k: r.get(k, "") for k in COLUMNS[1:]}})
    write_atomically(base + ".csv", out.getvalue())
    write_atomically(base + ".md", markdown(state, plan_run))


if __name__ == "__main__":
    main()
