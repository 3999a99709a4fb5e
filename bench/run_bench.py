#!/usr/bin/env python3
"""The benchmark: our extraction against a bare inflate-and-write loop with
stock zlib (the fixed reference) and a write-only floor (the same files
written from memory), our
installation engine and the whole shipped Setup.exe (/S) against an NSIS
installer of the same payload (/S), mksetup against makensis (wall and CPU
time: mksetup compresses on every core, makensis on one), mksetup's output
against the same package compressed with zlib's own level 9, the setup model's
start-up as a fixed cost plus a cost per 100 MB, and peak memory at two
payload sizes. Contenders run in turn, A B A B, after
a warm-up; medians with min and max are reported, and the table is kept in
docs/benchmarks.md."""
import datetime
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BIN = os.path.join(ROOT, "out", "bin")
WORK = os.path.join(ROOT, "out", "bench")
WINE = os.path.join(ROOT, "scripts", "wine-run.sh")
RUNS = int(os.environ.get("BENCH_RUNS", "5"))
SIZES = [int(s) for s in os.environ.get("BENCH_SIZES", "200,1000").split(",")]
# Sample libraries past 2 GiB, made on the fly and removed afterwards (MB).
LARGE = [int(s) for s in os.environ.get("BENCH_LARGE", "4096,20480").split(",") if s]
LARGE_RUNS = int(os.environ.get("BENCH_LARGE_RUNS", "2"))
DLLS = "/usr/lib/i386-linux-gnu/wine/i386-windows"


def win(path):
    return "Z:" + path.replace("/", "\\")


def run(command, cwd=None):
    """Runs a command; returns wall seconds, the peak resident memory (KiB)
    and the CPU seconds (user and system) of the process."""
    # Its errors go to a file, not a pipe: a Wine service it started may
    # keep a pipe open long after the command ended.
    with tempfile.TemporaryFile() as errors:
        start = time.perf_counter()
        process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=errors)
        _, status, usage = os.wait4(process.pid, 0)
        elapsed = time.perf_counter() - start
        errors.seek(0)
        error = errors.read().decode(errors="replace")
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit("failed (exit %d): %s\n%s" % (os.waitstatus_to_exitcode(status), " ".join(command), error))
    return elapsed, usage.ru_maxrss, usage.ru_utime + usage.ru_stime


def alternate(*commands, prepare=None):
    """Runs the commands in turn, one warm-up each, then RUNS counted rounds;
    returns each command's samples."""
    results = [[] for _ in commands]
    for round_ in range(RUNS + 1):
        for samples, command in zip(results, commands):
            if prepare:
                prepare()
            sample = run(command)
            if round_ > 0:
                samples.append(sample)
    return results


def printed(command):
    """Runs a command and returns the first line it printed."""
    result = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True, check=True)
    return result.stdout.strip().splitlines()[0]


def evict(paths):
    """Drops these files from the page cache, as if they had just been
    downloaded to a cold disk; Windows (Wine) and its own files stay warm."""
    subprocess.run(["sync"], check=True)
    for path in paths:
        fd = os.open(path, os.O_RDONLY)
        try:
            os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        finally:
            os.close(fd)


def stats(samples):
    times = [t for t, _, _ in samples]
    return (statistics.median(times), min(times), max(times), max(p for _, p, _ in samples),
            statistics.median(c for _, _, c in samples))


def fresh(*folders):
    def prepare():
        for folder in folders:
            shutil.rmtree(folder, ignore_errors=True)
    return prepare


def nsis_script(payload, output):
    return """Unicode true
SetCompressor zlib
Name "Bench Suite"
OutFile "%s"
InstallDir "$PROGRAMFILES\\SetupBench\\NSIS"
RequestExecutionLevel admin
SilentInstall silent
Section
  SetOutPath "$INSTDIR"
  File /r "%s/Main"
  File /r "%s/VstX"
SectionEnd
""" % (output, payload, payload)


def wineserver(*args):
    """The prefix's Wine server: kept running (-p) through the measurements,
    so that no contender pays for starting it and Wine's services while
    another finds them running (which made every Wine figure bimodal)."""
    env = dict(os.environ, WINEPREFIX=os.path.join(ROOT, ".deps", "wine64"))
    subprocess.run(["wineserver"] + list(args), env=env, check=True)


def volumes_of(installer):
    base = os.path.splitext(installer)[0]
    found, index = [], 1
    while os.path.exists("%s-%d.bin" % (base, index)):
        found.append("%s-%d.bin" % (base, index))
        index += 1
    return found


def measure_large(rows, facts):
    """Sample libraries past 2 GiB: the builder's throughput, the time to the
    first page with a cold and a warm cache, the installation against the
    write-only floor, and peak memory; each payload made, measured and removed
    in turn (the disk holds one at a time)."""
    targets = []
    inst_out, floor_out = os.path.join(WORK, "large-install"), os.path.join(WORK, "large-floor")
    for size in LARGE:
        payload = os.path.join(WORK, "large-payload-%d" % size)
        ours = os.path.join(WORK, "large-%d.exe" % size)
        shutil.rmtree(payload, ignore_errors=True)
        subprocess.run([os.path.join(BIN, "make_payload"), payload, str(size), DLLS,
                        os.path.join(ROOT, "examples", "ExampleEcho")], check=True, stdout=subprocess.DEVNULL)
        build = run([os.path.join(BIN, "mksetup"), "build", payload, "--version", "1.00", "-o", ours,
                     "--date", "2025-01-01T00:00:00"])
        shutil.rmtree(payload)
        rows.append(("build %d MB: mksetup (one run)" % size, (build[0], build[0], build[0], build[1], build[2])))
        facts["build throughput %d" % size] = size / build[0]
        facts["installer size %d" % size] = os.path.getsize(ours) + sum(os.path.getsize(v) for v in volumes_of(ours))
        # The first page: the real program, from its start to its window.
        for cache in ("cold", "warm"):
            times = []
            for _ in range(LARGE_RUNS + 1):
                if cache == "cold":
                    evict([ours] + volumes_of(ours))
                times.append(float(printed([WINE, os.path.join(BIN, "bench_FirstPage.exe"), win(ours)])))
            times = times[1:] if cache == "warm" else times
            rows.append(("first page %d MB, %s package (from start to window)" % (size, cache),
                         (statistics.median(times), min(times), max(times), 0, 0)))
            facts["first page %d %s" % (size, cache)] = statistics.median(times)
        if size == LARGE[0]:
            global RUNS
            kept, RUNS = RUNS, LARGE_RUNS
            a, b = alternate([WINE, os.path.join(BIN, "bench_OurInstall.exe"), win(ours), win(inst_out)],
                             [WINE, os.path.join(BIN, "bench_BareExtract.exe"), win(ours), win(floor_out), "--write-only"],
                             prepare=fresh(inst_out, floor_out))
            RUNS = kept
            rows.append(("install %d MB: installation engine" % size, stats(a)))
            rows.append(("install %d MB: write-only floor" % size, stats(b)))
            facts["large floor ratio"] = stats(a)[0] / stats(b)[0]
            facts["large floor cpu"] = stats(a)[4] / stats(b)[4]
        if size == LARGE[-1]:
            fresh(inst_out)()
            sample = run([WINE, os.path.join(BIN, "bench_OurInstall.exe"), win(ours), win(inst_out)])
            rows.append(("install %d MB: installation engine (one run)" % size, stats([sample])))
            facts["install peak large"] = sample[1]
        fresh(inst_out, floor_out)()
        for path in [ours] + volumes_of(ours):
            os.remove(path)
    if not LARGE:
        return targets
    first, last = LARGE[0], LARGE[-1]
    targets += [
        ("installation / write-only floor, %d MB (wall; CPU %.2f)" % (first, facts.get("large floor cpu", 0)),
         facts.get("large floor ratio"), "<= 1.10", "%.2f"),
        ("first page, %d MB, package not in the cache (s)" % last, facts.get("first page %d cold" % last), "<= 0.5", "%.2f"),
        ("first page, %d MB, package in the cache (s)" % last, facts.get("first page %d warm" % last), "<= 0.5", "%.2f"),
        ("builder throughput, %d MB / %d MB" % (last, SIZES[0]),
         facts["build throughput %d" % last] / (SIZES[0] / facts["build wall %d" % SIZES[0]]), ">= 0.90", "%.2f"),
        ("peak memory of the installation, %d MB minus %d MB (MiB)" % (last, SIZES[0]),
         (facts["install peak large"] - facts["install peak %d" % SIZES[0]]) / 1024,
         "<= 4 + 16 (the extraction bound above)", "%+.1f"),
    ]
    return targets


def main():
    wineserver("-p")
    # Wine's services start with the first program and stay: started here,
    # with nothing of ours to inherit.
    subprocess.run([WINE, "cmd", "/c", "exit"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)
    try:
        measure()
    finally:
        wineserver("-k")


def measure():
    if not shutil.which("makensis"):
        subprocess.run(["apt-get", "install", "-y", "-q", "nsis"], check=True, stdout=subprocess.DEVNULL)
    os.makedirs(WORK, exist_ok=True)
    rows = []
    facts = {}
    model_times = {}
    for size in [1] + SIZES:
        payload = os.path.join(WORK, "payload-%d" % size)
        stamp = payload + ".ready"
        if not os.path.exists(stamp):
            subprocess.run([os.path.join(BIN, "make_payload"), payload, str(size), DLLS,
                            os.path.join(ROOT, "examples", "ExampleEcho")], check=True)
            open(stamp, "w").close()
        ours = os.path.join(WORK, "ours-%d.exe" % size)
        nsis = os.path.join(WORK, "nsis-%d.exe" % size)
        script = os.path.join(WORK, "nsis-%d.nsi" % size)
        with open(script, "w") as f:
            f.write(nsis_script(payload, nsis))
        build_ours = [os.path.join(BIN, "mksetup"), "build", payload, "--version", "1.00", "-o", ours,
                      "--date", "2025-01-01T00:00:00"]
        build_nsis = ["makensis", "-V1", script]

        if size == 1:
            # A tiny package: what the setup model costs before any data.
            run(build_ours)
            samples = alternate([WINE, os.path.join(BIN, "bench_OurInstall.exe"), win(ours), win(WORK), "--model-only"],
                                [WINE, os.path.join(BIN, "bench_Adler.exe"), win(ours)])
            model_times[1] = (stats(samples[0])[0], stats(samples[1])[0])
            rows.append(("setup model, 1 MB package (start-up)", stats(samples[0])))
            rows.append(("Adler-32 pass, 1 MB package (start-up)", stats(samples[1])))
            continue
        if size == SIZES[0]:
            a, b = alternate(build_ours, build_nsis)
            rows.append(("build %d MB: mksetup" % size, stats(a)))
            rows.append(("build %d MB: makensis" % size, stats(b)))
            facts["build ratio"] = stats(a)[0] / stats(b)[0]
            facts["build wall %d" % size] = stats(a)[0]
            facts["build cpu ratio"] = stats(a)[4] / stats(b)[4]
            # The same package with zlib's own deflate at level 9, as before.
            reference = os.path.join(WORK, "zlib-%d.exe" % size)
            run(build_ours[:build_ours.index("-o") + 1] + [reference] + build_ours[build_ours.index("-o") + 2:] + ["--zlib"])
            facts["size %d zlib" % size] = os.path.getsize(reference)
            os.remove(reference)
        else:
            run(build_ours)
            run(build_nsis)
        facts["size %d ours" % size] = os.path.getsize(ours)
        facts["size %d nsis" % size] = os.path.getsize(nsis)

        bare_out, our_out = os.path.join(WORK, "bare-out"), os.path.join(WORK, "our-out")
        inst_out, nsis_out = os.path.join(WORK, "install-out"), os.path.join(WORK, "nsis-out")
        if size == SIZES[0]:
            a, b, c = alternate(
                [WINE, os.path.join(BIN, "bench_OurExtract.exe"), win(ours), win(our_out), "Main", "VstX"],
                [WINE, os.path.join(BIN, "bench_BareExtract.exe"), win(ours), win(bare_out)],
                [WINE, os.path.join(BIN, "bench_BareExtract.exe"), win(ours), win(bare_out), "--write-only"],
                prepare=fresh(bare_out, our_out))
            rows.append(("extract %d MB: ours" % size, stats(a)))
            rows.append(("extract %d MB: bare stock-zlib inflate and write" % size, stats(b)))
            rows.append(("extract %d MB: write-only floor" % size, stats(c)))
            facts["extract ratio"] = stats(a)[0] / stats(b)[0]
            facts["floor ratio"] = stats(a)[0] / stats(c)[0]

            a, b = alternate([WINE, os.path.join(BIN, "bench_OurInstall.exe"), win(ours), win(inst_out)],
                             [WINE, nsis, "/S", "/D=" + win(nsis_out)],
                             prepare=fresh(inst_out, nsis_out))
            rows.append(("install %d MB: installation engine" % size, stats(a)))
            rows.append(("install %d MB: NSIS silent" % size, stats(b)))
            facts["install ratio"] = stats(a)[0] / stats(b)[0]
            # The whole shipped program, as a deployment runs it: the process
            # from start to end, registry, registration and uninstaller included.
            a, b = alternate([WINE, ours, "/S", "/DIR=" + win(inst_out)],
                             [WINE, nsis, "/S", "/D=" + win(nsis_out)],
                             prepare=fresh(inst_out, nsis_out))
            rows.append(("install %d MB: Setup.exe /S (whole program)" % size, stats(a)))
            rows.append(("install %d MB: NSIS /S (whole program)" % size, stats(b)))
            facts["program ratio"] = stats(a)[0] / stats(b)[0]
        # Start-up and memory at every size.
        a, b = alternate([WINE, os.path.join(BIN, "bench_OurInstall.exe"), win(ours), win(inst_out), "--model-only"],
                         [WINE, os.path.join(BIN, "bench_Adler.exe"), win(ours)])
        rows.append(("setup model %d MB" % size, stats(a)))
        rows.append(("Adler-32 pass %d MB" % size, stats(b)))
        model_times[size] = (stats(a)[0], stats(b)[0])
        peaks = []
        for _ in range(3):
            fresh(inst_out)()
            peaks.append(run([WINE, os.path.join(BIN, "bench_OurInstall.exe"), win(ours), win(inst_out)])[1])
        facts["install peak %d" % size] = statistics.median(peaks)
        fresh(inst_out, nsis_out, bare_out, our_out)()
    large_targets = measure_large(rows, facts)

    stub = os.path.getsize(os.path.join(BIN, "Setup.exe"))
    nsis_stub = "/usr/share/nsis/Stubs/zlib-x86-unicode"
    lines = ["| figure | median s | min s | max s | CPU s | peak MiB |", "|---|---|---|---|---|---|"]
    for name, (median, low, high, peak, cpu) in rows:
        lines.append("| %s | %.2f | %.2f | %.2f | %.2f | %.0f |" % (name, median, low, high, cpu, peak / 1024))
    first, last = SIZES[0], SIZES[-1]
    peak_growth = (facts["install peak %d" % last] - facts["install peak %d" % first]) / 1024
    targets = [
        ("our extraction / bare stock-zlib loop (wall)", facts.get("extract ratio"), "<= 0.60", "%.2f"),
        ("our extraction / write-only floor (wall)", facts.get("floor ratio"), "<= 1.30", "%.2f"),
        ("installation engine / NSIS", facts.get("install ratio"), "<= 0.80", "%.2f"),
        ("Setup.exe /S / NSIS /S, whole programs", facts.get("program ratio"), "-", "%.2f"),
        ("mksetup build / makensis (CPU time)", facts.get("build cpu ratio"), "<= 0.60", "%.2f"),
        ("mksetup build / makensis (wall time)", facts.get("build ratio"), "<= 0.35", "%.2f"),
        ("mksetup output / zlib level 9 output, %d MB" % first,
         facts["size %d ours" % first] / facts["size %d zlib" % first], "<= 1.000", "%.4f"),
        ("peak memory of the installation, %d MB minus %d MB (MiB)" % (last, first) if len(SIZES) > 1 else "-",
         peak_growth if len(SIZES) > 1 else None,
         "<= 4 + 16 (the bound: a ring of 8 MiB of inflated files, the 4 MiB of compressed bytes it reads at a time, one 4 MiB entry read whole)",
         "%+.1f"),
        ("Setup.exe without package (KiB)", os.path.getsize(os.path.join(BIN, "Setup.exe")) / 1024, "< 512", "%.1f"),
    ] + large_targets
    lines += ["", "| ratio | measured | target |", "|---|---|---|"]
    for name, value, target, form in targets:
        lines.append("| %s | %s | %s |" % (name, form % value if value is not None else "-", target))
    # The setup model as a fixed start-up (a 1 MB package) and a cost per
    # 100 MB of package, beside one Adler-32 read of the same packages.
    lines += ["", "| setup model | fixed s | per 100 MB s |", "|---|---|---|"]
    for which, label in ((0, "setup model"), (1, "Adler-32 pass")):
        per = ["%.3f (%d MB)" % ((model_times[size][which] - model_times[1][which]) * 100 / (size - 1), size)
               for size in SIZES]
        lines.append("| %s | %.2f | %s |" % (label, model_times[1][which], ", ".join(per)))
    lines += ["", "| size | ours | NSIS |", "|---|---|---|",
              "| Setup.exe without package | %d bytes | %s |" % (
                  stub, "%d bytes (zlib stub)" % os.path.getsize(nsis_stub) if os.path.exists(nsis_stub) else "-")]
    for size in SIZES:
        lines.append("| installer, %d MB payload | %d bytes | %d bytes (ours %.3f x) |" % (
            size, facts["size %d ours" % size], facts["size %d nsis" % size],
            facts["size %d ours" % size] / facts["size %d nsis" % size]))
    lines.append("| installer, %d MB payload, zlib's own level 9 (--zlib) | %d bytes | |" % (
        first, facts["size %d zlib" % first]))
    table = "\n".join(lines)
    print(table)
    with open(os.path.join(ROOT, "docs", "benchmarks.md"), "w") as f:
        f.write("# Benchmarks\n\nMeasured %s on %s (%d cores), Wine %s, %d counted runs after a warm-up, "
                "contenders alternating, the Wine server kept running throughout. Produced by `make bench`.\n\n%s\n" % (
                    datetime.date.today().isoformat(), platform.machine(), os.cpu_count(),
                    subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip(),
                    RUNS, table))


if __name__ == "__main__":
    main()
