"""The equiripple FIR design against scipy: each band's largest error within 10 % + 0.002 of
scipy.signal.remez with the same bands, the weighted error alternating at L + 1 extremals, taps
exactly symmetric, a zero at half the sample rate for even tap counts, and DesignLowPassFir below
the weighted error of every Kaiser-window design of the same length (scipy.signal.firwin).

Usage: fir_design_vs_scipy.py FIR_DESIGN_TOOL (exit 77 when scipy is missing)."""
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import fir_reference as ref  # noqa: E402

if ref.signal is None:
    print("scipy is missing (Debian: python3-scipy)")
    sys.exit(77)
np = ref.np

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


def lowpass_bands(spec):
    """Bands, desired gains and weights of the tool's low-pass band layout."""
    f = [p[0] for p in spec]
    return [(f[0], f[1]), (f[3], f[4])], [1.0, 0.0], [spec[0][2], spec[3][2]]


def table_arguments(bands, desired, weights):
    """The design tool's three lists for these bands: two points each, -1 between."""
    lists = ([], [], [])
    for (lo, hi), d, w in zip(bands, desired, weights):
        for out, a, b in zip(lists, (lo, d, w), (hi, d, w)):
            out.extend(([-1.0] if out else []) + [a, b])
    return [",".join("%.9g" % v for v in values) for values in lists]


class Design(unittest.TestCase):
    def check(self, name, h, bands, desired, weights):
        ref.check_against_remez(self, name, h, bands, desired, weights, RATE)
        np.testing.assert_array_equal(h, h[::-1], "%s: taps not symmetric" % name)
        if len(h) % 2 == 0:
            self.assertLess(abs(ref.amplitude(h, [RATE / 2], RATE)[0]), 1e-12, name)

    def test_lowpass_against_remez(self):
        for n in (80, 51, 50):
            with self.subTest(n=n):
                h, status, spec = design("lowpass", n, RATE, 10000, 5)
                self.assertIn(status, (0, 1))
                self.assertEqual([p[0] for p in spec], [0, 10000, -1, 11000, 22049])
                self.check("low-pass", h, *lowpass_bands(spec))

    def test_equalizer_tables_against_remez(self):
        for edges, db in (([4000, 18400], [0, -40]), ([2000, 6000, 18400], [-6, 0, -40])):
            with self.subTest(edges=edges):
                bands, desired, weights = ref.equalizer_bands(edges, db, RATE)
                h, status, _ = design("bands", 50, RATE,
                                      *table_arguments(bands, desired, weights))
                self.assertIn(status, (0, 1))
                self.check("equalizer %s" % edges, h, bands, desired, weights)

    def test_lowpass_beats_every_kaiser_window(self):
        for n in (80, 51, 50):
            with self.subTest(n=n):
                h, _, spec = design("lowpass", n, RATE, 10000, 5)
                bands, desired, weights = lowpass_bands(spec)
                ours = ref.weighted_error(h, bands, desired, weights, RATE)[1]
                best = min(ref.weighted_error(
                    ref.signal.firwin(n, 10500, window=("kaiser", beta), fs=RATE), bands,
                    desired, weights, RATE)[1] for beta in np.arange(0.0, 12.01, 0.25))
                print("low-pass, %d taps: weighted error %.5f, best Kaiser window %.5f (x %.2f)"
                      % (n, ours, best, best / ours))
                self.assertLess(ours, best)


if __name__ == "__main__":
    TOOL = sys.argv.pop(1)
    unittest.main(verbosity=2)
