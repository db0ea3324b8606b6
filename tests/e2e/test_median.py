"""End to end through corvane-fx: MedianFilter5 against a numpy model of the whole signal (the
frame length's zeros in front, frames every hop, numpy's real FFT, per bin the median of the
last mask magnitudes with the first frame that takes part as its history, the phase kept, the
inverse, overlap-add, the leading frame length dropped, the length kept), within 1 LSB. Frames of
8 samples: the library transforms that length on every processor today."""
import unittest

from fxrun import FxTestCase, np, signal


def median_model(x, n, mask_size, hann):
    """One channel (floats) through the median effect with frames of n samples."""
    mask = min(2 * mask_size - 1, 2048)
    m = mask if mask % 2 else mask - 1
    i = np.arange(n)
    w = 0.5 * (1.0 - np.cos(i * 6.283185307179586 / (n - 1))) if hann else np.ones(n)
    overlap = int(np.floor(n * 0.5 + 0.5)) if hann else 0
    hop = n - overlap
    factor = hop / n
    skip = int(np.floor(1.0 / factor + 0.5))
    v = np.concatenate([np.zeros(n), x])
    starts = np.arange(0, len(v), hop)
    padded = np.concatenate([v, np.zeros(n)])
    spectra = np.fft.rfft(np.stack([padded[s:s + n] * w for s in starts]), axis=1)
    mags = np.abs(spectra)
    scaled = spectra.copy()
    for f in range(skip, len(starts)):
        rows = [max(k, skip) for k in range(f - m + 1, f + 1)]
        med = np.median(mags[rows], axis=0)
        if starts[f] + n > len(v):  # a frame past the end is never raised
            med = np.minimum(med, mags[f])
        keep = mags[f] > 1e-9
        scaled[f, keep] *= med[keep] / mags[f, keep]
    frames = np.fft.irfft(scaled, n, axis=1) * n / np.sum(w)
    out = np.zeros(len(v) + 2 * n)
    for s, frame in zip(starts, frames):
        out[s:s + n] += frame
    return out[n:n + len(x)] * factor


def as_pcm16(y):
    """As the engine writes samples: times 32768, truncated toward zero, clamped."""
    return np.clip(np.trunc(y * 32768.0), -32768, 32767).astype(np.int16)


class Median(FxTestCase):
    def test_against_the_model(self):
        rate = 44100
        x = signal(6000, 2, seed=3)
        x[1234, :] = 30000  # a click
        for mask_size, window_type in ((3, 0), (2, 1)):
            with self.subTest(mask_size=mask_size, window_type=window_type):
                y = self.fx(x, rate, "-e", "MedianFilter5", "-p", "FFTBlockSize=8",
                            "-p", "MaskSize=%d" % mask_size, "-p", "WindowType=%d" % window_type)
                want = np.stack([as_pcm16(median_model(x[:, c] / 32768.0, 8, mask_size,
                                                       window_type == 1))
                                 for c in range(x.shape[1])], axis=1)
                self.assertSamplesEqual(y, want, 1, "MedianFilter5 mask %d window %d"
                                        % (2 * mask_size - 1, window_type))
                # The effect did something: the click is gone.
                self.assertLess(int(np.max(np.abs(y[1234].astype(int)))), 20000)


if __name__ == "__main__":
    unittest.main(verbosity=2)
