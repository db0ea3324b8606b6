"""End to end through corvane-fx: the impulse response of EqualizeFilter5, read from the output
WAV, is symmetric to 1 LSB and meets scipy.signal.remez over the same bands (fir_reference)."""
import unittest

import fir_reference as ref
from fxrun import FxTestCase, np

AMPLITUDE = 32767
AT = 100  # frame of the impulse
TAPS = 51


class Equalizer(FxTestCase):
    @unittest.skipIf(ref.signal is None, "scipy is missing (Debian: python3-scipy)")
    def test_impulse_response_against_remez(self):
        rate = 44100
        x = np.zeros((4000, 1), dtype=np.int16)
        x[AT, 0] = AMPLITUDE
        for edges, db in (([4000, 18400], [0, -40]), ([2000, 6000, 18400], [-6, 0, -40])):
            with self.subTest(edges=edges):
                y = self.fx(x, rate, "-e", "EqualizeFilter5",
                            "-p", "FrequencyArray=f32:[%s]" % ", ".join(map(str, edges)),
                            "-p", "dbGainArray=f32:[%s]" % ", ".join(map(str, db)))
                self.assertEqual(y.shape, x.shape)
                self.assertTrue(np.all(y[:AT] == 0) and np.all(y[AT + TAPS:] == 0),
                                "output outside the taps")
                response = y[AT:AT + TAPS, 0].astype(np.int64)
                self.assertLessEqual(int(np.max(np.abs(response - response[::-1]))), 1)
                ref.check_against_remez(self, "corvane-fx EqualizeFilter5 %s" % edges,
                                        response / AMPLITUDE, *ref.equalizer_bands(edges, db, rate),
                                        rate)


if __name__ == "__main__":
    unittest.main(verbosity=2)
