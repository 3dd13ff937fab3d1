#pragma once
// Unpredictable choices for what an attacker must not guess: the characters of a code.
//
// The drawing's random source is a small linear generator whose state can be recovered
// from a handful of outputs; codes made from it would let one solved CAPTCHA reveal the
// codes that later visitors get. Codes therefore come from the operating system's
// cryptographic generator, while the drawing keeps its own reproducible source.

#include <cstdint>

namespace quillgate {

// A uniformly distributed integer in 0..n-1 (0 for n == 0) from the operating system's
// cryptographic generator. Throws std::system_error when no such generator is available.
std::uint32_t SecureRandomBelow(std::uint32_t n);

// Maps uniform 32-bit words to a uniform value in 0..n-1 without modulo bias: words from the
// incomplete last block of n values are thrown away and the next word is taken. `nextWord`
// is called until a word is accepted (for n a power of two, exactly once).
template <typename WordSource>
std::uint32_t UniformBelow(std::uint32_t n, WordSource&& nextWord) {
  if (n <= 1) return 0;
  // 2^32 mod n, computed without 64-bit arithmetic: the count of words to reject.
  const std::uint32_t rejected = (0u - n) % n;
  for (;;) {
    const std::uint32_t word = nextWord();
    if (word >= rejected) return word % n;
  }
}

}  // namespace quillgate
