#include "HashAlgorithms/SHA.h"

#include <bit>
#include <cstring>
#include <stdexcept>
#include <string>

namespace quillgate {
namespace {

// ---- constant tables (FIPS 180-2) -----------------------------------------------------

constexpr std::uint32_t kInitialSha1[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u,
                                           0xC3D2E1F0u};

constexpr std::uint32_t kInitialSha256[8] = {0x6A09E667u, 0xBB67AE85u, 0x3C6EF372u, 0xA54FF53Au,
                                             0x510E527Fu, 0x9B05688Cu, 0x1F83D9ABu, 0x5BE0CD19u};

constexpr std::uint64_t kInitialSha384[8] = {
    0xCBBB9D5DC1059ED8ull, 0x629A292A367CD507ull, 0x9159015A3070DD17ull, 0x152FECD8F70E5939ull,
    0x67332667FFC00B31ull, 0x8EB44A8768581511ull, 0xDB0C2E0D64F98FA7ull, 0x47B5481DBEFA4FA4ull};

constexpr std::uint64_t kInitialSha512[8] = {
    0x6A09E667F3BCC908ull, 0xBB67AE8584CAA73Bull, 0x3C6EF372FE94F82Bull, 0xA54FF53A5F1D36F1ull,
    0x510E527FADE682D1ull, 0x9B05688C2B3E6C1Full, 0x1F83D9ABFB41BD6Bull, 0x5BE0CD19137E2179ull};

constexpr std::uint32_t kSha1Constants[4] = {0x5A827999u, 0x6ED9EBA1u, 0x8F1BBCDCu, 0xCA62C1D6u};

constexpr std::uint32_t kSha256Constants[64] = {
    0x428A2F98u, 0x71374491u, 0xB5C0FBCFu, 0xE9B5DBA5u, 0x3956C25Bu, 0x59F111F1u, 0x923F82A4u,
    0xAB1C5ED5u, 0xD807AA98u, 0x12835B01u, 0x243185BEu, 0x550C7DC3u, 0x72BE5D74u, 0x80DEB1FEu,
    0x9BDC06A7u, 0xC19BF174u, 0xE49B69C1u, 0xEFBE4786u, 0x0FC19DC6u, 0x240CA1CCu, 0x2DE92C6Fu,
    0x4A7484AAu, 0x5CB0A9DCu, 0x76F988DAu, 0x983E5152u, 0xA831C66Du, 0xB00327C8u, 0xBF597FC7u,
    0xC6E00BF3u, 0xD5A79147u, 0x06CA6351u, 0x14292967u, 0x27B70A85u, 0x2E1B2138u, 0x4D2C6DFCu,
    0x53380D13u, 0x650A7354u, 0x766A0ABBu, 0x81C2C92Eu, 0x92722C85u, 0xA2BFE8A1u, 0xA81A664Bu,
    0xC24B8B70u, 0xC76C51A3u, 0xD192E819u, 0xD6990624u, 0xF40E3585u, 0x106AA070u, 0x19A4C116u,
    0x1E376C08u, 0x2748774Cu, 0x34B0BCB5u, 0x391C0CB3u, 0x4ED8AA4Au, 0x5B9CCA4Fu, 0x682E6FF3u,
    0x748F82EEu, 0x78A5636Fu, 0x84C87814u, 0x8CC70208u, 0x90BEFFFAu, 0xA4506CEBu, 0xBEF9A3F7u,
    0xC67178F2u};

// Shared by SHA-384 and SHA-512.
constexpr std::uint64_t kSha512Constants[80] = {
    0x428A2F98D728AE22ull, 0x7137449123EF65CDull, 0xB5C0FBCFEC4D3B2Full, 0xE9B5DBA58189DBBCull,
    0x3956C25BF348B538ull, 0x59F111F1B605D019ull, 0x923F82A4AF194F9Bull, 0xAB1C5ED5DA6D8118ull,
    0xD807AA98A3030242ull, 0x12835B0145706FBEull, 0x243185BE4EE4B28Cull, 0x550C7DC3D5FFB4E2ull,
    0x72BE5D74F27B896Full, 0x80DEB1FE3B1696B1ull, 0x9BDC06A725C71235ull, 0xC19BF174CF692694ull,
    0xE49B69C19EF14AD2ull, 0xEFBE4786384F25E3ull, 0x0FC19DC68B8CD5B5ull, 0x240CA1CC77AC9C65ull,
    0x2DE92C6F592B0275ull, 0x4A7484AA6EA6E483ull, 0x5CB0A9DCBD41FBD4ull, 0x76F988DA831153B5ull,
    0x983E5152EE66DFABull, 0xA831C66D2DB43210ull, 0xB00327C898FB213Full, 0xBF597FC7BEEF0EE4ull,
    0xC6E00BF33DA88FC2ull, 0xD5A79147930AA725ull, 0x06CA6351E003826Full, 0x142929670A0E6E70ull,
    0x27B70A8546D22FFCull, 0x2E1B21385C26C926ull, 0x4D2C6DFC5AC42AEDull, 0x53380D139D95B3DFull,
    0x650A73548BAF63DEull, 0x766A0ABB3C77B2A8ull, 0x81C2C92E47EDAEE6ull, 0x92722C851482353Bull,
    0xA2BFE8A14CF10364ull, 0xA81A664BBC423001ull, 0xC24B8B70D0F89791ull, 0xC76C51A30654BE30ull,
    0xD192E819D6EF5218ull, 0xD69906245565A910ull, 0xF40E35855771202Aull, 0x106AA07032BBD1B8ull,
    0x19A4C116B8D2D0C8ull, 0x1E376C085141AB53ull, 0x2748774CDF8EEB99ull, 0x34B0BCB5E19B48A8ull,
    0x391C0CB3C5C95A63ull, 0x4ED8AA4AE3418ACBull, 0x5B9CCA4F7763E373ull, 0x682E6FF3D6B2B8A3ull,
    0x748F82EE5DEFB2FCull, 0x78A5636F43172F60ull, 0x84C87814A1F0AB72ull, 0x8CC702081A6439ECull,
    0x90BEFFFA23631E28ull, 0xA4506CEBDE82BDE9ull, 0xBEF9A3F7B2C67915ull, 0xC67178F2E372532Bull,
    0xCA273ECEEA26619Cull, 0xD186B8C721C0C207ull, 0xEADA7DD6CDE0EB1Eull, 0xF57D4F7FEE6ED178ull,
    0x06F067AA72176FBAull, 0x0A637DC5A2C898A6ull, 0x113F9804BEF90DAEull, 0x1B710B35131C471Bull,
    0x28DB77F523047D84ull, 0x32CAAB7B40C72493ull, 0x3C9EBE0A15C9BEBCull, 0x431D67C49C100D4Cull,
    0x4CC5D4BECB3E42B6ull, 0x597F299CFC657E2Aull, 0x5FCB6FAB3AD6FAECull, 0x6C44198C4A475817ull};

// ---- big-endian access ----------------------------------------------------------------
// Written byte by byte so they are right on any host; compilers turn them into single
// loads/stores with a byte swap.

inline std::uint32_t Load32(const unsigned char* p) noexcept {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

inline std::uint64_t Load64(const unsigned char* p) noexcept {
  return (std::uint64_t{Load32(p)} << 32) | Load32(p + 4);
}

inline void Store32(unsigned char* p, std::uint32_t v) noexcept {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

inline void Store64(unsigned char* p, std::uint64_t v) noexcept {
  Store32(p, static_cast<std::uint32_t>(v >> 32));
  Store32(p + 4, static_cast<std::uint32_t>(v));
}

// ---- compression functions ------------------------------------------------------------
// Each works on a local copy of the state and a stack message schedule: no allocation,
// and the compiler can keep the working variables in registers.

// The message schedules are kept as rolling 16-word windows and extended inside the
// rounds: the schedule work fills the gaps of the round's dependency chain, and a
// precomputed 80-word array invites the vectoriser into a loop whose stores feed its
// own next loads, which stalls.

// SHA-1 schedule word t (t >= 16) in the window slot j = t mod 16.
inline std::uint32_t Next1(std::uint32_t w[16], int j) noexcept {
  w[j] = std::rotl(w[(j + 13) & 15] ^ w[(j + 8) & 15] ^ w[(j + 2) & 15] ^ w[j], 1);
  return w[j];
}

inline std::uint32_t Next256(std::uint32_t w[16], int j) noexcept {
  const std::uint32_t x = w[(j + 1) & 15], y = w[(j + 14) & 15];
  w[j] += (std::rotr(x, 7) ^ std::rotr(x, 18) ^ (x >> 3)) + w[(j + 9) & 15] +
          (std::rotr(y, 17) ^ std::rotr(y, 19) ^ (y >> 10));
  return w[j];
}

inline std::uint64_t Next512(std::uint64_t w[16], int j) noexcept {
  const std::uint64_t x = w[(j + 1) & 15], y = w[(j + 14) & 15];
  w[j] += (std::rotr(x, 1) ^ std::rotr(x, 8) ^ (x >> 7)) + w[(j + 9) & 15] +
          (std::rotr(y, 19) ^ std::rotr(y, 61) ^ (y >> 6));
  return w[j];
}

inline std::uint32_t Ch(std::uint32_t x, std::uint32_t y, std::uint32_t z) noexcept {
  return z ^ (x & (y ^ z));
}
inline std::uint32_t Parity(std::uint32_t x, std::uint32_t y, std::uint32_t z) noexcept {
  return x ^ y ^ z;
}
inline std::uint32_t Maj(std::uint32_t x, std::uint32_t y, std::uint32_t z) noexcept {
  return (x & y) | (z & (x | y));
}

// One SHA-1 step with the working variables named by position: instead of moving five
// values every step, the callers rotate the roles (a, b, c, d, e) -> (e, a, b, c, d).
template <std::uint32_t (*F)(std::uint32_t, std::uint32_t, std::uint32_t)>
inline void Step1(std::uint32_t a, std::uint32_t& b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t& e, std::uint32_t kw) noexcept {
  e += std::rotl(a, 5) + F(b, c, d) + kw;
  b = std::rotl(b, 30);
}

// Five steps, after which the roles are back in place. `word(i)` gives schedule word t+i.
template <std::uint32_t (*F)(std::uint32_t, std::uint32_t, std::uint32_t), typename Word>
inline void FiveSteps1(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d,
                       std::uint32_t& e, std::uint32_t k, Word word) noexcept {
  Step1<F>(a, b, c, d, e, k + word(0));
  Step1<F>(e, a, b, c, d, k + word(1));
  Step1<F>(d, e, a, b, c, k + word(2));
  Step1<F>(c, d, e, a, b, k + word(3));
  Step1<F>(b, c, d, e, a, k + word(4));
}

void CompressSha1(std::uint32_t state[5], const unsigned char* block) noexcept {
  std::uint32_t w[16];
  for (int t = 0; t < 16; ++t) w[t] = Load32(block + 4 * t);

  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
  // Steps 0..14 read the block's words, 15 still does, 16..79 extend the schedule; step
  // t uses Ch for t < 20, Parity for 20..39 and 60..79, Maj for 40..59.
  const auto given = [&](int t) { return [&w, t](int i) { return w[t + i]; }; };
  const auto extended = [&](int t) { return [&w, t](int i) { return Next1(w, (t + i) & 15); }; };
  FiveSteps1<Ch>(a, b, c, d, e, kSha1Constants[0], given(0));
  FiveSteps1<Ch>(a, b, c, d, e, kSha1Constants[0], given(5));
  FiveSteps1<Ch>(a, b, c, d, e, kSha1Constants[0], given(10));
  FiveSteps1<Ch>(a, b, c, d, e, kSha1Constants[0],
                 [&](int i) { return i == 0 ? w[15] : Next1(w, (15 + i) & 15); });
  for (int t = 20; t < 40; t += 5)
    FiveSteps1<Parity>(a, b, c, d, e, kSha1Constants[1], extended(t));
  for (int t = 40; t < 60; t += 5) FiveSteps1<Maj>(a, b, c, d, e, kSha1Constants[2], extended(t));
  for (int t = 60; t < 80; t += 5)
    FiveSteps1<Parity>(a, b, c, d, e, kSha1Constants[3], extended(t));

  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
}

// One SHA-256 round with the working variables named by position; the callers rotate
// the roles instead of moving eight values every round.
inline void Round256(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t& d,
                     std::uint32_t e, std::uint32_t f, std::uint32_t g, std::uint32_t& h,
                     std::uint32_t kw) noexcept {
  const std::uint32_t t1 =
      h + kw + (std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25)) + Ch(e, f, g);
  const std::uint32_t t2 = (std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22)) + Maj(a, b, c);
  d += t1;
  h = t1 + t2;
}

inline std::uint64_t Ch(std::uint64_t x, std::uint64_t y, std::uint64_t z) noexcept {
  return z ^ (x & (y ^ z));
}
inline std::uint64_t Maj(std::uint64_t x, std::uint64_t y, std::uint64_t z) noexcept {
  return (x & y) | (z & (x | y));
}

inline void Round512(std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t& d,
                     std::uint64_t e, std::uint64_t f, std::uint64_t g, std::uint64_t& h,
                     std::uint64_t kw) noexcept {
  const std::uint64_t t1 =
      h + kw + (std::rotr(e, 14) ^ std::rotr(e, 18) ^ std::rotr(e, 41)) + Ch(e, f, g);
  const std::uint64_t t2 = (std::rotr(a, 28) ^ std::rotr(a, 34) ^ std::rotr(a, 39)) + Maj(a, b, c);
  d += t1;
  h = t1 + t2;
}

// Eight rounds of SHA-256 or SHA-512 (`Round` is one round of either), after which the
// roles are back in place. `word(i)` gives schedule word t+i.
template <auto Round, typename T, typename Word>
inline void EightRounds(T (&v)[8], const T* k, Word word) noexcept {
  auto& [a, b, c, d, e, f, g, h] = v;
  Round(a, b, c, d, e, f, g, h, k[0] + word(0));
  Round(h, a, b, c, d, e, f, g, k[1] + word(1));
  Round(g, h, a, b, c, d, e, f, k[2] + word(2));
  Round(f, g, h, a, b, c, d, e, k[3] + word(3));
  Round(e, f, g, h, a, b, c, d, k[4] + word(4));
  Round(d, e, f, g, h, a, b, c, k[5] + word(5));
  Round(c, d, e, f, g, h, a, b, k[6] + word(6));
  Round(b, c, d, e, f, g, h, a, k[7] + word(7));
}

void CompressSha256(std::uint32_t state[8], const unsigned char* block) noexcept {
  std::uint32_t w[16];
  for (int t = 0; t < 16; ++t) w[t] = Load32(block + 4 * t);

  std::uint32_t v[8];
  std::memcpy(v, state, sizeof v);
  EightRounds<Round256>(v, kSha256Constants, [&](int i) { return w[i]; });
  EightRounds<Round256>(v, kSha256Constants + 8, [&](int i) { return w[8 + i]; });
  for (int t = 16; t < 64; t += 16) {
    EightRounds<Round256>(v, kSha256Constants + t, [&](int i) { return Next256(w, i); });
    EightRounds<Round256>(v, kSha256Constants + t + 8, [&](int i) { return Next256(w, 8 + i); });
  }
  for (int i = 0; i < 8; ++i) state[i] += v[i];
}

void CompressSha512(std::uint64_t state[8], const unsigned char* block) noexcept {
  std::uint64_t w[16];
  for (int t = 0; t < 16; ++t) w[t] = Load64(block + 8 * t);

  std::uint64_t v[8];
  std::memcpy(v, state, sizeof v);
  EightRounds<Round512>(v, kSha512Constants, [&](int i) { return w[i]; });
  EightRounds<Round512>(v, kSha512Constants + 8, [&](int i) { return w[8 + i]; });
  for (int t = 16; t < 80; t += 16) {
    EightRounds<Round512>(v, kSha512Constants + t, [&](int i) { return Next512(w, i); });
    EightRounds<Round512>(v, kSha512Constants + t + 8, [&](int i) { return Next512(w, 8 + i); });
  }
  for (int i = 0; i < 8; ++i) state[i] += v[i];
}

}  // namespace

// ---- CSHA -----------------------------------------------------------------------------

CSHA::CSHA(int method)
    : method(method),
      state32{},
      bitCountLow(0),
      bitCountHigh(0),
      block{},
      state64{},
      bitCount128{} {
  if (method < SHA160 || method > SHA512) {
    throw std::runtime_error("FileDigest ERROR: in CSHA() Constructor, Illegal Method " +
                             std::to_string(method) + "!");
  }
  Reset();
}

void CSHA::Reset() {
  switch (method) {
    case SHA160:
      std::memcpy(state32, kInitialSha1, sizeof kInitialSha1);
      // The unused words stay zero, as they were after construction.
      break;
    case SHA256:
      std::memcpy(state32, kInitialSha256, sizeof kInitialSha256);
      break;
    case SHA384:
      std::memcpy(state64, kInitialSha384, sizeof kInitialSha384);
      break;
    default:
      std::memcpy(state64, kInitialSha512, sizeof kInitialSha512);
      break;
  }
  if (method <= SHA256) {
    bitCountLow = 0;
    bitCountHigh = 0;
  } else {
    bitCount128[0] = 0;
    bitCount128[1] = 0;
  }
  // `block` keeps its old bytes: every byte is written before it is read again.
  dataAdded = false;
}

void CSHA::Transform() {
  switch (method) {
    case SHA160:
      CompressSha1(state32, block);
      break;
    case SHA256:
      CompressSha256(state32, block);
      break;
    default:
      CompressSha512(state64, block);
      break;
  }
}

void CSHA::AddData(const unsigned char* data, std::int32_t length) {
  if (length < 0) {
    throw std::runtime_error("FileDigest ERROR: in CSHA::AddData(), Data Length should be >= 0!");
  }
  if (data == nullptr && length > 0) {
    throw std::invalid_argument(
        "FileDigest ERROR: in CSHA::AddData(), Data is null but Length is > 0!");
  }
  if (method <= SHA256) {
    AddData64(data, static_cast<std::uint32_t>(length));
  } else {
    AddData128(data, static_cast<std::uint32_t>(length));
  }
  dataAdded = true;
}

void CSHA::AddData64(const unsigned char* data, std::uint32_t length) noexcept {
  const std::uint32_t index = (bitCountLow >> 3) & 63u;

  // 64-bit bit count held as two words: length * 8 can exceed 32 bits, its top three
  // bits go straight to the high word.
  const std::uint32_t bits = length << 3;
  bitCountLow += bits;
  if (bitCountLow < bits) ++bitCountHigh;
  bitCountHigh += length >> 29;

  if (length == 0) return;  // `data` may be null for an empty piece
  if (index > 0) {
    const std::uint32_t room = 64 - index;
    if (length < room) {
      std::memcpy(block + index, data, length);
      return;
    }
    std::memcpy(block + index, data, room);
    Transform();
    data += room;
    length -= room;
  }
  while (length >= 64) {
    std::memcpy(block, data, 64);
    Transform();
    data += 64;
    length -= 64;
  }
  if (length > 0) std::memcpy(block, data, length);
}

void CSHA::AddData128(const unsigned char* data, std::uint32_t length) noexcept {
  // Only the low 32 bits of the count decide the position in the 128-byte block.
  const std::uint32_t index = (static_cast<std::uint32_t>(bitCount128[0]) >> 3) & 127u;

  const std::uint64_t bits = std::uint64_t{length} << 3;
  bitCount128[0] += bits;
  if (bitCount128[0] < bits) ++bitCount128[1];

  if (length == 0) return;
  if (index > 0) {
    const std::uint32_t room = 128 - index;
    if (length < room) {
      std::memcpy(block + index, data, length);
      return;
    }
    std::memcpy(block + index, data, room);
    Transform();
    data += room;
    length -= room;
  }
  while (length >= 128) {
    std::memcpy(block, data, 128);
    Transform();
    data += 128;
    length -= 128;
  }
  if (length > 0) std::memcpy(block, data, length);
}

void CSHA::FinalDigest(unsigned char* out) {
  if (!dataAdded) {
    throw std::runtime_error(
        "FileDigest ERROR: in CSHA::FinalDigest(), No data Added before call!");
  }
  if (method <= SHA256) {
    Final64(out);
  } else {
    Final128(out);
  }
  Reset();
}

void CSHA::Final64(unsigned char* out) noexcept {
  std::uint32_t index = (bitCountLow >> 3) & 63u;
  block[index++] = 0x80;
  if (64 - index < 8) {
    // No room for the length field: it goes into an extra block.
    std::memset(block + index, 0, 64 - index);
    Transform();
    std::memset(block, 0, 56);
  } else {
    std::memset(block + index, 0, 56 - index);
  }
  Store32(block + 56, bitCountHigh);
  Store32(block + 60, bitCountLow);
  Transform();

  const int words = method == SHA160 ? 5 : 8;
  for (int i = 0; i < words; ++i) Store32(out + 4 * i, state32[i]);
}

void CSHA::Final128(unsigned char* out) noexcept {
  std::uint32_t index = (static_cast<std::uint32_t>(bitCount128[0]) >> 3) & 127u;
  block[index++] = 0x80;
  if (128 - index < 16) {
    std::memset(block + index, 0, 128 - index);
    Transform();
    std::memset(block, 0, 112);
  } else {
    std::memset(block + index, 0, 112 - index);
  }
  Store64(block + 112, bitCount128[1]);
  Store64(block + 120, bitCount128[0]);
  Transform();

  const int words = method == SHA384 ? 6 : 8;
  for (int i = 0; i < words; ++i) Store64(out + 8 * i, state64[i]);
}

}  // namespace quillgate
