// Benchmarks of Mirdex's hot paths; prints one line of figures per case.
#include <cstdio>

#include "CodecBench.h"
#include "HostStartBench.h"
#include "LaunchStringBench.h"
#include "LoadServiceBench.h"

int main() {
  std::printf("Mirdex benchmarks (best of 5 batches)\n");
  bool ok = CodecBench::run();
  ok = LoadServiceBench::run() && ok;
  ok = HostStartBench::run() && ok;
  ok = LaunchStringBench::run() && ok;
  return ok ? 0 : 1;
}
