#!/usr/bin/env python3
"""The reboot of a simulated host: sets "reboot": true in its board file (written to a
temporary file and renamed over it, as the simulated library writes it), so that at
the next run every board starts the firmware waiting in flash.

Usage: sim_reboot.py <board file>
"""
import json
import os
import sys

path = sys.argv[1]
with open(path, encoding="utf-8") as f:
    boards = json.load(f)
boards["reboot"] = True
with open(path + ".tmp", "w", encoding="utf-8") as f:
    json.dump(boards, f, indent=2)
os.replace(path + ".tmp", path)
