// Benchmarks of Mirdex's hot paths; prints one line of figures per case.
#include <cstdio>

#include "CodecBench.h"

int main() {
  std::printf("Mirdex benchmarks (best of 5 batches)\n");
  bool ok = CodecBench::run();
  return ok ? 0 : 1;
}
