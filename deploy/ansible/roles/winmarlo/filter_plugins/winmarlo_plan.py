"""The plan of an update: what `winmarlo -u` would do to each component of a host,
read from an inventory's JSON summary (`-inv -json`), the versions the package's
payload files decode to (`-e`) and the host's last execution summary.

    {{ inventory_summary | winmarlo_plan(decoded, last_execution) }}

decoded: [{"file", "version"}] with version "" for a file that could not be decoded.
Each plan row: portName, model, component, installed, packaged (version texts, ""
for none), action and reason. Actions:
  update          the package's family differs from the installed one: installed -> packaged
  current         the component is at the package's family: nothing to download
  pending reboot  the last update wrote it and waits for a reboot to run it
  none            the package has nothing for this component: left as it is
  cannot update   the package names a version no payload file holds (none, or only
                  files that cannot be decoded): reason says which
"""
import json


def _version(part):
    return part.get("version", "") if isinstance(part, dict) else ""


def _family(part):
    return part.get("family", "") if isinstance(part, dict) else ""


def winmarlo_plan(summary, decoded=None, last_execution=None):
    decoded = decoded or []
    versions = {d.get("version") for d in decoded if d.get("version")}
    damaged = sorted(d.get("file", "") for d in decoded if not d.get("version"))
    waiting = set()
    for adapter in (last_execution or {}).get("adapters", []):
        for c in adapter.get("components", []):
            if c.get("outcome") == "pending":
                waiting.add((adapter.get("portName"), c.get("component"), _version(c.get("packaged"))))
    rows = []
    for adapter in (summary or {}).get("adapters", []):
        # An adapter the package does not update (supported: false) has no plan.
        if adapter.get("supported") is False:
            continue
        for c in adapter.get("components", []):
            installed, packaged = c.get("installed"), c.get("packaged")
            row = {"portName": adapter.get("portName", ""), "model": adapter.get("model", ""),
                   "component": c.get("component", ""), "installed": _version(installed),
                   "packaged": _version(packaged), "reason": ""}
            if not packaged:
                row["action"] = "none"
                row["reason"] = "the package has nothing for this component"
            elif _family(installed) == _family(packaged) and row["installed"] == row["packaged"]:
                row["action"] = "current"
            elif (row["portName"], row["component"], row["packaged"]) in waiting:
                row["action"] = "pending reboot"
                row["reason"] = "written by the last update; runs after a reboot"
            elif decoded and row["packaged"] not in versions:
                row["action"] = "cannot update"
                row["reason"] = "no payload file holds version %s" % row["packaged"] + (
                    " (damaged: %s cannot be decoded)" % ", ".join(damaged) if damaged else
                    " (no image for it in the package)")
            else:
                row["action"] = "update"
            rows.append(row)
    return rows


def winmarlo_plan_output(lines, images):
    """Reads the output of the plan's call (tasks/posix/plan.yml): a line "<status>
    <file> <version>" for each of the images payload files, then the last execution
    summary and the inventory's summary, one line each. Returns {"decoded": [{"file",
    "version"}] with "" for a file that could not be decoded, "last", "inventory"}."""
    lines = list(lines or [])
    decoded = []
    for line in lines[:images]:
        status, _, rest = line.partition(" ")
        name, _, text = rest.partition(" ")
        decoded.append({"file": name, "version": text.strip() if status == "0" else ""})

    def summary(index):
        try:
            value = json.loads(lines[index])
            return value if isinstance(value, dict) else {}
        except (IndexError, ValueError):
            return {}
    return {"decoded": decoded, "last": summary(images), "inventory": summary(images + 1)}


def winmarlo_versions(plan, which, summary=None):
    """One line per planned component, "<port name> <component>: <version>", for
    --diff: which is "before" (installed), "planned" (packaged where the plan updates)
    or "after" (packaged where the execution summary says success or pending)."""
    done = {}
    for adapter in (summary or {}).get("adapters", []):
        for c in adapter.get("components", []):
            if c.get("outcome") in ("success", "pending"):
                done[(adapter.get("portName"), c.get("component"))] = _version(c.get("packaged"))
    lines = []
    for row in plan or []:
        version = row["installed"]
        if which == "planned" and row["action"] == "update":
            version = row["packaged"]
        elif which == "after":
            version = done.get((row["portName"], row["component"]), version)
        lines.append("%s %s: %s\n" % (row["portName"], row["component"], version))
    return "".join(lines)


def winmarlo_component_keys(adapters, outcome):
    """"<port name> <component>" of each component of a summary's adapters with that
    outcome."""
    return ["%s %s" % (a.get("portName", ""), c.get("component", ""))
            for a in adapters or [] for c in a.get("components", []) if c.get("outcome") == outcome]


def winmarlo_unverified(summary, inventory):
    """The components an update wrote (success or pending) that the inventory after the
    reboot does not show at the package's version: "<port> <component> runs X, not Y"."""
    found = {}
    for adapter in (inventory or {}).get("adapters", []):
        for c in adapter.get("components", []):
            found[(adapter.get("portName"), c.get("component"))] = _version(c.get("installed"))
    wrong = []
    for adapter in (summary or {}).get("adapters", []):
        for c in adapter.get("components", []):
            if c.get("outcome") not in ("success", "pending"):
                continue
            key = (adapter.get("portName"), c.get("component"))
            want = _version(c.get("packaged"))
            have = found.get(key)
            if have != want:
                wrong.append("%s %s runs %s, not %s" % (key[0], key[1], have if have is not None else "nothing listed", want))
    return wrong


class FilterModule:
    def filters(self):
        return {"winmarlo_plan": winmarlo_plan, "winmarlo_plan_output": winmarlo_plan_output,
                "winmarlo_versions": winmarlo_versions,
                "winmarlo_component_keys": winmarlo_component_keys, "winmarlo_unverified": winmarlo_unverified}
