#!/usr/bin/env python3
"""Packs what goes to a POSIX host into one tar file, so that it travels as one
transfer instead of several per file: the program and the extra files at the top,
each folder's files under the folder's name, with their modes and times (so that an
unchanged file is found unchanged on the host).

Usage: winmarlo_bundle.py <tar file> <file or folder/>...   (a trailing / names a folder)
"""
import os
import sys
import tarfile


def main():
    out, items = sys.argv[1], sys.argv[2:]
    temporary = out + ".tmp"
    with tarfile.open(temporary, "w", format=tarfile.PAX_FORMAT) as tar:
        for item in items:
            if item.endswith("/"):
                folder = item.rstrip("/")
                name = os.path.basename(folder)
                tar.add(folder, arcname=name, recursive=False)
                for entry in sorted(os.listdir(folder)):
                    path = os.path.join(folder, entry)
                    if os.path.isfile(path):
                        tar.add(path, arcname=name + "/" + entry)
            else:
                tar.add(item, arcname=os.path.basename(item))
    os.replace(temporary, out)


if __name__ == "__main__":
    main()
