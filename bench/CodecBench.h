#pragma once
// Encode and decode figures of the typed-value wire format.
class CodecBench {
public:
  // Prints one line per case; returns false when a round trip went wrong.
  static bool run();
};
