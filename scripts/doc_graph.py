#!/usr/bin/env python3
"""Draws doc/libraries.svg, the picture of doc/layout.md, from the build's own target graph.

Usage: scripts/doc_graph.py <work folder>   (the build's doc_graph target runs it)

CMake configures the project once more in <work folder> (tests off: the picture shows
what the product is built from) and writes its target graph (--graphviz); the graph is
renamed after the folders (winmarlo_update -> update), laid out top-down and rendered
by Graphviz's dot. tests/doc/check_docs.py compares the picture's nodes and edges with
a fresh graph, so a change to the build that the picture does not show fails the tests.
"""
import html
import os
import re
import shutil
import subprocess
import sys

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PICTURE = os.path.join(SOURCE, "doc", "libraries.svg")

# CMake's shapes for the kinds of target, as its graph legend gives them.
KINDS = {"egg": "executable", "octagon": "static", "doubleoctagon": "shared",
         "tripleoctagon": "module", "pentagon": "interface", "hexagon": "object",
         "septagon": "external", "box": "custom"}


def short(label):
    """The name a target is drawn with: the folder for a library of ours."""
    return label[len("winmarlo_"):] if label.startswith("winmarlo_") else label


def cmake_graph(work):
    """Configures the project in `work` and returns its target graph: ({name: kind},
    {(from, to): style}) with the legend left out. Raises CalledProcessError when CMake
    fails (its output is printed)."""
    os.makedirs(work, exist_ok=True)
    # Only the whole graph, not one file per target.
    with open(os.path.join(work, "CMakeGraphVizOptions.cmake"), "w", encoding="utf-8") as f:
        f.write("set(GRAPHVIZ_GENERATE_PER_TARGET FALSE)\nset(GRAPHVIZ_GENERATE_DEPENDERS FALSE)\n")
    dot = os.path.join(work, "targets.dot")
    result = subprocess.run(["cmake", "-S", SOURCE, "-B", work, "-G", "Ninja", "-DWINMARLO_TESTS=OFF",
                             "-DWINMARLO_BENCH=OFF", "-DWINMARLO_FUZZ=OFF", "--graphviz=" + dot],
                            capture_output=True, text=True)
    if result.returncode != 0:
        sys.stderr.write(result.stdout + result.stderr)
        result.check_returncode()
    labels, kinds, edges = {}, {}, {}
    for line in open(dot, encoding="utf-8"):
        node = re.match(r'\s*"(node\d+)" \[ label = "([^"]+)", shape = (\w+) \];', line)
        if node:
            labels[node[1]] = short(node[2])
            # An imported target (name::name) is not built here, whatever its kind.
            kinds[short(node[2])] = "external" if "::" in node[2] else KINDS.get(node[3], node[3])
            continue
        edge = re.match(r'\s*"(node\d+)" -> "(node\d+)"(?: \[ style = (\w+) \])?', line)
        if edge:
            edges[(labels[edge[1]], labels[edge[2]])] = edge[3] or "solid"
    # An imported target nothing links (a program such as the Python interpreter the
    # build runs) is no part of the picture.
    linked = {name for edge in edges for name in edge}
    kinds = {name: kind for name, kind in kinds.items() if kind != "external" or name in linked}
    return kinds, edges


def picture_graph(text):
    """The nodes and edges drawn in an SVG that dot rendered: ({names}, {(from, to)})."""
    nodes, edges = set(), set()
    for kind, title in re.findall(r'<g id="\w+" class="(node|edge)">\s*<title>([^<]*)</title>', text):
        title = html.unescape(title)
        if kind == "node":
            nodes.add(title)
        else:
            edges.add(tuple(title.split("->", 1)))
    return nodes, edges


def quote(name):
    return '"' + name + '"'


def dot_text(kinds, edges):
    """The graph in dot's language: executables on top, what nothing of ours builds
    (system libraries, header-only ones) in grey."""
    lines = ["digraph libraries {",
             '  graph [rankdir=TB, nodesep=0.25, ranksep=0.45, fontname="Helvetica"];',
             '  node [shape=box, style="rounded,filled", fillcolor="#eef3fb", fontname="Helvetica", fontsize=11];',
             '  edge [color="#4a5a70", arrowsize=0.6];']
    looks = {"executable": 'style="rounded,filled,bold", fillcolor="#d7e6fb"',
             "shared": 'peripheries=2',
             "interface": 'style="rounded,dashed"',
             "external": 'style="rounded", color="#999999", fontcolor="#666666"'}
    for name in sorted(kinds):
        kind = kinds[name]
        look = looks.get(kind, "")
        lines.append(f"  {quote(name)} [{look}];" if look else f"  {quote(name)};")
    # CMake's edge styles: solid a public link (or a build order), dotted a private
    # link, dashed what a declarations-only library asks of its users.
    for (a, b) in sorted(edges):
        style = edges[(a, b)]
        lines.append(f"  {quote(a)} -> {quote(b)}" + ("" if style == "solid" else f" [style={style}]") + ";")
    lines.append("}")
    return "\n".join(lines) + "\n"


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: scripts/doc_graph.py <work folder>")
    if shutil.which("dot") is None:
        sys.exit("doc_graph: Graphviz's dot is missing (Debian package graphviz; scripts/setup.sh installs it)")
    kinds, edges = cmake_graph(os.path.abspath(sys.argv[1]))
    svg = subprocess.run(["dot", "-Tsvg"], input=dot_text(kinds, edges), capture_output=True, text=True,
                         check=True).stdout
    # dot's version and the work folder's name would change the file for nothing.
    svg = re.sub(r"<!-- Generated by graphviz[^>]*-->\n", "", svg)
    with open(PICTURE + ".tmp", "w", encoding="utf-8") as f:
        f.write(svg)
    os.replace(PICTURE + ".tmp", PICTURE)
    print(f"doc_graph: wrote {os.path.relpath(PICTURE, SOURCE)} ({len(kinds)} targets)")


if __name__ == "__main__":
    main()
