#!/usr/bin/python3
"""Runs the window cases against the real program on one X server of their own.

    tests/e2e/run.py --vellum build/app/vellum --vellumconv build/tools/vellumconv/vellumconv \\
                     --out build/e2e [-k PATTERN] [--list] [--display :0 --pause 0.3]

Each case that fails leaves a screenshot of the whole screen and the program's output under
OUT/failures/. --display runs on a display you can watch instead of a private Xvfb; --pause
waits that many seconds after each key or click.
"""

import argparse
import fnmatch
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from PIL import Image  # noqa: E402

import cases  # noqa: E402
from program import DIALOG_STATS, Program  # noqa: E402
from xsession import XSession  # noqa: E402

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


class Run:
    """What the cases share: the X session, the two programs, the samples, and the outputs."""

    def __init__(self, session, args, work):
        self.x = session
        self.vellum = os.path.abspath(args.vellum)
        self.vellumconv = os.path.abspath(args.vellumconv)
        self.samples = os.path.join(ROOT, "samples")
        self.toolbar_bitmap = os.path.join(ROOT, "resources", "toolbar.bmp")
        self.work = work
        self.programs = []
        self.profiles = {}
        self._refs = {}
        self._renders = {}

    def case_dir(self, name):
        path = os.path.join(self.work, name.replace("/", "-"))
        os.makedirs(path, exist_ok=True)
        return path

    def program(self, home, profile):
        log = os.path.join(home, "program.log")
        p = Program(self.x, self.vellum, profile, home, log, self.toolbar_bitmap)
        self.programs.append(p)
        return p.start()

    def stop_programs(self):
        for p in self.programs:
            p.stop()
        self.programs = []

    def _conv(self, args):
        result = subprocess.run([self.vellumconv] + args, capture_output=True)
        if result.returncode != 0:
            raise AssertionError(f"vellumconv {' '.join(args)}: {result.stderr.decode(errors='replace')}")

    def reference(self, source, ext):
        """The bytes the project's own writer makes of source's data saved with ext."""
        with open(source, "rb") as f:
            key = (hashlib.sha256(f.read()).hexdigest(), ext)
        if key not in self._refs:
            out = os.path.join(self.work, f"ref-{key[0][:16]}{ext}")
            self._conv(["--open", source, "--save", out])
            with open(out, "rb") as f:
                self._refs[key] = f.read()
        return self._refs[key]

    def render(self, source, width, height=1200):
        """The view of source (None: nothing loaded) as the headless program draws it, in RGB."""
        key = (source and hashlib.sha256(open(source, "rb").read()).hexdigest(), width, height)
        if key not in self._renders:
            out = os.path.join(self.work, f"render-{len(self._renders)}.png")
            args = (["--open", source] if source else []) + ["--size", f"{width}x{height}", "--render", out]
            self._conv(args)
            self._renders[key] = Image.open(out).convert("RGB")
        return self._renders[key]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--vellum", required=True)
    parser.add_argument("--vellumconv", required=True)
    parser.add_argument("--out", required=True, help="folder for the work files and the failures")
    parser.add_argument("-k", action="append", default=[], help="run the cases whose name matches (glob)")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--display", help="an X display to watch the cases on, instead of Xvfb")
    parser.add_argument("--pause", type=float, default=0.0, help="seconds to wait after each input")
    args = parser.parse_args()

    selected = [(n, f) for n, f in cases.CASES
                if not args.k or any(fnmatch.fnmatch(n, f"*{k}*") for k in args.k)]
    if args.list:
        for name, _ in selected:
            print(name)
        return 0

    failures_dir = os.path.join(args.out, "failures")
    shutil.rmtree(failures_dir, ignore_errors=True)
    os.makedirs(args.out, exist_ok=True)
    work = tempfile.mkdtemp(prefix="work-", dir=args.out)
    started = time.monotonic()
    session = XSession(visible=args.display)
    session.pause = args.pause
    run = Run(session, args, work)
    failed = []
    try:
        for name, fn in selected:
            t0 = time.monotonic()
            try:
                fn(run)
                print(f"ok    {name}  ({time.monotonic() - t0:.1f} s)", flush=True)
            except Exception as e:  # a case's failure is reported and the next case runs
                failed.append(name)
                os.makedirs(failures_dir, exist_ok=True)
                stem = os.path.join(failures_dir, name.replace("/", "-"))
                try:
                    session.screenshot().save(stem + ".png")
                except Exception:
                    pass
                with open(stem + ".txt", "w") as f:
                    traceback.print_exc(file=f)
                    for p in run.programs:
                        if os.path.exists(p.log_path):
                            f.write(f"\n--- {p.log_path}\n")
                            f.write(open(p.log_path, errors="replace").read())
                print(f"FAIL  {name}  ({time.monotonic() - t0:.1f} s): {type(e).__name__}: {e}", flush=True)
                print(f"      screenshot: {stem}.png", flush=True)
            finally:
                run.stop_programs()
    finally:
        session.close()
    if not failed:
        shutil.rmtree(work, ignore_errors=True)
    total = time.monotonic() - started
    print(f"{len(selected) - len(failed)} of {len(selected)} window cases passed in {total:.1f} s")
    print("file dialogs: " + ", ".join(f"{what} {n}" for what, n in DIALOG_STATS.items()))
    for name in failed:
        print(f"  failed: {name}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
