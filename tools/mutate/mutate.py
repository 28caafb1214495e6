#!/usr/bin/python3
"""Mutation testing for the libraries under src/.

Puts one small fault at a time into a library's sources (an operator turned,
a constant off by one, a call deleted, a condition negated, a returned bool
flipped), rebuilds the test programs that link that library, runs their
suites and records which test functions failed. See docs/mutation.md.
"""
import argparse, glob, hashlib, json, os, random, re, shlex, signal, subprocess, sys, tempfile, time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DEFAULT_PATHS = ["src/store", "src/model", "src/link", "src/chart", "src/core"]
EQUIVALENT = os.path.join(ROOT, "tools/mutate/equivalent.txt")
# Lines whose change only alters a check or a message, never what the program does.
SKIP_LINE = re.compile(r"\b(Q_ASSERT\w*|Q_UNREACHABLE|static_assert|q(C)?(Debug|Info|Warning|Critical)|qFatal)\b")
SWAP = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==",
        "+": "-", "-": "+", "&&": "||", "||": "&&"}
FAIL_LINE = re.compile(r"^FAIL!\s*:\s*(\w+)::(\w+)\((.*?)\)", re.M)


def load_clang():
    import clang.cindex as ci
    libs = glob.glob("/usr/lib/llvm-*/lib/libclang.so.1") + glob.glob("/usr/lib/x86_64-linux-gnu/libclang-*.so.1")
    if not ci.Config.loaded and libs:
        ci.Config.set_library_file(sorted(libs)[-1])
    return ci


def compile_args(build, path):
    """The flags the build compiles `path` with, minus output and input."""
    db = os.path.join(build, "compile_commands.json")
    for entry in json.load(open(db)) if os.path.exists(db) else []:
        if os.path.realpath(os.path.join(entry["directory"], entry["file"])) == os.path.realpath(path):
            args = entry.get("arguments") or shlex.split(entry["command"])
            while args and not args[0].startswith("-"):  # the launcher and compiler
                args = args[1:]
            return [a for i, a in enumerate(args) if a not in ("-o", "-c", "--")
                    and not (i and args[i - 1] == "-o") and not a.endswith(os.path.basename(path))]
    return ["-std=c++20"]


def built_files(build):
    """The sources this build compiles: a file of another platform
    (shellopen_windows.cpp) would take any mutant and pass every suite."""
    db = os.path.join(build, "compile_commands.json")
    return {os.path.relpath(os.path.realpath(os.path.join(e["directory"], e["file"])), ROOT)
            for e in (json.load(open(db)) if os.path.exists(db) else [])}


def find_points(path, args):
    """Mutation points of one file: dicts with byte offsets and replacement."""
    ci = load_clang()
    K = ci.CursorKind
    text = open(path, "rb").read()
    tu = ci.Index.create().parse(path, args=args)
    points = []

    def add(start, end, repl, kind):
        orig = text[start:end].decode()
        line = text.count(b"\n", 0, start) + 1
        line_text = text.splitlines()[line - 1].decode(errors="replace")
        if SKIP_LINE.search(line_text) or orig == repl:
            return
        points.append(dict(file=os.path.relpath(path, ROOT), line=line, start=start, end=end,
                           orig=orig, repl=repl, kind=kind))

    def in_file(c):
        loc = c.extent.start
        return loc.file is not None and os.path.realpath(loc.file.name) == os.path.realpath(path)

    def walk(c, parent):
        for ch in c.get_children():
            if in_file(ch):
                try:
                    kind = ch.kind
                except ValueError:  # a kind newer than these bindings know
                    continue
                visit(ch, parent)
                walk(ch, kind)

    def visit(c, parent):
        kids = list(c.get_children())
        s, e = c.extent.start.offset, c.extent.end.offset
        if c.kind == K.BINARY_OPERATOR and len(kids) == 2:
            lhs_end = kids[0].extent.end.offset
            for tok in c.get_tokens():
                if tok.extent.start.offset >= lhs_end:
                    op, o = tok.spelling, tok.extent.start.offset
                    if op in SWAP and text[o:o + len(op)].decode() == op:
                        add(o, o + len(op), SWAP[op], "operator")
                    break
        elif c.kind == K.INTEGER_LITERAL:
            spell = text[s:e].decode()
            m = re.fullmatch(r"(0x[0-9a-fA-F]+|\d+)([uUlL]*)", spell)
            if m and (spell == "0" or not re.match(r"0\d", spell)):
                v, fmt = int(m.group(1), 0), ("0x%X" if spell[:2].lower() == "0x" else "%d")
                add(s, e, fmt % (v + 1) + m.group(2), "constant")
                if v > 0:
                    add(s, e, fmt % (v - 1) + m.group(2), "constant")
        elif c.kind == K.CXX_BOOL_LITERAL_EXPR:
            spell = text[s:e].decode()
            if spell in ("true", "false") and parent == K.RETURN_STMT:
                add(s, e, "false" if spell == "true" else "true", "return")
        elif c.kind == K.COMPOUND_STMT:
            for k in kids:
                call = k
                while call.kind == K.UNEXPOSED_EXPR and len(list(call.get_children())) == 1:
                    call = next(call.get_children())
                ks, ke = k.extent.start.offset, k.extent.end.offset
                if call.kind == K.CALL_EXPR and in_file(k) and text[ke:ke + 1] == b";":
                    add(ks, ke, "(void)0", "delete")
        elif c.kind in (K.IF_STMT, K.WHILE_STMT, K.DO_STMT):
            conds = [k for k in kids if k.kind.is_expression()]
            decls = [k for k in kids if k.kind.is_declaration() or k.kind == K.DECL_STMT]
            if conds and not decls:
                cs, ce = conds[0].extent.start.offset, conds[0].extent.end.offset
                add(cs, ce, "!(" + text[cs:ce].decode() + ")", "negate")

    walk(tu.cursor, None)
    seen, unique = set(), []
    for p in points:
        key = (p["start"], p["end"], p["repl"])
        if key not in seen and ("\n" not in p["orig"] or p["kind"] == "negate"):
            seen.add(key)
            unique.append(p)
    for p in unique:
        p["id"] = "%s:%d:%s: %s -> %s" % (p["file"], p["line"], p["kind"], short(p["orig"]), short(p["repl"]))
    # The same change twice on one line (two `&&`) must stay two mutants: the later ones get #2, #3.
    seen = {}
    for p in sorted(unique, key=lambda p: p["start"]):
        seen[p["id"]] = seen.get(p["id"], 0) + 1
        if seen[p["id"]] > 1:
            p["id"] += " #%d" % seen[p["id"]]
    return unique


def short(s):
    s = " ".join(s.split())
    return s if len(s) <= 40 else s[:37] + "..."


def sources(paths):
    full = [os.path.join(ROOT, p) for p in paths]
    return [f for p in full for f in (sorted(glob.glob(os.path.join(p, "*.cpp"))) if os.path.isdir(p) else [p])]


# --- which suites cover which library -------------------------------------

def cmake_calls(pattern, name):
    for f in glob.glob(os.path.join(ROOT, pattern), recursive=True):
        for m in re.finditer(r"\b" + name + r"\((.*?)\)", open(f).read(), re.S):
            yield f, m.group(1).split()


def suite_map():
    """library -> [(ctest name, executable)], from the CMake files."""
    links = {}
    for _, a in cmake_calls("**/CMakeLists.txt", "target_link_libraries"):
        links.setdefault(a[0], set()).update(x for x in a[1:] if x.startswith("vorn_"))

    def closure(libs):
        seen = set()
        while libs:
            lib = libs.pop()
            seen.add(lib)
            libs += [x for x in links.get(lib, ()) if x not in seen]
        return seen

    suites = {}
    for _, a in cmake_calls("tests/**/CMakeLists.txt", "vorn_add_test"):
        name, libs = a[a.index("NAME") + 1], a[a.index("LIBS") + 1:]
        suites[name] = (name, closure([x for x in libs if x.startswith("vorn_")]))
    # A program run again under another name, directly or through a wrapper
    # (tst_ganttgrid_scaled; tst_desktopwindow_x11 under xvfb-run).
    for _, a in cmake_calls("tests/**/CMakeLists.txt", "add_test"):
        if "COMMAND" not in a:
            continue
        run = [re.sub(r"^\$<TARGET_FILE:(\w+)>$", r"\1", x) for x in a[a.index("COMMAND") + 1:]]
        exe = next((x for x in run if x in suites), None)
        if exe:
            suites[a[a.index("NAME") + 1]] = (exe, suites[exe][1])
    bylib = {}
    for name, (exe, libs) in sorted(suites.items()):
        for lib in libs:
            bylib.setdefault(lib, []).append((name, exe))
    return bylib


def library_of(path):
    cm = os.path.join(os.path.dirname(os.path.join(ROOT, path)), "CMakeLists.txt")
    return re.search(r"add_library\((\w+)", open(cm).read()).group(1)


# --- running ----------------------------------------------------------------

BACKUP = None  # (path, original bytes) while a mutant is in place


def restore():
    global BACKUP
    if BACKUP:
        open(BACKUP[0], "wb").write(BACKUP[1])
        BACKUP = None


def on_signal(signum, frame):
    restore()
    raise KeyboardInterrupt


def run_suite(build, name, limit):
    t0 = time.time()
    cmd = ["ctest", "--test-dir", build, "-R", "^%s$" % name, "--output-on-failure"]
    p = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                         start_new_session=True)
    try:
        out, _ = p.communicate(timeout=limit)
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        p.communicate()
        return "timeout", [], time.time() - t0
    # A suite that fails without naming a function crashed or was stopped by a sanitizer.
    fails = sorted({"%s::%s" % m.groups()[:2] for m in FAIL_LINE.finditer(out)}) or [name + "(crash)"]
    return ("pass", [], time.time() - t0) if p.returncode == 0 else ("fail", fails, time.time() - t0)


def build_targets(build, targets, jobs):
    r = subprocess.run(["ninja", "-C", build, "-j", str(jobs)] + sorted(set(targets)),
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    return r.returncode == 0, r.stdout[-3000:]


def run_mutant(p, build, suites, baseline, args):
    global BACKUP
    path = os.path.join(ROOT, p["file"])
    original = open(path, "rb").read()
    BACKUP = (path, original)
    marker = os.path.join(build, "mutate-backup.json")
    open(marker, "w").write(json.dumps({"file": path, "pid": os.getpid()}))
    try:
        open(path, "wb").write(original[:p["start"]] + p["repl"].encode() + original[p["end"]:])
        ok, log = build_targets(build, [exe for _, exe in suites], args.jobs)
        if not ok:
            return dict(status="uncompiled", killers=[], suites={})
        result, killers = {}, []
        for name, _ in suites:
            limit = max(args.min_timeout, args.timeout_factor * baseline.get(name, 10))
            status, fails, secs = run_suite(build, name, limit)
            if status == "fail" and run_suite(build, name, limit)[0] == "pass":
                # A window test can fail beside another run's display or under
                # load; a kill that does not repeat is no kill.
                status, fails = "flaky", []
            result[name] = status
            killers += fails if status == "fail" else [name + "(timeout)"] if status == "timeout" else []
            if killers and args.first_kill:
                break
        return dict(status="killed" if killers else "survived", killers=killers, suites=result)
    finally:
        restore()
        os.remove(marker)


def recover(build):
    """A run killed hard may have left a mutant in place: git restores it.
    While another run is alive its mutant is in the tree, so nothing can be read."""
    marker = os.path.join(build, "mutate-backup.json")
    if os.path.exists(marker):
        f, pid = json.load(open(marker))["file"], json.load(open(marker))["pid"]
        if os.path.exists("/proc/%d" % pid):
            sys.exit("another run (pid %d) has a mutant in %s; wait for it" % (pid, f))
        subprocess.run(["git", "-C", ROOT, "checkout", "--", f], check=True)
        os.remove(marker)
        print("restored", f, "left mutated by an earlier run")


def sample(points, n, seed):
    """Equal shares per folder, drawn reproducibly; the remainder to the first folders.
    The folders take turns, so a run cut short still has figures for each."""
    folders = sorted({os.path.dirname(p["file"]) for p in points})
    rnd, drawn = random.Random(seed), []
    for i, f in enumerate(folders):
        share = n // len(folders) + (1 if i < n % len(folders) else 0)
        mine = sorted((p for p in points if os.path.dirname(p["file"]) == f), key=lambda p: p["id"])
        drawn.append(rnd.sample(mine, min(share, len(mine))))
    return [d[i] for i in range(max(map(len, drawn))) for d in drawn if i < len(d)]


# --- the report ---------------------------------------------------------------

def equivalents():
    lines = open(EQUIVALENT).read().splitlines() if os.path.exists(EQUIVALENT) else []
    # Split at " | ": a key may hold "||" itself.
    pairs = [l.partition(" | ")[::2] for l in lines if l.strip() and not l.startswith("#")]
    return {k.strip(): why.strip() for k, why in pairs}


def check_equivalents(points, files):
    """Entries of equivalent.txt that no longer name a mutation point, or name one twice.

    A key holds a line number: after an edit above it, an entry may name nothing, or
    another change on the line it lands on, so each is checked against the points now."""
    keys = {key_of(p) for p in points}
    files = {os.path.relpath(f, ROOT) for f in files}
    seen, doubtful = set(), 0
    for n, line in enumerate(open(EQUIVALENT).read().splitlines(), 1):
        key = line.partition(" | ")[0].strip()
        if not key or line.startswith("#") or key.split(":")[0] not in files:
            continue
        if key in seen or key not in keys:
            print("equivalent.txt:%d: %s %s" % (n, key, "is listed twice" if key in seen else "names no mutation point now"))
            doubtful += 1
        seen.add(key)
    print("%d entries checked, %d to look at" % (len(seen), doubtful), file=sys.stderr)
    return 1 if doubtful else 0


def test_functions(build, suites):
    """Test program -> its functions as Class::function, for the suites that ran."""
    shown = subprocess.run(["ctest", "--test-dir", build, "--show-only=json-v1"],
                           capture_output=True, text=True).stdout
    out = {}
    for t in json.loads(shown)["tests"]:
        cmd = t.get("command") or [""]
        exe = os.path.basename(cmd[0])
        if t["name"] in suites and exe.startswith("tst_") and exe not in out:
            try:
                r = subprocess.run([cmd[0], "-datatags"], capture_output=True, text=True,
                                   env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
            except OSError:  # being linked by a run in progress
                continue
            names = ["::".join(l.split()[:2]) for l in r.stdout.splitlines() if len(l.split()) >= 2]
            out[exe] = list(dict.fromkeys(names))
    return out


def key_of(r):
    return "%s:%d: %s -> %s" % (r["file"], r["line"], short(r["orig"]), short(r["repl"]))


def report(results, build, out_md):
    eq, counts, kills_by_func = equivalents(), {}, {}
    for r in results:
        r["equivalent"] = eq.get(key_of(r))
        st = "equivalent" if r["equivalent"] and r["status"] == "survived" else r["status"]
        for folder in (os.path.dirname(r["file"]), "all"):
            counts.setdefault(folder, {}).setdefault(st, 0)
            counts[folder][st] += 1
        for f in set(r["killers"]):
            kills_by_func.setdefault(f, []).append(r)
    lines = ["| folder | killed | survived | equivalent | did not compile | score |", "|---|---|---|---|---|---|"]
    for folder in sorted(counts, key=lambda f: (f == "all", f)):
        c = counts[folder]
        k, s = c.get("killed", 0), c.get("survived", 0)
        score = "%d%%" % round(100 * k / (k + s)) if k + s else "-"
        lines.append("| %s | %d | %d | %d | %d | %s |" % (folder, k, s, c.get("equivalent", 0),
                                                         c.get("uncompiled", 0), score))
    lines += ["", "## Survivors", ""]
    for r in results:
        if r["status"] == "survived":
            note = " (equivalent: %s)" % r["equivalent"] if r["equivalent"] else ""
            lines.append("- `%s` (%s)%s" % (key_of(r), r["kind"], note))
    lines += ["", "## Kill matrix", "", "Test function: mutants it killed (alone = no other function killed it).", ""]
    for f in sorted(kills_by_func):
        rs = kills_by_func[f]
        alone = [r for r in rs if len(r["killers"]) == 1]
        lines.append("- `%s`: %d killed, %d alone%s" % (f, len(rs), len(alone), "".join(
            "\n  - alone: `%s`" % key_of(r) for r in alone)))
    ran = {s for r in results for s in r.get("suites", {})}
    idle = sorted(s for s in ran if all(r.get("suites", {}).get(s, "pass") in ("pass", "flaky") for r in results))
    lines += ["", "## Suites that killed nothing they ran against", "", ", ".join(idle) or "none",
              "", "## Test functions that killed nothing", ""]
    for exe, funcs in sorted(test_functions(build, ran).items()):
        idle_funcs = [f.split("::")[1] for f in funcs if f not in kills_by_func]
        lines.append("- %s (%d of %d): %s" % (exe, len(idle_funcs), len(funcs), ", ".join(idle_funcs)))
    open(out_md, "w").write("\n".join(lines) + "\n")


# --- main -----------------------------------------------------------------------

def selftest():
    with tempfile.TemporaryDirectory() as d:
        f = os.path.join(d, "t.cpp")
        open(f, "w").write("void g();\nbool f(int a, int b) {\n    g();\n    if (a < b && b == 3)\n"
                           "        return true;\n    Q_ASSERT(a > 0);\n    return a + 2 > b;\n}\n")
        pts = find_points(f, ["-std=c++20", "-DQ_ASSERT(x)=(void)(x)"])
        got = {(p["line"], p["orig"], p["repl"]) for p in pts}
        want = {(3, "g()", "(void)0"), (4, "<", "<="), (4, "&&", "||"), (4, "==", "!="),
                (4, "3", "4"), (4, "3", "2"), (5, "true", "false"), (7, "+", "-"), (7, ">", ">="),
                (4, "a < b && b == 3", "!(a < b && b == 3)")}
        missing, extra = want - got, {g for g in got if g[0] == 6}
        print("selftest:", "ok" if not missing and not extra else "missing %s, extra %s" % (missing, extra))
        return 0 if not missing and not extra else 1


def main():
    ap = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0])
    ap.add_argument("paths", nargs="*", default=DEFAULT_PATHS)
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--list", action="store_true", help="only list the mutation points")
    ap.add_argument("--sample", type=int, help="run a reproducible sample of N mutants")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--jobs", type=int, default=1, help="ninja's -j; mutants always run one at a time")
    ap.add_argument("--timeout-factor", type=float, default=3.0, help="suite time limit, times its normal time")
    ap.add_argument("--min-timeout", type=float, default=20.0, help="but never less than this (seconds)")
    ap.add_argument("--first-kill", action="store_true", help="stop a mutant at its first failing suite")
    ap.add_argument("--json", default=os.path.join(ROOT, "build/mutation.json"))
    ap.add_argument("--markdown", default=os.path.join(ROOT, "build/mutation.md"))
    ap.add_argument("--report", action="store_true", help="only rewrite the Markdown from the JSON")
    ap.add_argument("--replay", metavar="JSON",
                    help="run again the killed mutants of an earlier run (after tests changed)")
    ap.add_argument("--killed-by", metavar="REGEX", default="",
                    help="with --replay: only those a matching test function killed")
    ap.add_argument("--replay-status", default="killed", choices=["killed", "survived"],
                    help="with --replay: run again the mutants of this outcome (survived: after new tests)")
    ap.add_argument("--check-equivalents", action="store_true",
                    help="list entries of equivalent.txt that name no mutation point now, or one twice")
    ap.add_argument("--selftest", action="store_true")
    args = ap.parse_args()
    if args.selftest:
        return selftest()
    if args.report:
        return report(json.load(open(args.json))["mutants"], args.build, args.markdown)
    if not args.list and not args.check_equivalents and "VORN_MUTATE_BUS" not in os.environ:
        os.environ["VORN_MUTATE_BUS"] = "1"
        os.execvp("dbus-run-session", ["dbus-run-session", "--", sys.executable] + sys.argv)
    recover(args.build)
    # Parsing is the slow part: each file's points are kept by the hash of it and this tool.
    tool = open(__file__, "rb").read()
    cache_path = os.path.join(args.build, "mutate-points.json")
    cache = json.load(open(cache_path)) if os.path.exists(cache_path) else {}
    points = []
    for f in sources(args.paths):
        key = hashlib.sha1(tool + open(f, "rb").read()).hexdigest()
        if key not in cache:
            cache[key] = find_points(f, compile_args(args.build, f))
        points += cache[key]
    json.dump(cache, open(cache_path, "w"))
    if args.check_equivalents:
        return check_equivalents(points, sources(args.paths))
    chosen = sample(points, args.sample, args.seed) if args.sample else points
    if args.replay:
        # Ids name file, line and change, so they hold while only tests change; a mutant whose
        # source moved is reported, not silently dropped from the comparison.
        old = [r for r in json.load(open(args.replay))["mutants"] if r["status"] == args.replay_status
               and (args.replay_status != "killed" or any(re.search(args.killed_by, k) for k in r["killers"]))]
        # A survivor judged unable to change behaviour would only survive again.
        eq = equivalents()
        old = [r for r in old if r["status"] != "survived" or key_of(r) not in eq]
        # The very bytes first, where the file has not changed; else the id.
        byplace = {(p["file"], p["start"], p["end"], p["repl"]): p for p in points}
        byid = {p["id"]: p for p in points}
        chosen = []
        for r in old:
            p = byplace.get((r["file"], r["start"], r["end"], r["repl"]))
            p = p if p and p["orig"] == r["orig"] else byid.get(r["id"])
            if p:
                chosen.append(p)
            else:
                print("no longer a mutation point (its source changed):", r["id"], file=sys.stderr)
    # Marked, not left out: the sample stays the one drawn before this check.
    built = built_files(args.build)
    if args.list:
        for p in chosen:
            print(p["id"] + ("" if p["file"] in built else "  (not built here)"))
        print("%d mutation points" % len(chosen), file=sys.stderr)
        return 0
    os.environ["QT_QPA_PLATFORM"] = "offscreen"
    signal.signal(signal.SIGINT, on_signal)
    signal.signal(signal.SIGTERM, on_signal)
    bylib = suite_map()
    # Suites of the other platform (tst_windowmessages) are in the CMake files but not in this build.
    known = subprocess.run(["ninja", "-C", args.build, "-t", "targets", "all"],
                           capture_output=True, text=True).stdout
    built_exes = {line.split(":")[0].rsplit("/", 1)[-1] for line in known.splitlines()}
    bylib = {lib: [s for s in suites if s[1] in built_exes] for lib, suites in bylib.items()}
    done = {r["id"]: r for r in json.load(open(args.json))["mutants"]} if os.path.exists(args.json) else {}
    baseline, results = {}, []
    baseline_libs = sorted({library_of(p["file"]) for p in chosen})
    for lib in baseline_libs:
        ok, log = build_targets(args.build, [exe for _, exe in bylib[lib]], args.jobs)
        if not ok:
            sys.exit("the unmutated build fails:\n" + log)
        for name, _ in bylib[lib]:
            if name not in baseline:
                st, _, secs = run_suite(args.build, name, 600)
                baseline[name] = secs if st == "pass" else None
                print("baseline %-28s %-5s %.1fs" % (name, st, secs), flush=True)
    try:
        for i, p in enumerate(chosen):
            if p["id"] in done:  # from an earlier, interrupted run of the same sample
                results.append(done[p["id"]])
                continue
            suites = [s for s in bylib[library_of(p["file"])] if baseline.get(s[0]) is not None]
            t0 = time.time()
            if p["file"] in built:
                r = dict(p, **run_mutant(p, args.build, suites, baseline, args), seconds=round(time.time() - t0))
            else:  # no build here holds it: counted with the mutants that do not compile
                r = dict(p, status="uncompiled", killers=[], suites={}, seconds=0, note="not built here")
            results.append(r)
            print("[%d/%d] %-10s %4ds %s %s" % (i + 1, len(chosen), r["status"], r["seconds"], p["id"],
                                               ", ".join(r["killers"][:3])), flush=True)
            json.dump(dict(seed=args.seed, sample=args.sample, baseline=baseline, mutants=results),
                      open(args.json, "w"), indent=1)
    finally:  # leave the test programs built from the sources as they are
        build_targets(args.build, [e for lib in baseline_libs for _, e in bylib[lib]], args.jobs)
    return report(results, args.build, args.markdown)


if __name__ == "__main__":
    sys.exit(main())
