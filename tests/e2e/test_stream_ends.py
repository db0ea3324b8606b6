"""End to end through corvane-fx: the ends of the stream and of a zone. Each row runs an input
(a steady tone, noise, a tone burst; whole, or cut short of what its header says) through a
chain and checks what users hear there: the frames written, silent runs where the input sounds,
the level at the ends, the lag against the input, a chain against its effects run one by one,
and the peak memory."""
import os
import subprocess
import unittest

from fxrun import FxTestCase, np, read_wav, write_wav

RATE = 44100


def tone(seconds, channels=2, hz=440.0, peak=0.5):
    n = np.arange(int(round(seconds * RATE)))[:, None]
    return np.round(peak * 32767.0 * np.sin(2 * np.pi * n * hz * (1 + np.arange(channels)) / RATE)
                    ).astype(np.int16)


def noise(seconds, channels=2, peak=0.5, seed=7):
    rng = np.random.default_rng(seed)
    return np.round(rng.uniform(-peak, peak, (int(round(seconds * RATE)), channels)) * 32767.0
                    ).astype(np.int16)


def burst(seconds, onset, channels=2, hz=440.0):
    """Silence, then a tone from `onset` seconds on."""
    x = tone(seconds, channels, hz)
    x[:int(onset * RATE)] = 0
    return x


def effect(name, *keys, zones=()):
    return ["-e", name] + sum((["-p", k] for k in keys), []) + sum((["-z", z] for z in zones), [])


def frames_of(ms):
    return int(round(ms * RATE / 1000.0))


def silent_runs(y, x, floor=0):
    """The longest run of frames where every channel of y is within `floor` of zero while x
    sounds there (x may be shorter or longer: the common frames count)."""
    n = min(len(x), len(y))
    quiet = np.all(np.abs(y[:n].astype(np.int64)) <= floor, axis=1) & np.any(x[:n] != 0, axis=1)
    longest = run = 0
    for q in quiet:
        run = run + 1 if q else 0
        longest = max(longest, run)
    return longest


def rms_db(a):
    a = np.asarray(a, dtype=np.float64)
    return 10 * np.log10(max(np.mean(a * a), 1e-12))


def largest_step(a):
    return int(np.max(np.abs(np.diff(np.asarray(a, dtype=np.int64), axis=0)))) if len(a) > 1 else 0


def lag(y, x):
    """The lag of y behind x in frames, by cross-correlation of the first channel."""
    a, b = x[:, 0].astype(np.float64), y[:, 0].astype(np.float64)
    n = 1 << int(np.ceil(np.log2(len(a) + len(b))))
    c = np.fft.irfft(np.fft.rfft(b, n) * np.conj(np.fft.rfft(a, n)), n)
    k = int(np.argmax(c))
    return k if k < n // 2 else k - n


# Checks: each takes the test, the input, the output and the run (peak memory in MB, stderr),
# and fails through the test's assertions.
def frames(factor=1.0):
    def check(t, x, y, run):
        t.assertEqual(len(y), int(round(len(x) * factor)), "frames written")
    return check


def no_silence(ms=5.0):
    def check(t, x, y, run):
        t.assertLessEqual(silent_runs(y, x), frames_of(ms), "silent run where the input sounds")
    return check


def ends_like_input(ms=50.0, db=1.0, at_ms=None):
    """The `ms` before `at_ms` (the stream's end without it) are within `db` of the input's RMS,
    with no step larger than twice the input's largest."""
    def check(t, x, y, run):
        end = len(x) if at_ms is None else frames_of(at_ms)
        span = slice(end - frames_of(ms), end)
        t.assertLessEqual(abs(rms_db(y[span]) - rms_db(x[span])), db, "RMS at the end")
        t.assertLessEqual(largest_step(y[span]), 2 * max(largest_step(x), 1), "step at the end")
    return check


def lags(frames_, within=0):
    def check(t, x, y, run):
        t.assertLessEqual(abs(lag(y, x) - frames_), within, "lag against the input")
    return check


def one_by_one(within=2):
    """The chain gives what its effects give run one after another, within `within` LSB."""
    def check(t, x, y, run):
        z = x
        for e in run["chain"]:
            z = t.run_fx(z, [e])[0]
        t.assertSamplesEqual(y, z, within, "chain against one by one")
    return check


def peak_mb(most):
    def check(t, x, y, run):
        plain = t.run_fx(x, [effect("VolumeFilter5")])[1]["mb"]  # what a sanitizer multiplies
        t.assertLess(run["mb"] - plain, most, "peak memory in MB beyond the host program's own")
    return check


def dry(mix):
    """The dry part alone, (1 - mix) x truncated: what a line that delivers nothing leaves."""
    def check(t, x, y, run):
        t.assertSamplesEqual(y, np.trunc(x * (1.0 - mix)).astype(np.int16), 0, "dry mix")
    return check


class Cut:
    """An input whose file ends after `frames` frames while its header says all of `full`: it
    comes through a pipe, which cannot tell its length beforehand."""
    def __init__(self, full, frames):
        self.full, self.frames = full, frames


# name, input (samples or Cut), chain (one list of arguments per effect), checks
ROWS = [
    ("volume keeps every frame", tone(1), [effect("VolumeFilter5")], [frames()]),
]

# A delay far past the stream's end: its lines hold the stream, not the delay.
ROWS += [("%s %s on 1 s" % (name, keys[0]), tone(1), [effect(name, *keys, "MixDepth=50.0")],
          [peak_mb(100), dry(0.5)])
         for name, *keys in [("ReverbFilter5", "DelayTime=1e5", "ReverbrationGain=60.0"),
                             ("ReverbFilter5", "DelayTime=1e6", "ReverbrationGain=60.0"),
                             ("DelayFilter5", "DelayTime=1e6")]]


class StreamEnds(FxTestCase):
    def run_fx(self, x, chain, cut_bytes=None):
        """The output of corvane-fx on x and the run's peak memory and stderr; with cut_bytes,
        the input comes through a pipe that ends after that many bytes of the file."""
        src, dst = os.path.join(self.folder, "ends-in.wav"), os.path.join(self.folder, "ends-out.wav")
        write_wav(src, x, RATE)
        if os.path.exists(dst):
            os.remove(dst)
        cmd = [os.environ["CORVANE_FX"], "--registry-root", self.registry, "-o", dst]
        if cut_bytes is None:
            cmd += ["-i", src]
            feed = None
        else:
            cmd += ["-i", "/dev/stdin"]
            with open(src, "rb") as f:
                feed = f.read(cut_bytes)
        proc = subprocess.Popen(cmd + sum(chain, []), stdin=subprocess.PIPE if feed else None,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if feed:
            proc.stdin.write(feed)
            proc.stdin.close()
        err = proc.stderr.read().decode()
        _, status, usage = os.wait4(proc.pid, 0)
        proc.returncode = os.waitstatus_to_exitcode(status)
        self.assertEqual(proc.returncode, 0, err)
        return read_wav(dst)[0], {"mb": usage.ru_maxrss / 1024.0, "stderr": err}

    def test_rows(self):
        for name, x, chain, checks in ROWS:
            with self.subTest(name):
                if isinstance(x, Cut):
                    y, run = self.run_fx(x.full, chain, cut_bytes=44 + x.frames * 2 * x.full.shape[1])
                    x = x.full[:x.frames]
                else:
                    y, run = self.run_fx(x, chain)
                run["chain"] = chain
                for check in checks:
                    check(self, x, y, run)


if __name__ == "__main__":
    unittest.main(verbosity=2)
