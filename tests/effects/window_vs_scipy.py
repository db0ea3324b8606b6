"""The analysis windows against scipy.signal.windows: every shape that scipy has by the same
definition, at lengths 7, 64, 65 and 2048, within 1e-12 (the Dolph-Chebyshev window, which scipy
computes through an FFT, within 1e-10), and the recommended overlap of each.

Usage: window_vs_scipy.py WINDOW_TOOL (exit 77 when scipy is missing)."""
import subprocess
import sys
import unittest

try:
    import numpy as np
    from scipy.signal import windows
except ImportError:
    print("scipy is missing (Debian: python3-scipy)")
    sys.exit(77)

TOOL = None
LENGTHS = (7, 64, 65, 2048)

FLAT_TOP = [1.0, 1.985844164102, 1.791176438506, 1.282075284005, 0.667777530266, 0.240160796576,
            0.056656381764, 0.008134974479, 0.00062454465, 1.9808998e-05, 1.32974e-07]

# WindowType: (reference for length n, tolerance, overlap, lengths)
CASES = {
    1: (lambda n: windows.hann(n), 1e-12, 0.5, LENGTHS),
    2: (lambda n: windows.hamming(n), 1e-12, 0.5, LENGTHS),
    3: (lambda n: windows.general_cosine(n, [0.42659, 0.49656, 0.076849]), 1e-12, 0.661, LENGTHS),
    4: (lambda n: windows.bartlett(n), 1e-12, 0.5, LENGTHS),
    7: (lambda n: windows.general_cosine(n, FLAT_TOP), 1e-12, 0.841, LENGTHS),
    8: (lambda n: windows.blackmanharris(n), 1e-12, 0.661, LENGTHS),
    9: (lambda n: windows.nuttall(n), 1e-12, 0.661, LENGTHS),
    11: (lambda n: windows.general_cosine(n, [0.355768, 0.487396, 0.144232, 0.012604]), 1e-12,
         0.663, LENGTHS),
    12: (lambda n: windows.barthann(n), 1e-12, 0.5, LENGTHS),
    13: (lambda n: windows.lanczos(n), 1e-12, 0.75, LENGTHS),
    # Centred on the integer half: only odd lengths are scipy's window.
    14: (lambda n: windows.gaussian(n, 0.2 * (n - 1)), 1e-12, 0.75, (7, 65)),
    15: (lambda n: windows.tukey(n, 0.7), 1e-12, 0.33, LENGTHS),
    16: (lambda n: windows.chebwin(n, 60), 1e-10, 0.5, LENGTHS),
}


def window(window_type, n):
    out = subprocess.run([TOOL, str(window_type), str(n)], check=True, capture_output=True,
                         text=True).stdout.split()
    assert out[0] == "overlap"
    return float(out[1]), np.array([float(v) for v in out[2:]])


class Windows(unittest.TestCase):
    def test_against_scipy(self):
        for window_type, (reference, tolerance, overlap, lengths) in CASES.items():
            for n in lengths:
                with self.subTest(window_type=window_type, n=n):
                    got_overlap, w = window(window_type, n)
                    self.assertEqual(got_overlap, overlap)
                    want = reference(n)
                    self.assertEqual(len(w), n)
                    err = np.max(np.abs(w - want))
                    self.assertLessEqual(err, tolerance, "largest difference %g" % err)


if __name__ == "__main__":
    TOOL = sys.argv.pop(1)
    unittest.main()
