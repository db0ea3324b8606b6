"""corvane-fx end to end: reverse past the end and its temporary files, pitch shift, errors."""
import os, resource, signal, subprocess, tempfile, time, unittest

from fxrun import FxTestCase, read_wav

S, REV = ["--seconds", "0.3"], ["-e", "Reverse"]
FMT = ("reading from effect 1 (%s) failed: 0x80040306 Audio format unsupported. (its input: %d Hz, "
       "2 channels)")
# arguments; the output is the run with the effect disabled reversed (R) or the run without the
# -p (B), or the run fails with this message ({} the temporary folder) or dies of this signal;
# a file-size limit
ROWS = [(S + REV + ["-z", z], "R", 1 << 24) for z in ("0:301", "0:2000", "0:36000000", "0:1e300")]
ROWS += [(S + ["-e", "PitchShift", "-p", "Rate=" + r], "B", 0) for r in ("0.01", "1e-300", "1e9")]
ROWS += [(["--seconds", "10"] + REV, "cannot prepare effect 1 (ReverseFilter5): 0x80040303 File "
          "access error. (temporary files in {}/: %s)" % os.strerror(27), 1 << 18)]
ROWS += [(S + ["--rate", str(r), "-e"] + e, FMT % (e[0], r), 0) for r, e in (
    (384000, ["StretchFilter5"]), (768000, ["PitchShiftFilter5", "-e", "Median"]))]
ROWS += [(["--seconds", "600", "--signal", "noise"] + REV, signal.Signals(n), 0) for n in (15, 2, 1)]


class ReverseAndErrors(FxTestCase):
    def run_fx(self, args, fsize=0, sig=0):  # status, stderr, samples, peak MB
        out, limit = self.tmp + ".wav", lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (fsize,) * 2)
        proc = subprocess.Popen(
            [os.environ["CORVANE_FX"], "--registry-root", self.registry, "-o", out] + args,
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, preexec_fn=fsize and limit or None,
            env=dict(os.environ, TMPDIR=self.tmp))
        p, mine, end = "/proc/%d/fd/" % proc.pid, self.tmp + "/", time.monotonic() + 120
        while not (done := os.wait4(proc.pid, os.WNOHANG))[0]:
            try:  # the signal goes once a temporary file is open, not after a guessed time
                opened = sig and any(os.readlink(p + f).startswith(mine) for f in os.listdir(p))
            except OSError:  # one closed meanwhile: look again
                opened = False
            if time.monotonic() > end or opened:
                proc.send_signal(sig or signal.SIGKILL)
                done = os.wait4(proc.pid, 0)
                break
            time.sleep(0.01)
        proc.returncode, err = os.waitstatus_to_exitcode(done[1]), proc.communicate()[1].decode()
        got = read_wav(out)[0] if os.path.exists(out) else None
        return proc.returncode, err.strip(), got, done[2].ru_maxrss / 1024.0

    def test_rows(self):
        for args, want, fsize in ROWS:
            with self.subTest(args=" ".join(args), want=want):
                killed, self.tmp = isinstance(want, signal.Signals), tempfile.mkdtemp(dir=self.folder)
                code, err, got, used = self.run_fx(args, fsize, want if killed else 0)
                self.assertEqual(os.listdir(self.tmp), [], "files left in the temporary folder")
                if killed or want not in "RB":
                    self.assertEqual((code, err, got), (-want, "", None) if killed else
                                     (1, "corvane-fx: " + want.format(self.tmp), None))
                    continue
                _, _, ref, ref_used = self.run_fx(args + ["--disabled"] if want == "R" else args[:-2])
                self.assertEqual((code, err), (0, ""))
                self.assertSamplesEqual(got, ref[::-1] if want == "R" else ref, 0, want)
                self.assertLess(used, ref_used + 50, "peak memory in MB over the baseline's")


if __name__ == "__main__":
    unittest.main()
