"""End to end through corvane-fx: the band filter against scipy.signal.lfilter with the cookbook
coefficients computed here and against SoX's biquads; the delay, flanger, vibrato and reverb
against numpy models of their formulas (float32 where the effects keep floats)."""
import math
import sys
import unittest

from fxrun import FxTestCase, np, signal, sox

try:
    from scipy import signal as sps
except ImportError:
    sps = None

TWO_PI = 6.283185307179586
F32 = np.float32


def to_pcm16(y):
    """Doubles at full scale 1.0 as the effects write them: x 32768, NaN to 0, clamped, truncated
    toward zero."""
    v = np.nan_to_num(np.asarray(y, dtype=np.float64) * 32768.0, nan=0.0)
    return np.trunc(np.clip(v, -32768.0, 32767.0)).astype(np.int16)


def per_channel(samples, model):
    """The model (doubles of one channel -> doubles) over every channel of int16 samples."""
    x = samples.astype(np.float64) / 32768.0
    return np.stack([to_pcm16(model(x[:, c])) for c in range(x.shape[1])], axis=1)


def cookbook(kind, gain_db, f0, fs, q_hundredths):
    """(b, a) of the cookbook biquad of that kind, normalised by a0."""
    A = 10.0 ** (gain_db / 40.0)
    w0 = TWO_PI * f0 / fs
    Q = (1.0 if q_hundredths == 0 else q_hundredths) / 100.0
    sn, cs = math.sin(w0), math.cos(w0)
    alpha = sn / (2.0 * Q)
    k = 2.0 * math.sqrt(A) * alpha
    b, a = {
        "lowpass": ([(1 - cs) / 2, 1 - cs, (1 - cs) / 2], [1 + alpha, -2 * cs, 1 - alpha]),
        "highpass": ([(1 + cs) / 2, -(1 + cs), (1 + cs) / 2], [1 + alpha, -2 * cs, 1 - alpha]),
        "bandpass_skirt": ([sn / 2, 0.0, -sn / 2], [1 + alpha, -2 * cs, 1 - alpha]),
        "notch": ([1.0, -2 * cs, 1.0], [1 + alpha, -2 * cs, 1 - alpha]),
        "peaking": ([1 + alpha * A, -2 * cs, 1 - alpha * A], [1 + alpha / A, -2 * cs, 1 - alpha / A]),
        "lowshelf": ([A * ((A + 1) - (A - 1) * cs + k), 2 * A * ((A - 1) - (A + 1) * cs),
                      A * ((A + 1) - (A - 1) * cs - k)],
                     [(A + 1) + (A - 1) * cs + k, -2 * ((A - 1) + (A + 1) * cs),
                      (A + 1) + (A - 1) * cs - k]),
        "highshelf": ([A * ((A + 1) + (A - 1) * cs + k), -2 * A * ((A - 1) + (A + 1) * cs),
                       A * ((A + 1) + (A - 1) * cs - k)],
                      [(A + 1) - (A - 1) * cs + k, 2 * ((A - 1) - (A + 1) * cs),
                       (A + 1) - (A - 1) * cs - k]),
    }[kind]
    return np.array(b) / a[0], np.array(a) / a[0]


# "FilterType" -> cookbook kind.
BAND_TYPES = {1: "lowpass", 2: "highpass", 3: "notch", 4: "bandpass_skirt", 5: "lowshelf",
              6: "highshelf", 7: "peaking"}


class BandFilter(FxTestCase):
    rate = 44100

    def band(self, x, filter_type, freq, q, gain=0.0):
        return self.fx(x, self.rate, "-e", "BandFilter5", "-p", "FilterType=%d" % filter_type,
                       "-p", "Frequency=%r" % float(freq), "-p", "Steepness=%r" % float(q),
                       "-p", "dbGain=%r" % float(gain))

    @unittest.skipIf(sps is None, "scipy is missing (Debian: python3-scipy)")
    def test_every_type_against_lfilter(self):
        x = signal(22050, 2, seed=3)
        for filter_type, kind in BAND_TYPES.items():
            for freq, q, gain in ((1000.0, 70.7, 6.0), (150.0, 300.0, -9.0)):
                with self.subTest(kind=kind, freq=freq):
                    b, a = cookbook(kind, gain if filter_type >= 5 else 0.0, freq, self.rate, q)
                    want = per_channel(x, lambda c: sps.lfilter(b, a, c))
                    self.assertSamplesEqual(self.band(x, filter_type, freq, q, gain), want, 1,
                                            "type %d %s at %g Hz" % (filter_type, kind, freq))

    def test_sox_biquads(self):
        # SoX rounds to the nearest sample where the effect truncates: 2 LSB. Quiet enough that
        # neither clips.
        x = (signal(22050, 2, seed=4) // 4).astype(np.int16)
        cases = [
            (1, 1200.0, 70.7, 0.0, ["lowpass", "-2", "1200", "0.707q"]),
            (2, 800.0, 150.0, 0.0, ["highpass", "-2", "800", "1.5q"]),
            (3, 2000.0, 200.0, 0.0, ["bandreject", "2000", "2q"]),
            (4, 1000.0, 70.7, 0.0, ["bandpass", "-c", "1000", "0.707q"]),
            (7, 3000.0, 100.0, 6.0, ["equalizer", "3000", "1q", "6"]),
        ]
        for filter_type, freq, q, gain, effect in cases:
            with self.subTest(sox=" ".join(effect)):
                self.assertSamplesEqual(self.band(x, filter_type, freq, q, gain),
                                        sox(x, self.rate, *effect), 2, "sox " + " ".join(effect))


def delay_model(x, rate, kind, mix, feedback, delay_ms):
    L = int(F32(F32(rate) * F32(delay_ms)) / 1000.0)
    if L == 0:
        return x
    m, f = float(F32(mix)), float(F32(feedback))
    line = np.zeros(len(x))
    y = np.empty(len(x))
    for n in range(len(x)):
        d = line[n - L] if n >= L else 0.0
        line[n] = f * d + x[n]
        y[n] = (1 - m) * x[n] + m * d if kind == 1 else (d - f * line[n]) * m + (1 - m) * x[n]
    return y


def flanger_model(x, rate, kind, delay_rate, mix, feedback, depth_pc, rate_pc, phase_deg):
    dr = float(F32(delay_rate))
    base = dr * 9.0 / 100.0 + 1.0 if kind == 3 else dr * 20.0 / 100.0 + 30.0
    L = int(base * rate / 1000.0)
    depth = F32(F32(L) * F32(depth_pc) / F32(100.0))
    omega = float(F32((float(F32(rate_pc)) * 2.9 / 100.0 + 0.1) / rate)) * TWO_PI
    phase = float(F32(phase_deg * TWO_PI / 360.0))
    m, f = float(F32(mix)), float(F32(feedback))
    smax = F32(max(L - 2, 0))
    line = np.zeros(len(x))
    y = np.empty(len(x))
    for n in range(len(x)):
        s = min(F32((math.sin(n * omega + phase) + 1.0) * float(depth) * 0.5), smax)
        whole = int(math.ceil(s))
        older = line[n - whole - 2] if n - whole - 2 >= 0 else 0.0
        newer = line[n - whole - 1] if n - whole - 1 >= 0 else 0.0
        frac = float(F32(s - np.trunc(s)))
        tap = (1.0 - frac) * (newer - older) + older
        line[n] = f * tap + x[n]
        y[n] = (1 - m) * x[n] + m * tap
    return y


def vibrato_model(x, rate, freq, depth_pc, phase_deg):
    f = F32(F32(freq) / F32(rate))
    omega = float(f) * TWO_PI
    n = np.arange(len(x), dtype=np.float64)
    depth = float(F32(depth_pc / 100.0))
    return (np.sin(n * omega + float(F32(phase_deg * TWO_PI / 360.0))) * depth + 1.0) * x


def reverb_model(x, rate, combs, lowpass_hz, comb_gain_pc, feedback_pc, mix_pc, delay_ms):
    fsf = F32(rate)
    lp = F32(lowpass_hz)
    if lp > F32(rate // 2):
        lp = F32(fsf * F32(0.5))
    dt = F32(delay_ms)
    L = int(F32(fsf * dt) / 1000.0)
    g_comb, g = float(F32(comb_gain_pc / 100.0)), float(F32(feedback_pc / 100.0))
    mix = F32(mix_pc / 100.0)
    period = max(L, 1)
    # A comb whose phase offset is 0 starts at the line's end: its first write never returns.
    lost = [L > 0 and int(F32(F32(F32(F32(k) * dt) / F32(combs + 1)) * fsf) / 1000.0) == 0
            for k in range(1, combs + 1)]
    written = np.zeros((combs, len(x)))
    if lp >= 1.0:
        b, a = cookbook("lowpass", -20.0, float(lp), rate, 50.0)
    x0 = x[0] if len(x) else 0.0
    x1 = x2 = y1 = y2 = x0
    ap1, ap2, y = np.zeros(len(x)), np.zeros(len(x)), np.empty(len(x))
    for n in range(len(x)):
        total = 0.0
        for k in range(combs):
            read = 0.0 if n < period or (lost[k] and n == period) else written[k, n - period]
            total += read
            written[k, n] = g_comb * read + x[n]
        avg = total / combs
        v = avg
        if lp >= 1.0:
            v = b[0] * avg + b[1] * x1 + b[2] * x2 - a[1] * y1 - a[2] * y2
            x2, x1, y2, y1 = x1, avg, y1, v
        w1 = ap1[n - period] if n >= period else 0.0
        ap1[n] = g * w1 + v
        out1 = w1 - g * ap1[n]
        w2 = ap2[n - period] if n >= period else 0.0
        ap2[n] = g * w2 + out1
        out2 = w2 - g * ap2[n]
        y[n] = float(mix) * out2 + float(F32(F32(1.0) - mix)) * x[n]
    return y


class TimeDomainEffects(FxTestCase):
    def check(self, x, rate, args, model, what):
        got = self.fx(x, rate, *args)
        self.assertSamplesEqual(got, per_channel(x, model), 1, what)

    def test_delay(self):
        x = signal(11025, 2, seed=5)
        for kind in (1, 2):
            with self.subTest(kind=kind):
                self.check(x, 22050, ["-e", "DelayFilter5", "-p", "EffectType=%d" % kind,
                                      "-p", "DelayTime=30.5", "-p", "FeedBackGain=60.0",
                                      "-p", "MixDepth=40.0"],
                           lambda c: delay_model(c, 22050, kind, 0.4, 0.6, 30.5),
                           "delay type %d" % kind)

    def test_flanger(self):
        x = signal(11025, 2, seed=6)
        for kind, delay_rate, depth in ((3, 50.0, 60.0), (4, 100.0, 100.0)):
            with self.subTest(kind=kind):
                self.check(x, 22050, ["-e", "FlangerFilter5", "-p", "EffectType=%d" % kind,
                                      "-p", "DelayRate=%r" % delay_rate,
                                      "-p", "SweepDepth=%r" % depth, "-p", "SweepRate=90.0",
                                      "-p", "SweepPhase=45.0", "-p", "FeedBackGain=35.0",
                                      "-p", "MixDepth=50.0"],
                           lambda c: flanger_model(c, 22050, kind, delay_rate, 0.5, 0.35, depth,
                                                   90.0, 45.0),
                           "flanger type %d" % kind)

    def test_vibrato(self):
        x = signal(22050, 2, seed=7)
        self.check(x, 22050, ["-e", "VibratoFilter5", "-p", "SweepFrequency=5.0",
                              "-p", "SweepDepth=50.0", "-p", "SweepPhase=30.0"],
                   lambda c: vibrato_model(c, 22050, 5.0, 50.0, 30.0), "vibrato")

    def test_reverb(self):
        x = signal(8820, 2, seed=8)
        for lowpass in (0.0, 5000.0):
            with self.subTest(lowpass=lowpass):
                self.check(x, 22050, ["-e", "ReverbFilter5", "-p", "nTapDelay=10",
                                      "-p", "DelayTime=20.0", "-p", "ReverbrationGain=70.0",
                                      "-p", "ReverbrationFrequency=%r" % lowpass,
                                      "-p", "FeedBackGain=50.0", "-p", "MixDepth=50.0"],
                           lambda c: reverb_model(c, 22050, 10, lowpass, 70.0, 50.0, 50.0,
                                                  20.0),
                           "reverb, low-pass %g Hz" % lowpass)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[1:])
