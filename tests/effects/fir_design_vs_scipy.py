"""The equiripple FIR design against scipy: each band's largest error within 10 % + 0.002 of
scipy.signal.remez with the same bands, the weighted error alternating at L + 1 extremals, taps
exactly symmetric, a zero at half the sample rate for even tap counts, and DesignLowPassFir below
the weighted error of every Kaiser-window design of the same length (scipy.signal.firwin).

Usage: fir_design_vs_scipy.py FIR_DESIGN_TOOL (exit 77 when scipy is missing)."""
import subprocess
import sys
import unittest

try:
    import numpy as np
    from scipy import signal
except ImportError:
    print("scipy is missing (Debian: python3-scipy)")
    sys.exit(77)

TOOL = None
RATE = 44100.0


def design(*args):
    """(taps, status, spec) printed by the design tool."""
    out = subprocess.run([TOOL] + [str(a) for a in args], check=True, capture_output=True,
                         text=True).stdout.split("\n")
    spec = [tuple(float(v) for v in line.split()[1:]) for line in out if line.startswith("spec")]
    status = int(next(line for line in out if line.startswith("status")).split()[1])
    rest = [line for line in out if line and not line.startswith(("spec", "status", "deviation"))]
    return np.array([float(v) for v in rest]), status, spec


def amplitude(h, f):
    """Zero-phase amplitude of symmetric taps h at frequencies f (Hz)."""
    n = np.arange(len(h)) - (len(h) - 1) / 2.0
    return np.cos(2 * np.pi * np.outer(f, n) / RATE) @ h


def band_errors(h, bands, desired):
    """Largest |A(f) - desired| in each band, on 4000 points per band."""
    return [np.max(np.abs(amplitude(h, np.linspace(lo, hi, 4000)) - d))
            for (lo, hi), d in zip(bands, desired)]


def weighted_error(h, bands, desired, weights):
    """The weighted error over all bands in ascending frequency, and its largest magnitude."""
    e = np.concatenate([w * (amplitude(h, np.linspace(lo, hi, 4000)) - d)
                        for (lo, hi), d, w in zip(bands, desired, weights)])
    return e, np.max(np.abs(e))


def alternations(e, peak):
    """Length of the alternating sign sequence of the points where |e| reaches 0.9 x peak."""
    signs = [s for s in np.sign(e[np.abs(e) >= 0.9 * peak])]
    return 1 + sum(1 for a, b in zip(signs, signs[1:]) if a != b) if signs else 0


def lowpass_bands(spec):
    """Bands, desired gains and weights of the tool's low-pass specification."""
    f = [p[0] for p in spec]
    return [(f[0], f[1]), (f[3], f[4])], [1.0, 0.0], [spec[0][2], spec[3][2]]


def equalizer_table(edges, db):
    """The equalizer's band table (the last band runs to half the sample rate) as the design
    tool's arguments, and the bands, desired gains and weights for scipy."""
    g = [10.0 ** (v / 20.0) for v in db]
    bands = [(0.0, edges[0])]
    bands += [(edges[i] + 0.1 * (edges[i + 1] - edges[i]), edges[i + 1])
              for i in range(len(edges) - 1)]
    bands.append((float(np.float32(1.1) * np.float32(edges[-1])), RATE / 2))
    desired = g + [g[-1]]
    freqs, gains, weights = [], [], []
    for (lo, hi), d in zip(bands, desired):
        if freqs:
            freqs.append(-1.0), gains.append(-1.0), weights.append(-1.0)
        freqs += [lo, hi]
        gains += [d, d]
        weights += [100.0, 100.0]
    args = [",".join("%.9g" % v for v in a) for a in (freqs, gains, weights)]
    return args, bands, desired, [100.0] * len(bands)


class Design(unittest.TestCase):
    def check_against_remez(self, name, n, h, bands, desired, weights):
        remez = signal.remez(n, [f for b in bands for f in b], desired, weight=weights, fs=RATE,
                             maxiter=100)
        ours, theirs = band_errors(h, bands, desired), band_errors(remez, bands, desired)
        print("%s N %d: band errors %s, remez %s" % (
            name, n, " ".join("%.4f" % v for v in ours), " ".join("%.4f" % v for v in theirs)))
        for i, (a, b) in enumerate(zip(ours, theirs)):
            self.assertLessEqual(abs(a - b), 0.1 * b + 0.002, "%s N %d band %d" % (name, n, i))
        e, peak = weighted_error(h, bands, desired, weights)
        self.assertGreaterEqual(alternations(e, peak), (n + 1) // 2 + 1 if n % 2 else n // 2 + 1,
                                "%s N %d: the error does not alternate" % (name, n))
        np.testing.assert_array_equal(h, h[::-1], "%s N %d: taps not symmetric" % (name, n))
        if n % 2 == 0:
            self.assertLess(abs(amplitude(h, [RATE / 2])[0]), 1e-12, "%s N %d" % (name, n))

    def test_lowpass_against_remez(self):
        for n in (80, 51, 50):
            with self.subTest(n=n):
                h, status, spec = design("lowpass", n, RATE, 10000, 5)
                self.assertIn(status, (0, 1))
                self.assertEqual([p[0] for p in spec], [0, 10000, -1, 11000, 22049])
                self.check_against_remez("low-pass", n, h, *lowpass_bands(spec))

    def test_equalizer_tables_against_remez(self):
        for edges, db in (([4000, 18400], [0, -40]), ([2000, 6000, 18400], [-6, 0, -40])):
            with self.subTest(edges=edges):
                args, bands, desired, weights = equalizer_table(edges, db)
                h, status, _ = design("bands", 50, RATE, *args)
                self.assertIn(status, (0, 1))
                self.check_against_remez("equalizer %s" % edges, 50, h, bands, desired, weights)

    def test_lowpass_beats_every_kaiser_window(self):
        for n in (80, 51, 50):
            with self.subTest(n=n):
                h, _, spec = design("lowpass", n, RATE, 10000, 5)
                bands, desired, weights = lowpass_bands(spec)
                ours = weighted_error(h, bands, desired, weights)[1]
                best = min(weighted_error(signal.firwin(n, 10500, window=("kaiser", beta),
                                                        fs=RATE), bands, desired, weights)[1]
                           for beta in np.arange(0.0, 12.01, 0.25))
                print("low-pass N %d: weighted error %.5f, best Kaiser window %.5f (x %.2f)"
                      % (n, ours, best, best / ours))
                self.assertLess(ours, best)


if __name__ == "__main__":
    TOOL = sys.argv.pop(1)
    unittest.main(verbosity=2)
