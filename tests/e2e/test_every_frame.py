"""End to end: corvane-fx runs chained through pipes (the first reads a file's bytes, cut after
`frames` frames; the others WAV streams of unknown length) against the same runs through files.
Checks take the piped outcome p and the files' f (output y, peak MB, stderr, exit status)."""
import os
import pathlib
import resource
import shlex
import subprocess
import unittest

from fxrun import FxTestCase, np, write_wav
from test_stream_ends import RATE, effect, tone

SAME = lambda t, p, f: t.assertSamplesEqual(p["y"], f["y"], 0, "through pipes against files")
warns = lambda n: lambda t, p, f: t.assertEqual((p["status"], p["stderr"].count("warning:")),
                                                (0, n), p["stderr"])
peak_mb = lambda most: lambda t, p, f: t.assertLess(p["mb"] - f["mb"], most, "MB over the files'")
V = effect("VolumeFilter5")
ROWS = [  # name, chain (each run's effects), input, frames the first run reads (None: all), checks
    ("three runs", [V, effect("MedianFilter5"), effect("StretchFilter5", "TempoRate=2.0")],
     tone(2), None, [warns(0), SAME]),
    ("reverse reads its input twice", [V, effect("ReverseFilter5")], tone(1), None, [lambda t, p, f:
     t.assertEqual((p["status"], "/dev/stdin cannot be repositioned" in p["stderr"]), (1, True))])]
ROWS += [("silence fades out, pipe dry after %d frames (88200: a read's end)" % n, [effect(
    "SilenceFilter5", "SmoothEnabled=true")], tone(3), n, [warns(1), SAME]) for n in (88200, 88000)]
ROWS += [("%s %s" % (e, k[0]), [V, effect(e, *k, "MixDepth=50.0")], tone(1), None,
          [warns(0), SAME, peak_mb(50)]) for e, *k in [("DelayFilter5", "DelayTime=1e6"),
                                                      ("DelayFilter5", "DelayTime=1e7"),
                                                      ("ReverbFilter5", "DelayTime=1e5")]]


class EveryFrame(FxTestCase):
    def chain(self, x, runs, piped, frames):
        """The outcome; its peak MB is the largest of every run so far, so the files run first."""
        f = lambda i: os.path.join(self.folder, "every-%d.wav" % i)
        write_wav(f(0), x if piped or frames is None else x[:frames], RATE)
        io = [("/dev/stdin", "/dev/stdout") if piped else (f(i), f(i + 1))
              for i in range(len(runs))]
        io[-1] = (io[-1][0], f(len(runs)))
        run = subprocess.run(["bash", "-o", "pipefail", "-c", (" | " if piped else " && ").join(
            shlex.join([os.environ["CORVANE_FX"], "--registry-root", self.registry, "-i", i, "-o",
                        o] + e) for e, (i, o) in zip(runs, io))], capture_output=True,
            input=pathlib.Path(f(0)).read_bytes()[:frames and 44 + frames * 2 * x.shape[1]])
        data = pathlib.Path(f(len(runs))).read_bytes() if run.returncode == 0 else b"data...."
        return {"y": np.frombuffer(data[data.index(b"data") + 8:], "<i2").reshape(-1, x.shape[1]),
                "mb": resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024.0,
                "stderr": run.stderr.decode(), "status": run.returncode}

    def test_rows(self):
        for name, runs, x, frames, checks in ROWS:
            with self.subTest(name):
                files, piped = [self.chain(x, runs, p, frames) for p in (False, True)]
                for check in checks:
                    check(self, piped, files)


if __name__ == "__main__":
    unittest.main(verbosity=2)
