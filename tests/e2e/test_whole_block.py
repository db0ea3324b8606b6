"""End to end through corvane-fx: the invert, silence, volume, echo and reverse effects against
numpy models of their integer formulas, and against SoX (without dither) where its algorithm is
the same."""
import sys
import unittest

from fxrun import FxTestCase, np, signal, sox


def q8(factor):
    """A level as the effects' Q8 gain: round(factor x 256)."""
    return int(np.round(factor * 256.0))


def scaled(x, gain):
    """clamp(floor((x g + 128) / 256)), the Q8 gain on 16-bit samples."""
    return np.clip(np.floor_divide(x.astype(np.int64) * gain + 128, 256), -32768, 32767).astype(
        np.int16)


def frames_at(ms, rate):
    return int(rate * ms / 1000.0 + 0.0001)


class WholeBlockEffects(FxTestCase):
    rate = 44100

    def test_invert(self):
        x = signal(22050, 2, seed=11)
        x[:4, 0] = (-32768, 32767, 0, -1)
        want = np.clip(-x.astype(np.int64), -32768, 32767).astype(np.int16)
        got = self.fx(x, self.rate, "-e", "InvertFilter5")
        self.assertSamplesEqual(got, want, 0, "invert")
        self.assertSamplesEqual(got, sox(x, self.rate, "vol", "-1"), 0, "sox vol -1")

    def test_silence_in_a_zone(self):
        x = signal(22050, 2, seed=12)
        got = self.fx(x, self.rate, "-e", "SilenceFilter5", "-z", "100:250.5")
        want = x.copy()
        want[frames_at(100.0, self.rate):frames_at(350.5, self.rate)] = 0
        self.assertSamplesEqual(got, want, 0, "silence in 100:250.5")

    def test_volume(self):
        x = signal(22050, 2, seed=13)
        got = self.fx(x, self.rate, "-e", "VolumeFilter5", "-p", "dBVolumeLevel=-6.0")
        self.assertSamplesEqual(got, scaled(x, q8(10 ** (-6.0 / 20))), 0, "volume -6 dB")
        half = self.fx(x, self.rate, "-e", "VolumeFilter5", "-p", "VolumeLevel=0.5")
        self.assertSamplesEqual(half, sox(x, self.rate, "vol", "0.5"), 1, "sox vol 0.5")

    def test_echo(self):
        x = signal(22050, 2, seed=14)
        got = self.fx(x, self.rate, "-e", "EchoFilter5", "-p", "ReflectionsNumber=2",
                      "-p", "AudioOffset0=10.0", "-p", "VolumeLevel0=0.5",
                      "-p", "AudioOffset1=23.7", "-p", "dBVolumeLevel1=-9.0")
        acc = x.astype(np.int64) * 256
        for ms, factor in ((10.0, 0.5), (23.7, 10 ** (-9.0 / 20))):
            d = frames_at(ms, self.rate)
            gain = (int(np.floor(factor * 65536 + 0.5)) + 128) >> 8
            acc[d:] += gain * x[:-d].astype(np.int64)
        want = np.clip((acc + 128) >> 8, -32768, 32767).astype(np.int16)
        self.assertSamplesEqual(got, want, 0, "echo, two reflections")
        one = self.fx(x, self.rate, "-e", "EchoFilter5", "-p", "ReflectionsNumber=1",
                      "-p", "AudioOffset0=10.0", "-p", "VolumeLevel0=0.5")
        self.assertSamplesEqual(one, sox(x, self.rate, "echo", "1", "1", "10", "0.5")[:len(x)],
                                1, "sox echo 1 1 10 0.5")

    def test_reverse(self):
        # 12 s at 8000 Hz: three files of at most 5000 ms.
        rate = 8000
        x = signal(12 * rate, 2, seed=15)
        whole = self.fx(x, rate, "-e", "ReverseFilter5")
        self.assertSamplesEqual(whole, x[::-1], 0, "reverse without zones (the whole file)")
        self.assertSamplesEqual(whole, sox(x, rate, "reverse"), 0, "sox reverse")
        zoned = self.fx(x, rate, "-e", "ReverseFilter5", "-p", "nSamplesPerSec=8000",
                        "-p", "nChannels=2", "-z", "1000.5:7000")
        first, end = frames_at(1000.5, rate), frames_at(8000.5, rate)
        want = x.copy()
        want[first:end] = x[first:end][::-1]
        self.assertSamplesEqual(zoned, want, 0, "reverse in 1000.5:7000")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[1:])
