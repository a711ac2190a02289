#!/usr/bin/env python3
"""Holds the documents to the program and to the tree.

Usage: check_docs.py <source folder> <winmarlo> [graph folder]   check the documents
       check_docs.py --self-test <source folder> <winmarlo>      check that a wrong line fails

The graph folder is where CMake configures the project for its target graph (a
temporary folder when none is given).

The documents are every Markdown file of the source tree (build folders left out);
the manual page doc/winmarlo.1 is held to README.md's tables. Each fault is one line
"file:line: what is wrong":
- README.md's options table against `winmarlo -h` (every option, and whether it takes
  an argument), README's synopsis against its table, and the manual page's OPTIONS;
- the manual page's EXIT STATUS against README.md's "Exit statuses" table;
- every path of the source tree that a document names in code (`scripts/demo.sh`,
  `deploy/ansible/rollout.yml`, `tests/<subsystem>/`) exists, and one it runs as a
  command is executable (paths under build/ and outside the tree are not checked);
- every link between documents reaches an existing file, and its #anchor a heading;
- doc/libraries.svg draws the build's current target graph (scripts/doc_graph.py).
Exits 1 when anything is wrong, 77 (skipped) when all else is right but `winmarlo -h`
could not be run (not root), 0 otherwise.
"""
import difflib
import glob
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import doc_graph  # noqa: E402
ELLIPSIS = "\u2026"


class Tree:
    """The source tree's documents, with some replaced (the self-test's wrong lines)."""

    def __init__(self, root, replaced=None):
        self.root = root
        self.replaced = replaced or {}

    def text(self, rel):
        if rel in self.replaced:
            return self.replaced[rel]
        with open(os.path.join(self.root, rel), encoding="utf-8") as f:
            return f.read()

    def lines(self, rel):
        return self.text(rel).split("\n")

    def exists(self, rel):
        return rel in self.replaced or os.path.exists(os.path.join(self.root, rel))

    def documents(self):
        found = []
        for folder, dirs, files in os.walk(self.root):
            dirs[:] = sorted(d for d in dirs if not d.startswith((".", "build")))
            found += [os.path.relpath(os.path.join(folder, f), self.root) for f in sorted(files) if f.endswith(".md")]
        return found


# --- tables of README.md and the manual page -------------------------------------------

def section(tree, rel, title):
    """(line number, line) of the lines under the Markdown heading `title`."""
    rows, inside = [], False
    for number, line in enumerate(tree.lines(rel), 1):
        if re.match(r"#{1,6} ", line):
            inside = line.strip() == title
        elif inside:
            rows.append((number, line))
    return rows


def cells(line):
    return [c.strip() for c in line.strip().strip("|").split("|")]


def readme_options(tree):
    """README's options table: [(line, name, takes an argument)], and the table's first line."""
    options, first = [], None
    for number, line in section(tree, "README.md", "## Options"):
        if line.startswith("|") and first is None:
            first = number
        m = re.match(r"\|\s*`(-\w+)([^`]*)`\s*\|", line)
        if m:
            options.append((number, m[1], m[2].strip() != ""))
    return options, first


def readme_synopsis(tree):
    """The options of the synopsis block under "## Options": [(line, name)]."""
    found, inside = [], False
    for number, line in section(tree, "README.md", "## Options"):
        if line.startswith("```"):
            if inside:
                break
            inside = True
        elif inside:
            found += [(number, m) for m in re.findall(r"(?<![\w<])(-[a-z]+)\b", line)]
    return found


def help_options(program):
    """`winmarlo -h`'s options: {name: takes an argument}, or None when it refused (not root)."""
    with tempfile.TemporaryDirectory() as work:
        env = dict(os.environ, DFCSIM_BOARDS=os.path.join(work, "no-boards.json"))
        result = subprocess.run([program, "-h"], cwd=work, env=env, capture_output=True, text=True)
    if result.returncode == 15:
        return None
    found = {m[1]: m[2] is not None
             for m in re.finditer(r"^\s+(-\w+)(\s+<[^>]+>)?\s+- ", result.stdout, re.MULTILINE)}
    if result.returncode != 0 or not found:
        raise RuntimeError(f"{program} -h: exit status {result.returncode}, no options in:\n{result.stdout}")
    return found


def man_section(tree, name):
    """(line number, line) of the manual page's section .SH NAME."""
    rows, inside = [], False
    for number, line in enumerate(tree.lines("doc/winmarlo.1"), 1):
        if line.startswith(".SH "):
            inside = line[4:].strip().strip('"') == name
        elif inside:
            rows.append((number, line))
    return rows


def man_options(tree):
    """The manual page's OPTIONS: [(line, name, takes an argument)] from each .TP's next line."""
    rows, options = man_section(tree, "OPTIONS"), []
    for (_, line), (number, item) in zip(rows, rows[1:]):
        m = re.match(r"\.B[IR]? \\-(\w+)(.*)", item)
        if line == ".TP" and m:
            options.append((number, "-" + m[1], m[2].strip() != ""))
    return options


def check_options(tree, program, faults):
    """Returns False when `winmarlo -h` could not be run."""
    table, first = readme_options(tree)
    if not table:
        faults.append("README.md:1: no options table under \"## Options\"")
        return True
    names = {name for _, name, _ in table}
    for number, name in readme_synopsis(tree):
        if name not in names:
            faults.append(f"README.md:{number}: the synopsis names {name}, which the options table lacks")
    for number, name, _ in man_options(tree):
        if name not in names:
            faults.append(f"doc/winmarlo.1:{number}: {name} is not in README.md's options table")
    manual = {name: (number, argument) for number, name, argument in man_options(tree)}
    for number, name, argument in table:
        if name not in manual:
            faults.append(f"README.md:{number}: {name} is not in the manual page's OPTIONS")
        elif manual[name][1] != argument:
            faults.append(f"doc/winmarlo.1:{manual[name][0]}: {name} "
                          f"{'takes an argument' if manual[name][1] else 'takes no argument'} here, "
                          f"{'one' if argument else 'none'} in README.md:{number}")
    shown = help_options(program)
    if shown is None:
        return False
    for number, name, argument in table:
        if name not in shown:
            faults.append(f"README.md:{number}: {name} is not an option of `winmarlo -h`")
        elif shown[name] != argument:
            faults.append(f"README.md:{number}: {name} {'takes' if shown[name] else 'takes no'} "
                          f"argument in `winmarlo -h`")
    for name in sorted(shown.keys() - names):
        faults.append(f"README.md:{first}: the options table lacks {name}, which `winmarlo -h` lists")
    return True


def check_exit_statuses(tree, faults):
    """The manual page's EXIT STATUS (".TP", ".B code", text) against README's table
    ("| code | prefix | message |"); a README text ending in "…" is shortened."""
    readme = {}
    for number, line in section(tree, "README.md", "## Exit statuses"):
        if re.match(r"\| \d", line):
            code, prefix, message = cells(line)[:3]
            readme[int(code)] = (number, f"[{prefix}] {message}" if prefix else message)
    if not readme:
        faults.append("README.md:1: no exit statuses table under \"## Exit statuses\"")
        return
    rows, page = man_section(tree, "EXIT STATUS"), {}
    for i, (number, line) in enumerate(rows):
        m = re.match(r"\.B (\d+)$", line)
        if m and i > 0 and rows[i - 1][1] == ".TP":
            text = []
            for _, more in rows[i + 1:]:
                if more.startswith("."):
                    break
                text.append(more)
            # The fault names the text's first line, where a wrong word would be.
            where = rows[i + 1][0] if i + 1 < len(rows) else number
            page[int(m[1])] = (where, " ".join(" ".join(text).split()).replace("\\-", "-"))
    for code in sorted(readme.keys() | page.keys()):
        if code not in page:
            faults.append(f"README.md:{readme[code][0]}: exit status {code} is not in the manual page")
            continue
        if code not in readme:
            faults.append(f"doc/winmarlo.1:{page[code][0]}: exit status {code} is not in README.md's table")
            continue
        want, got = readme[code][1], page[code][1]
        same = got.startswith(want[:-1].rstrip()) if want.endswith(ELLIPSIS) else got == want
        if not same:
            faults.append(f"doc/winmarlo.1:{page[code][0]}: exit status {code} reads {got!r}, "
                          f"README.md:{readme[code][0]} {want!r}")


# --- paths and links --------------------------------------------------------------------

def code_texts(lines, faults, rel):
    """(line number, text, whether in a block) of every code span and every line of a
    fenced block, but
    those of ```text blocks: samples of what the program prints. A code span must end
    on its line, or the paths in it would go unchecked."""
    fence = None
    for number, line in enumerate(lines, 1):
        if line.lstrip().startswith("```"):
            fence = None if fence is not None else line.lstrip()[3:].strip()
        elif fence is not None:
            if fence != "text":
                yield number, line, True
        elif line.count("`") % 2:
            faults.append(f"{rel}:{number}: a code span runs over the end of the line")
        else:
            for span in re.findall(r"`([^`]+)`", line):
                yield number, span, False


def top_entries(tree):
    return {e for e in os.listdir(tree.root) if not e.startswith((".", "build"))}


def named_paths(text, tops):
    """The words of a code text that name a path inside the source tree: relative
    paths whose first folder is one of the tree's, or so near one that it is a typing
    mistake (`scirpts/`); others (`config/`, `hosts/<host>/`) are the program's
    folders at run time."""
    for word in re.split(r"[\s=,;()\"'|]+", text):
        word = word.rstrip(".:,")
        if word.startswith("./"):
            word = word[2:]
        if "/" not in word or "//" in word or not re.fullmatch(r"[\w.*-][\w.<>*-]*(/[\w.<>*-]*)+", word):
            continue
        first = word.split("/")[0]
        if first in tops or difflib.get_close_matches(first, tops, 1, 0.75):
            yield word


def check_paths(tree, documents, faults):
    tops = top_entries(tree)
    for rel in documents:
        for number, text, fenced in code_texts(tree.lines(rel), faults, rel):
            # A command: the first word of a line of a code block, or of a code span
            # that gives it arguments.
            words = text.split()
            command = words[0] if words and (fenced or len(words) > 1) else None
            for path in named_paths(text, tops):
                pattern = re.sub(r"<[^>]*>", "*", path)
                if "*" in pattern:
                    found = glob.glob(os.path.join(tree.root, pattern))
                elif tree.exists(path.rstrip("/")):
                    found = [os.path.join(tree.root, path)]
                else:
                    found = []
                if not found:
                    faults.append(f"{rel}:{number}: {path} is not in the source tree")
                elif path == command and not os.access(found[0], os.X_OK):
                    faults.append(f"{rel}:{number}: {path} is run as a command but is not executable")


def slug(heading):
    """The anchor a heading gets: lower case, punctuation dropped, spaces as hyphens."""
    text = re.sub(r"[`*_]", "", heading.strip().lower())
    return re.sub(r"[^\w\- ]", "", text).replace(" ", "-")


def anchors(tree, rel):
    found, fenced = set(), False
    for line in tree.lines(rel):
        if line.lstrip().startswith("```"):
            fenced = not fenced
        elif not fenced and re.match(r"#{1,6} ", line):
            base = slug(line.lstrip("#"))
            name, n = base, 1
            while name in found:
                name, n = f"{base}-{n}", n + 1
            found.add(name)
    return found


def check_links(tree, documents, faults):
    for rel in documents:
        fenced = False
        for number, line in enumerate(tree.lines(rel), 1):
            if line.lstrip().startswith("```"):
                fenced = not fenced
            if fenced:
                continue
            for target in re.findall(r"\]\(([^)\s]+)(?:\s+\"[^\"]*\")?\)", re.sub(r"`[^`]*`", "", line)):
                if re.match(r"[a-z]+:", target):
                    continue
                file, _, anchor = target.partition("#")
                linked = os.path.normpath(os.path.join(os.path.dirname(rel), file)) if file else rel
                if linked.startswith(".."):
                    faults.append(f"{rel}:{number}: the link {target} leaves the source tree")
                elif not tree.exists(linked):
                    faults.append(f"{rel}:{number}: the link {target} names no file ({linked})")
                elif anchor and linked.endswith(".md") and anchor not in anchors(tree, linked):
                    faults.append(f"{rel}:{number}: the link {target}: {linked} has no heading #{anchor}")


# --- the picture of the libraries -------------------------------------------------------

def check_picture(tree, graph, faults):
    picture = "doc/libraries.svg"
    if not tree.exists(picture):
        faults.append(f"{picture}:1: missing: cmake --build <build folder> --target doc_graph draws it")
        return
    kinds, edges = graph
    nodes, drawn = doc_graph.picture_graph(tree.text(picture))
    stale = [f"target {n} not drawn" for n in sorted(kinds.keys() - nodes)]
    stale += [f"{n} drawn, no target" for n in sorted(nodes - kinds.keys())]
    stale += [f"{a} -> {b} not drawn" for a, b in sorted(edges.keys() - drawn)]
    stale += [f"{a} -> {b} drawn, the build has no such dependency" for a, b in sorted(drawn - edges.keys())]
    if stale:
        faults.append(f"{picture}:1: not the build's target graph ({'; '.join(stale)}): "
                      "redraw it with cmake --build <build folder> --target doc_graph")


def current_graph(work):
    """The build's target graph, configured in `work` (kept between runs), or in a
    temporary folder when none is given."""
    if work:
        return doc_graph.cmake_graph(work)
    with tempfile.TemporaryDirectory() as temporary:
        return doc_graph.cmake_graph(temporary)


def check(tree, program, graph):
    """Every fault of the documents, and whether `winmarlo -h` could be run."""
    faults = []
    documents = tree.documents()
    documents += [r for r in tree.replaced if r.endswith(".md") and r not in documents]
    ran = check_options(tree, program, faults)
    check_exit_statuses(tree, faults)
    check_paths(tree, documents, faults)
    check_links(tree, documents, faults)
    check_picture(tree, graph, faults)
    return faults, ran


# --- the self-test: a wrong line of each kind fails, naming that line ------------------

# (document, text as it stands, the wrong text, whether only `winmarlo -h` shows it):
# the first occurrence is replaced.
WRONG_LINES = [
    ("README.md", "| `-wwn <wwpn>` |", "| `-wnn <wwpn>` |", False),   # an option nothing has
    ("README.md", "| `-c <dir>` |", "| `-c` |", True),               # its argument dropped
    ("doc/winmarlo.1", "Reboot required to complete the update.", "Reboot required.", False),
    ("README.md", "(doc/automation.md)", "(doc/automating.md)", False),  # a link to no file
    ("README.md", "(doc/automation.md#", "(doc/automation.md#no-such-heading-", False),
    ("doc/layout.md", "`app/", "`appl/", False),                      # a path not in the tree
    ("README.md", "scripts/demo.sh", "scripts/demos.sh", False),      # a script that is not there
]


def self_test(root, program):
    tree = Tree(root)
    # The picture's own graph stands for the build's: the wrong picture is made from it.
    nodes, edges = doc_graph.picture_graph(tree.text("doc/libraries.svg"))
    graph = ({n: "" for n in nodes}, {e: "solid" for e in edges})
    failed = 0
    with_help = help_options(program) is not None
    for rel, right, wrong, needs_help in WRONG_LINES:
        if needs_help and not with_help:
            print(f"self-test: {rel} made {wrong!r} not tried: `winmarlo -h` refused (not root)")
            continue
        text = tree.text(rel)
        at = text.find(right)
        if at < 0:
            print(f"self-test: {rel} no longer holds {right!r}: choose another line for this case")
            failed += 1
            continue
        line = text.count("\n", 0, at) + 1
        faults, _ = check(Tree(root, {rel: text[:at] + wrong + text[at + len(right):]}), program, graph)
        if not any(f.startswith(f"{rel}:{line}:") for f in faults):
            print(f"self-test: {rel}:{line} made wrong ({wrong!r}) is not reported; reported: {faults}")
            failed += 1
    # A picture without one of the build's dependencies.
    svg = tree.text("doc/libraries.svg")
    edge = re.search(r'<g id="edge\d+" class="edge">.*?</g>\n', svg, re.DOTALL)
    faults, _ = check(Tree(root, {"doc/libraries.svg": svg.replace(edge[0], "")}), program, graph)
    if not any(f.startswith("doc/libraries.svg:1:") for f in faults):
        print(f"self-test: a picture without an edge is not reported; reported: {faults}")
        failed += 1
    print(f"self-test: {'every wrong line was reported' if not failed else 'FAILED'}")
    return 1 if failed else 0


def main():
    args = sys.argv[1:]
    testing = args[:1] == ["--self-test"]
    if testing:
        args = args[1:]
    if len(args) not in (2, 3) or (testing and len(args) != 2):
        sys.exit(__doc__)
    root, program = os.path.abspath(args[0]), os.path.abspath(args[1])
    if testing:
        return self_test(root, program)
    faults, ran = check(Tree(root), program, current_graph(os.path.abspath(args[2]) if len(args) == 3 else None))
    for fault in faults:
        print(fault)
    if faults:
        print(f"check_docs: {len(faults)} wrong")
        return 1
    if not ran:
        print("check_docs: `winmarlo -h` refused (not root): the options table was not compared with it")
        return 77
    print("check_docs: the documents agree with the program and the tree")
    return 0


if __name__ == "__main__":
    sys.exit(main())
