// The slot-2 real-FFT entry bodies for processors without MOVBE (the _s2n names).
#include "dsp/fftargs.slots.cpp"
