"""What the FIR design's checks share: the zero-phase response of symmetric taps, each band's
largest error, the equalizer's band table, and the comparison with scipy.signal.remez over the same
bands (each band's error within 10 % + 0.002 of remez's; the weighted error alternating at L + 1
extremals, as an equiripple optimum's does)."""
import numpy as np

try:
    from scipy import signal
except ImportError:
    signal = None

POINTS = 4000  # per band


def amplitude(h, f, rate):
    """Zero-phase amplitude of symmetric taps h at frequencies f (Hz)."""
    n = np.arange(len(h)) - (len(h) - 1) / 2.0
    return np.cos(2 * np.pi * np.outer(f, n) / rate) @ np.asarray(h, dtype=np.float64)


def band_errors(h, bands, desired, rate):
    """Largest |A(f) - desired| in each band."""
    return [np.max(np.abs(amplitude(h, np.linspace(lo, hi, POINTS), rate) - d))
            for (lo, hi), d in zip(bands, desired)]


def weighted_error(h, bands, desired, weights, rate):
    """The weighted error over all bands in ascending frequency, and its largest magnitude."""
    e = np.concatenate([w * (amplitude(h, np.linspace(lo, hi, POINTS), rate) - d)
                        for (lo, hi), d, w in zip(bands, desired, weights)])
    return e, np.max(np.abs(e))


def alternations(e, peak):
    """Length of the alternating sign sequence of the points where |e| reaches 0.9 x peak."""
    signs = list(np.sign(e[np.abs(e) >= 0.9 * peak]))
    return 1 + sum(1 for a, b in zip(signs, signs[1:]) if a != b) if signs else 0


def equalizer_bands(edges, db, rate):
    """Bands (Hz), linear gains and weights of the equalizer's table: band 0 from 0 Hz, band i from
    a tenth of the way past edge i-1, a last band from 1.1 x the top edge to half the rate."""
    g = [float(np.float32(10.0 ** (v / 20.0))) for v in db]
    bands = [(0.0, float(edges[0]))]
    bands += [(edges[i] + 0.1 * (edges[i + 1] - edges[i]), float(edges[i + 1]))
              for i in range(len(edges) - 1)]
    bands.append((float(np.float32(1.1) * np.float32(edges[-1])), rate / 2.0))
    return bands, g + [g[-1]], [100.0] * (len(edges) + 1)


def check_against_remez(test, name, h, bands, desired, weights, rate):
    """Each band's error within 10 % + 0.002 of remez's with the same bands, and the alternation.
    Prints both sets of errors."""
    n = len(h)
    remez = signal.remez(n, [f for b in bands for f in b], desired, weight=weights, fs=rate,
                         maxiter=100)
    ours, theirs = band_errors(h, bands, desired, rate), band_errors(remez, bands, desired, rate)
    print("%s, %d taps: band errors %s; remez %s" % (
        name, n, " ".join("%.4f" % v for v in ours), " ".join("%.4f" % v for v in theirs)))
    for i, (a, b) in enumerate(zip(ours, theirs)):
        test.assertLessEqual(abs(a - b), 0.1 * b + 0.002, "%s, %d taps, band %d" % (name, n, i))
    e, peak = weighted_error(h, bands, desired, weights, rate)
    test.assertGreaterEqual(alternations(e, peak), (n + 1) // 2 + 1,
                            "%s, %d taps: the error does not alternate" % (name, n))
