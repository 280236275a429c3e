#pragma once
// Times a repeated operation with the performance counter: the operation runs
// in growing batches until a batch takes long enough to measure, and the
// fastest of several such batches is reported, which filters out scheduling
// noise from the machine and from Wine.
#include <windows.h>

#include <cstdint>

class Stopwatch {
public:
  // Nanoseconds per call of op(), the best of `rounds` batches of at least
  // `minBatchMs` each.
  template <typename Op>
  static double nsPerOp(Op&& op, int rounds = 5, double minBatchMs = 50.0) {
    int64_t batch = 1;
    for (;;) {
      double ms = elapsedMs(op, batch);
      if (ms >= minBatchMs) break;
      batch *= (ms < minBatchMs / 10) ? 10 : 2;
    }
    double best = 1e300;
    for (int r = 0; r < rounds; ++r) {
      double ns = elapsedMs(op, batch) * 1e6 / static_cast<double>(batch);
      if (ns < best) best = ns;
    }
    return best;
  }

private:
  template <typename Op>
  static double elapsedMs(Op& op, int64_t count) {
    LARGE_INTEGER freq, start, end;
    ::QueryPerformanceFrequency(&freq);
    ::QueryPerformanceCounter(&start);
    for (int64_t i = 0; i < count; ++i) op();
    ::QueryPerformanceCounter(&end);
    return static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
           static_cast<double>(freq.QuadPart);
  }
};
