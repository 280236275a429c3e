#include <cstdio>
int main() {
  std::puts("mirdex_bench: nothing measured yet");
  return 0;
}
