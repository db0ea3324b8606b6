"""Shared pieces of the end-to-end cases: run the built corvane-fx (and SoX) on WAV files made
here, and compare 16-bit samples with a model's. CTest passes the built programs through
CORVANE_FX, CORVANE_REG and CORVANE_MODULE; each test class registers the module in a registry
folder of its own, so that no case depends on the user's registration."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import wave

import numpy as np


def write_wav(path, samples, rate):
    """int16 samples shaped (frames, channels) as 16-bit PCM."""
    samples = np.asarray(samples, dtype=np.int16)
    with wave.open(path, "wb") as w:
        w.setnchannels(samples.shape[1])
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(samples.astype("<i2").tobytes())


def read_wav(path):
    """(int16 samples shaped (frames, channels), rate) of a 16-bit PCM WAV file."""
    with wave.open(path, "rb") as w:
        if w.getsampwidth() != 2:
            raise AssertionError("%s: %d-byte samples, expected 16-bit" % (path, w.getsampwidth()))
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2")
        return data.reshape(-1, w.getnchannels()).astype(np.int16), w.getframerate()


def signal(frames, channels, seed=0):
    """A reproducible test signal: two tones per channel under noise, peaks near half scale."""
    rng = np.random.default_rng(seed)
    n = np.arange(frames)[:, None]
    tones = (0.25 * np.sin(2 * np.pi * n * (0.013 + 0.007 * np.arange(channels)))
             + 0.12 * np.sin(2 * np.pi * n * 0.151 + 1.0))
    noise = rng.uniform(-0.12, 0.12, size=(frames, channels))
    return np.round((tones + noise) * 32767.0).astype(np.int16)


def _scratch():
    return tempfile.mkdtemp(prefix="corvane-e2e-")


def sox(samples, rate, *effect):
    """The samples through SoX's effect chain, without dither, as int16."""
    if shutil.which("sox") is None:
        raise unittest.SkipTest("sox is missing (Debian: sox)")
    folder = _scratch()
    try:
        src, dst = os.path.join(folder, "in.wav"), os.path.join(folder, "out.wav")
        write_wav(src, samples, rate)
        run = subprocess.run(["sox", "-D", src, "-b", "16", dst] + list(effect),
                             capture_output=True, text=True)
        if run.returncode != 0:
            raise AssertionError("sox %s failed: %s" % (" ".join(effect), run.stderr))
        return read_wav(dst)[0]
    finally:
        shutil.rmtree(folder, ignore_errors=True)


class FxTestCase(unittest.TestCase):
    """Registers the built module once per class; fx() runs corvane-fx on samples."""

    @classmethod
    def setUpClass(cls):
        missing = [v for v in ("CORVANE_FX", "CORVANE_REG", "CORVANE_MODULE") if v not in os.environ]
        if missing:
            raise unittest.SkipTest("run through CTest (%s not set)" % ", ".join(missing))
        cls.folder = _scratch()
        cls.registry = os.path.join(cls.folder, "registry")
        os.mkdir(cls.registry)
        run = subprocess.run([os.environ["CORVANE_REG"], "--user", "--root", cls.registry,
                              os.environ["CORVANE_MODULE"]], capture_output=True, text=True)
        if run.returncode != 0:
            shutil.rmtree(cls.folder, ignore_errors=True)
            raise AssertionError("registration failed: " + run.stdout + run.stderr)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def fx(self, samples, rate, *args):
        """The samples through corvane-fx with these arguments (effects, parameters, zones)."""
        src = os.path.join(self.folder, "in.wav")
        dst = os.path.join(self.folder, "out.wav")
        write_wav(src, samples, rate)
        if os.path.exists(dst):
            os.remove(dst)
        cmd = [os.environ["CORVANE_FX"], "--registry-root", self.registry, "-i", src, "-o", dst]
        run = subprocess.run(cmd + list(args), capture_output=True, text=True)
        if run.returncode != 0:
            self.fail("corvane-fx %s failed (%d): %s" % (" ".join(args), run.returncode,
                                                       run.stderr.strip()))
        self.warnings = [line for line in run.stderr.splitlines() if "warning:" in line]
        got, got_rate = read_wav(dst)
        self.assertEqual(got_rate, rate)
        return got

    def assertSamplesEqual(self, got, want, tolerance, what):
        """Same shape, and no sample further than tolerance LSB from the reference. The largest
        difference is printed, so that a run shows how close each comparison came."""
        got = np.asarray(got, dtype=np.int64)
        want = np.asarray(want, dtype=np.int64)
        self.assertEqual(got.shape, want.shape, "%s: shape" % what)
        diff = np.abs(got - want)
        worst = int(diff.max()) if diff.size else 0
        print("%s: largest difference %d LSB" % (what, worst), file=sys.stderr)
        if worst > tolerance:
            at = np.unravel_index(int(diff.argmax()), diff.shape)
            self.fail("%s: %d LSB at frame %d, channel %d (got %d, want %d); allowed %d"
                      % (what, worst, at[0], at[1], got[at], want[at], tolerance))
