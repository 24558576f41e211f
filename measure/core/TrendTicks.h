// Axis ticks for the trend: values at 1-2-5 steps with as many decimals as
// the step needs, and clock times at steps a clock reader expects (1, 2, 5,
// 10, 15, 30 s; 1, 2, 5, 10, 15, 30 min; 1, 2, 3, 6, 12 h; days). Toolkit-free.
#pragma once

namespace ksv {

struct TTicks {
    double First = 0.0; // the lowest tick
    double Step = 0.0;
    int Count = 0;
    int Decimals = 0; // for value ticks: the decimals the step needs
};

// At most maxCount ticks inside [low, high] (at least one step apart).
TTicks ValueTicks(double low, double high, int maxCount);

// At most maxCount ticks inside [fromMs, toMs], on the local clock: a tick
// falls where (time + offsetMs) is a whole number of steps (offsetMs: the
// local time's offset from UTC).
TTicks TimeTicks(double fromMs, double toMs, int maxCount, double offsetMs);

// The 1-2-5 step for a range over at most maxCount steps.
double NiceStep(double range, int maxCount);

} // namespace ksv
