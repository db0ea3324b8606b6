"""End to end through corvane-fx: effects and chains that hold samples back keep the stream's
length and alignment. Each row runs a signal without a silent frame through a chain and checks
the frames written, the silent frames at either end (SoundTouch driven directly fades a run of
two channels in over up to 64), the warnings, and that a chain gives what its effects give run one
after another."""
import unittest

from fxrun import FxTestCase, np, signal

MEDIAN, PITCH = ["-e", "MedianFilter5"], ["-e", "PitchShiftFilter5"]


def stretch(*keys):
    return ["-e", "StretchFilter5"] + sum((["-p", k] for k in keys), [])


HALF = stretch("TempoRate=2.0", "Rate=0.5")
# name, rate, channels, frames in, effects, frames out, most silent at start and end, warnings
ROWS = [
    ("median, zone past the end", 44100, 2, 13230, [MEDIAN + ["-z", "0:301"]], 13230, 0, 0, 0),
    ("median, zone across the end", 44100, 2, 13230, [MEDIAN + ["-z", "250:100"]], 13230, 0, 0, 0),
    ("stretch, zone across the end", 44100, 2, 13230, [HALF + ["-z", "200:1000"]], 11025, 0, 0, 0),
    ("median, median", 44100, 2, 22050, [MEDIAN, MEDIAN], 22050, 0, 0, 0),
    ("median, pitch shift", 44100, 2, 22050, [MEDIAN, PITCH], 22050, 0, 0, 0),
    ("median, stretch", 44100, 2, 22050, [MEDIAN, HALF], 11025, 0, 0, 0),
    ("tempo 100", 44100, 2, 13230, [stretch("TempoRate=100.0", "Rate=0.01")], 132, 0, 0, 0),
    ("tempo 100, 8 channels", 192000, 8, 57600, [stretch("TempoRate=100.0", "Rate=0.01")], 576,
     0, 0, 0),
    ("tempo 50", 44100, 2, 132300, [stretch("TempoRate=50.0", "Rate=0.02")], 2646, 0, 0, 0),
    ("tempo 10, 8 channels", 192000, 8, 57600, [stretch("TempoRate=10.0", "Rate=0.1")], 5760,
     0, 0, 0),
    ("tempo 0.5 without Rate", 44100, 1, 88200, [stretch("TempoRate=0.5")], 176400, 0, 0, 0),
    ("only Rate", 44100, 2, 13230, [stretch("Rate=0.1")], 13230, 64, 0, 1),
    ("17 channels", 8000, 17, 2000, [HALF], 2000, 0, 0, 1),
    ("16 channels, anti-aliased", 8000, 16, 2000, [HALF], 2000, 0, 0, 1),
    ("stretch, median at 3 Hz", 3, 2, 3000, [stretch("TempoRate=1.5", "Rate=0.6666667"), MEDIAN],
     2000, 0, 0, 0),
    ("stretch, median at 32 Hz", 32, 2, 3200, [stretch("TempoRate=1.5", "Rate=0.6666667"),
                                                MEDIAN], 2133, 0, 0, 0),
    ("pitch shift", 44100, 2, 22050, [PITCH + ["-p", "Rate=141.0"]], 22050, 0, 0, 0),
]


def silent_ends(y):
    sounding = np.flatnonzero(np.any(y != 0, axis=1))
    return (int(sounding[0]), int(len(y) - 1 - sounding[-1])) if sounding.size else (len(y),) * 2


class Lengths(FxTestCase):
    def test_rows(self):
        for name, rate, channels, frames, effects, want, lead, trail, warnings in ROWS:
            with self.subTest(name):
                x = signal(frames, channels, seed=len(name))
                self.assertEqual(silent_ends(x), (0, 0))
                y = self.fx(x, rate, *sum(effects, []))
                self.assertEqual(len(y), want, "frames written")
                self.assertTrue(np.all(np.array(silent_ends(y)) <= (lead, trail)), silent_ends(y))
                self.assertEqual(len(self.warnings), warnings, self.warnings)
                if len(effects) > 1:
                    one_by_one = x
                    for effect in effects:
                        one_by_one = self.fx(one_by_one, rate, *effect)
                    self.assertTrue(np.array_equal(y, one_by_one), "chain and one by one differ")
        x = signal(2000, 17, seed=1)  # passed through as it came
        self.assertTrue(np.array_equal(self.fx(x, 8000, *HALF), x))


if __name__ == "__main__":
    unittest.main(verbosity=2)
