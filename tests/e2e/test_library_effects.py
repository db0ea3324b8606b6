"""End to end through corvane-fx: the effects built on a library against that library driven
directly (library_oracle: SoundTouch for the stretch, FFmpeg's filter graph for the noise gate and
the parametric equaliser), sample for sample; the channel map against numpy's column order; the
pitch shift's tone against its expected frequency."""
import os
import subprocess
import unittest

from fxrun import FxTestCase, np, read_wav, signal, write_wav


class LibraryEffects(FxTestCase):
    rate = 44100

    def oracle(self, samples, *args):
        """The samples through library_oracle with these arguments."""
        if "CORVANE_LIBRARY_ORACLE" not in os.environ:
            self.skipTest("run through CTest (CORVANE_LIBRARY_ORACLE not set)")
        src = os.path.join(self.folder, "oracle-in.wav")
        dst = os.path.join(self.folder, "oracle-out.wav")
        write_wav(src, samples, self.rate)
        run = subprocess.run([os.environ["CORVANE_LIBRARY_ORACLE"], args[0], src, dst] +
                             [str(a) for a in args[1:]], capture_output=True, text=True)
        if run.returncode != 0:
            self.fail("library_oracle %s failed: %s" % (" ".join(map(str, args)), run.stderr))
        return read_wav(dst)[0]

    def test_stretch_against_soundtouch(self):
        x = signal(3 * self.rate, 2, seed=5)
        for tempo, rate, pitch, mode in ((1.5, 1.0, -2.0, 1), (0.8, 1.25, 3.5, 0)):
            with self.subTest(tempo=tempo, rate=rate, pitch=pitch):
                got = self.fx(x, self.rate, "-e", "StretchFilter5",
                              "-p", "TempoRate=%r" % tempo, "-p", "RateRate=%r" % rate,
                              "-p", "PitchShift=%r" % pitch, "-p", "Mode=%d" % mode,
                              "-p", "Rate=%r" % (1.0 / (tempo * rate)), "--block", "20")
                want = self.oracle(x, "stretch", tempo, rate, pitch, mode, 1)
                # The oracle stops where SoundTouch needs input past the end; the effect's ending
                # is checked against the input by the unit tests.
                self.assertSamplesEqual(got[:len(want)], want, 0,
                                        "stretch tempo %g rate %g" % (tempo, rate))

    def test_gate_and_equalizer_against_the_graph(self):
        x = signal(2 * self.rate, 2, seed=6)
        got = self.fx(x, self.rate, "-e", "AudioFilter5", "-p", "FilterType=2",
                      "-p", "Threshold=0.05", "-p", "Ratio=4.0", "-p", "Attack=5.0")
        want = self.oracle(x, "graph", "dbl", "agate=threshold=0.05:ratio=4:attack=5")
        self.assertSamplesEqual(got, want, 0, "noise gate")
        got = self.fx(x, self.rate, "-e", "AudioFilter5", "-p", "FilterType=1",
                      "-p", "EqualizerType=1", "-p", "FrequencyArray=f64:[100, 1000, 8000]",
                      "-p", "WidthArray=f64:[50, 300, 2000]", "-p", "dbGainArray=f64:[6, -4, 3]")
        bands = "|".join("c0 f=%f w=%f g=%f t=1" % b
                         for b in ((100, 50, 6), (1000, 300, -4), (8000, 2000, 3)))
        want = self.oracle(x, "graph", "dblp", "anequalizer=params='%s'" % bands)
        self.assertSamplesEqual(got, want, 0, "parametric equaliser")

    def test_channel_map_reorders_columns(self):
        for channels, order in ((2, [1, 0]), (6, [2, 0, 1, 5, 3, 4]), (2, [0, 0])):
            with self.subTest(order=order):
                x = signal(self.rate, channels, seed=7)
                args = ["-e", "AudioFilterNB5", "-p", "FilterType=3",
                        "-p", "MapArray=[%s]" % ",".join(["{}"] * channels)]
                for i, source in enumerate(order):
                    args += ["-p", "MapArray[%d]=%d" % (i, source)]
                got = self.fx(x, self.rate, *args)
                self.assertSamplesEqual(got, x[:, order], 0, "channel map %s" % order)

    def test_pitch_shift_moves_a_tone(self):
        n = np.arange(2 * self.rate)
        x = np.round(0.5 * 32767 * np.sin(2 * np.pi * 441.0 * n / self.rate)).astype(np.int16)
        for rate in (50.0, 141.0, 200.0):
            with self.subTest(rate=rate):
                y = self.fx(x[:, None], self.rate, "-e", "PitchShiftFilter5",
                            "-p", "Rate=%r" % rate)[:, 0].astype(np.float64)
                self.assertEqual(len(y), len(x))
                # Rising zero crossings, interpolated, over the second half.
                tail = y[self.rate // 2:]
                at = np.nonzero((tail[:-1] < 0) & (tail[1:] >= 0))[0]
                crossings = at + tail[at] / (tail[at] - tail[at + 1])
                frequency = (len(crossings) - 1) * self.rate / (crossings[-1] - crossings[0])
                self.assertAlmostEqual(frequency / (441.0 * 100.0 / rate), 1.0, delta=0.002)


if __name__ == "__main__":
    unittest.main()
