"""End to end through corvane-fx: the ends of the stream and of a zone. Each row runs an input
(a steady tone, noise, a tone burst; whole, or cut short of what its header says) through a
chain and checks what users hear there: the frames written, silent runs where the input sounds,
the level at the ends, the lag against the input, a chain against its effects run one by one,
and the peak memory."""
import os
import select
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


def silent_runs(y, x):
    """The longest run of frames where y is silent while x sounds there (the common frames)."""
    n = min(len(x), len(y))
    quiet = np.concatenate([[0], np.all(y[:n] == 0, axis=1) & np.any(x[:n] != 0, axis=1), [0]])
    edges = np.flatnonzero(np.diff(quiet.astype(np.int8)))
    return int(np.max(edges[1::2] - edges[::2])) if edges.size else 0


def rms_db(a):
    return 10 * np.log10(max(np.mean(np.asarray(a, dtype=np.float64) ** 2), 1e-12))


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


def no_silence(ms=5.0, steady=False):
    """steady: the input sounds from its start to its end, so that silence anywhere in the output
    counts, wherever the effect moves the input's time."""
    def check(t, x, y, run):
        t.assertLessEqual(silent_runs(y, np.ones_like(y) if steady else x), frames_of(ms),
                          "silent run where the input sounds")
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


def stretched(factor, zone=None):
    """The stretch's length rule: the interval's frames times the factor, rounded once, and the
    audio after the interval whole and on time."""
    def check(t, x, y, run):
        start, ms = zone if zone else (0, 1e9)
        a, b = frames_of(start), min(frames_of(start + ms), len(x))
        inside = int(np.floor((b - a) * factor + 0.5))
        t.assertEqual(len(y), len(x) - (b - a) + inside, "frames by the length rule")
        t.assertTrue(np.array_equal(y[a + inside:], x[b:]), "the audio after the interval")
    return check


def one_by_one(within=2):
    """The chain gives what its effects give run one after another, within `within` LSB."""
    def check(t, x, y, run):
        z = x
        for e in run["chain"]:
            z = t.run_fx(z, [e])[0]
        t.assertSamplesEqual(y, z, within, "chain against one by one")
    return check


def onset_within(ms):
    """The first frame above a tenth of the input's peak comes within `ms` of the input's."""
    def check(t, x, y, run):
        first = lambda a: int(np.argmax(np.any(np.abs(a) > np.abs(x).max() // 10, axis=1)))
        t.assertLessEqual(abs(first(y) - first(x)), frames_of(ms), "onset against the input's")
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
    comes through a pipe, which cannot tell its length beforehand, or (truncated) is a regular
    file that is cut there once corvane-fx has written a megabyte into a FIFO, which holds its
    reads back until then."""
    def __init__(self, full, frames, truncated=False):
        self.full, self.frames, self.truncated = full, frames, truncated


# name, input (samples or Cut), chain (one list of arguments per effect), checks
ROWS = [
    ("volume keeps every frame", tone(1), [effect("VolumeFilter5")], [frames()]),
] + [
    # An effect ahead of the reverse runs on as in a straight run while the reverse reads its
    # interval, with no restart at the interval's start.
    ("%s %s ahead of reverse" % (name, keys[:1]), noise(1) if name[0] == "A" else tone(1),
     [effect(name, *keys), effect("ReverseFilter5", zones=["300:700"])], [one_by_one()])
    for name, *keys in [
        ("VibratoFilter5", "SweepFrequency=2.0", "SweepDepth=50.0"),
        ("WahWahFilter5", "LFOFrequency=2.0", "Resonance=4.0"),
        ("FlangerFilter5", "SweepDepth=50.0", "SweepRate=30.0", "FeedBackGain=30.0", "MixDepth=50.0"),
        ("DelayFilter5", "DelayTime=250.0", "FeedBackGain=40.0", "MixDepth=50.0"),
        ("ReverbFilter5", "DelayTime=100.0", "ReverbrationGain=60.0", "MixDepth=50.0"),
        ("EchoFilter5", "ReflectionsNumber=1", "AudioOffset0=250.0", "VolumeLevel0=0.5"),
        ("BandFilter5", "FilterType=4", "Frequency=1000.0", "Steepness=70.7"),
        ("EqualizeFilter5", "FrequencyArray=f32:[1000, 4000]", "dbGainArray=f32:[6, -6]"),
        ("AudioFilter5", "FilterType=2", "Threshold=0.05", "Ratio=4.0"),
        ("AudioFilter5", "FilterType=1", "FrequencyArray=f64:[1000]", "WidthArray=f64:[300]",
         "dbGainArray=f64:[6]"),
        ("MedianFilter5",)]
]

# The median's last frames at the stream's end and before a zone's end (it lowers white noise by
# 1.6 dB everywhere); input cut short on a pipe inside a source's block and, for the effects that
# hold samples back, where one ends (reverse needs an input it can seek; silence and the band
# filter's defaults sound nothing here).
ROWS += [("median %s %s %s" % (kind, keys, zones), x, [effect("MedianFilter5", *keys, zones=zones)],
          [frames(), ends_like_input(db=db, at_ms=1500 if zones else None)])
         for kind, x, db, sizes in (("tone", tone(2), 1.0, ((), ("FFTBlockSize=4096",))),
                                    ("noise", noise(2), 2.0, ((),)))
         for keys in sizes for zones in ((), ("500:1000",))]
ROWS += [("%s on a pipe cut after %d frames" % (e, n), Cut(tone(3), n), [effect(*e.split(":"))],
          [frames(0.5 if e.startswith("Stretch") else 1.0)] +
          ([] if e.split(":")[0] in ("Silence", "Band") else [no_silence()]))
         for e in ("Audio AudioNB Band Delay Echo Equalize Flanger Invert Median PitchShift:Rate=50.0 "
                   "Reverb Silence Stretch:TempoRate=2.0 Vibrato Volume WahWah").split()
         for n in (50000, 88200) if n == 50000 or e[:5] in ("Media", "Pitch", "Stret")]

# Stretch and pitch shift sound to the end of the stream and of a zone (at 1.0 s and 1.5 s); the
# pitch shift lines up with its input, and keeps an onset's time.
ZONE_ENDS = [(), ("500:1000",), ("500:500",)]
ROWS += [("pitch Rate %g sounds to the end, zones %s" % (r, z), tone(3),
          [effect("PitchShiftFilter5", "Rate=%r" % r, zones=z)], [frames(), no_silence()])
         for r in (25.0, 50.0, 100.0, 200.0, 400.0) for z in ZONE_ENDS]
ROWS += [("stretch TempoRate %g sounds to the end, zones %s" % (f, z), tone(3),
          [effect("StretchFilter5", "TempoRate=%r" % f, zones=z)], [no_silence(steady=True)])
         for f in (0.25, 0.5, 2.0, 4.0) for z in ZONE_ENDS]
ROWS += [("%s on a file truncated mid-run" % e, Cut(noise(120), frames_of(60000), True),
          [effect(*e.split(":"))], [frames(0.5 if e.startswith("Stretch") else 1.0), no_silence()])
         for e in ("Median", "Echo:ReflectionsNumber=1:AudioOffset0=250.0:VolumeLevel0=0.5",
                   "Delay:DelayTime=250.0:FeedBackGain=40.0:MixDepth=50.0", "Stretch:TempoRate=2.0")]
ROWS += [("median then reverse, with zones, after a seek that follows the input's end", tone(1),
          [effect("MedianFilter5", zones=["0:990"]), effect("ReverseFilter5", zones=["500:1000"])],
          [frames(), one_by_one()])]
ROWS += [("pitch Rate 100 lines up with its input", noise(1),
          [effect("PitchShiftFilter5", "Rate=100.0")], [frames(), lags(0)])]
ROWS += [("pitch Rate %g keeps an onset's time" % r, burst(2, 1.0),
          [effect("PitchShiftFilter5", "Rate=%r" % r)], [onset_within(10.0)]) for r in (50.0, 200.0)]

# A stretch whose length ends in a half frame, and effects after it, at odd and even lengths: each
# takes every frame the stretch delivers.
AFTER_STRETCH = [["SilenceFilter5"], ["ReverseFilter5"], ["MedianFilter5"],
                 ["PitchShiftFilter5", "Rate=150.0"],
                 ["BandFilter5", "FilterType=1", "Frequency=2000.0", "Steepness=70.7"],
                 ["DelayFilter5", "DelayTime=50.0", "MixDepth=50.0"]]
ROWS += [("stretch %s on %d frames, then %s" % (keys, n, e[0]), noise(n / RATE),
          [effect("StretchFilter5", keys), effect(*e)], [one_by_one()])
         for n in (44101, 44100) for keys in ("TempoRate=2.0", "RateRate=0.7") for e in AFTER_STRETCH]
# The stretch at the ends of its range: the length rule, nothing from past the stream's end, an
# effect after it that delivers every frame; no silence at a zone's start, the audio after a zone
# on time.
ROWS += [("stretch RateRate %g on 10 s%s" % (r, ", then silence" if then else ""), noise(10),
          [effect("StretchFilter5", "RateRate=%r" % r)] +
          ([effect("SilenceFilter5", zones=["0:1"])] if then else []), [stretched(1 / r)])
         for r in (20.0, 25.0, 50.0, 100.0) for then in (False, True)]
ROWS += [("stretch RateRate %g %s, zone %d:%d" % (r, keys, *z), tone(3),
          [effect("StretchFilter5", "RateRate=%r" % r, *keys, zones=["%d:%d" % z])],
          [stretched(1 / r, z), no_silence(steady=True)])
         for r, keys, z in ((0.01, (), (1000, 100)), (0.01, ("PitchShift=-60.0",), (1000, 100)),
                            (0.01, (), (2950, 100)), (0.01, (), (2000, 1)),
                            (100.0, (), (1000, 1500)))]

# A delay far past the stream's end: its lines hold the stream, not the delay.
ROWS += [("%s %s on 1 s" % (name, keys[0]), tone(1), [effect(name, *keys, "MixDepth=50.0")],
          [peak_mb(100), dry(0.5)])
         for name, *keys in [("ReverbFilter5", "DelayTime=1e5", "ReverbrationGain=60.0"),
                             ("ReverbFilter5", "DelayTime=1e6", "ReverbrationGain=60.0"),
                             ("DelayFilter5", "DelayTime=1e6")]]


class StreamEnds(FxTestCase):
    def run_fx(self, x, chain, cut_bytes=None, truncated=False):
        """The output of corvane-fx on x and the run's peak memory and stderr; with cut_bytes,
        the input ends after that many bytes of the file: on a pipe, or truncated there."""
        src, dst = os.path.join(self.folder, "ends-in.wav"), os.path.join(self.folder, "ends-out.wav")
        write_wav(src, x, RATE)
        if os.path.exists(dst):
            os.remove(dst)
        cmd = [os.environ["CORVANE_FX"], "--registry-root", self.registry, "-o", dst]
        if cut_bytes is None or truncated:
            cmd += ["-i", src]
            feed = None
        else:
            cmd += ["-i", "/dev/stdin"]
            with open(src, "rb") as f:
                feed = f.read(cut_bytes)
        if truncated:
            os.mkfifo(dst)
            fifo = os.open(dst, os.O_RDONLY | os.O_NONBLOCK)
        proc = subprocess.Popen(cmd + sum(chain, []), stdin=subprocess.PIPE if feed else None,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if feed:
            proc.stdin.write(feed)
            proc.stdin.close()
        data, done = b"", (0,)
        while truncated and not done[0]:
            try:
                chunk = os.read(fifo, 1 << 16)
            except BlockingIOError:  # corvane-fx is at work
                select.select([fifo], [], [], 1)
                continue
            if len(data) < 1 << 20 <= len(data) + len(chunk):
                os.truncate(src, cut_bytes)
            data += chunk  # nothing: no writer yet, or it has closed
            done = (0,) if chunk else os.wait4(proc.pid, os.WNOHANG)
        err = proc.stderr.read().decode()
        _, status, usage = done if done[0] else os.wait4(proc.pid, 0)
        proc.returncode = os.waitstatus_to_exitcode(status)
        self.assertEqual(proc.returncode, 0, err)
        if truncated:  # a WAV stream: the usual 44-byte header, then the samples
            os.close(fifo)
            self.assertIn("ends after %d of %d frames" % ((cut_bytes - 44) // 2 // x.shape[1],
                          len(x)), err, "the warning of the cut (none: read whole before it)")
            return np.frombuffer(data[44:], "<i2").reshape(-1, x.shape[1]), {"stderr": err}
        return read_wav(dst)[0], {"mb": usage.ru_maxrss / 1024.0, "stderr": err}

    def test_rows(self):
        for name, x, chain, checks in ROWS:
            with self.subTest(name):
                if isinstance(x, Cut):
                    y, run = self.run_fx(x.full, chain, 44 + x.frames * 2 * x.full.shape[1],
                                         x.truncated)
                    x = x.full[:x.frames]
                else:
                    y, run = self.run_fx(x, chain)
                run["chain"] = chain
                for check in checks:
                    check(self, x, y, run)


if __name__ == "__main__":
    unittest.main(verbosity=2)
