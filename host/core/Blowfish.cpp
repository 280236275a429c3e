#include "Blowfish.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace {

#include "BlowfishPi.inc"

// Spot checks against the published tables, so a damaged table fails the
// build rather than every stored code.
static_assert(kPiP[0] == 0x243F6A88U && kPiP[17] == 0x8979FB1BU);
static_assert(kPiS[0][0] == 0xD1310BA6U && kPiS[3][255] == 0x3AC372E6U);

constexpr int kRounds = 16;

std::uint32_t loadBigEndian(const std::uint8_t* p) noexcept {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

void storeBigEndian(std::uint32_t v, std::uint8_t* p) noexcept {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

}  // namespace

Blowfish::Blowfish(std::span<const std::uint8_t> key) {
  if (key.size() < kMinKeySize || key.size() > kMaxKeySize) {
    throw std::invalid_argument("Blowfish key of 1 to 56 bytes expected");
  }
  std::copy(std::begin(kPiP), std::end(kPiP), m_p.begin());
  for (std::size_t box = 0; box < m_s.size(); ++box) {
    std::copy(std::begin(kPiS[box]), std::end(kPiS[box]), m_s[box].begin());
  }

  // XOR the key, cycled, into P, 32 bits at a time.
  std::size_t at = 0;
  for (std::uint32_t& word : m_p) {
    std::uint32_t k = 0;
    for (int i = 0; i < 4; ++i) {
      k = k << 8 | key[at];
      at = (at + 1) % key.size();
    }
    word ^= k;
  }

  // Replace P and then every S-box entry, two words at a time, by the
  // encryption of the previous pair under the schedule built so far.
  std::uint32_t left = 0;
  std::uint32_t right = 0;
  for (std::size_t i = 0; i < m_p.size(); i += 2) {
    encrypt(left, right);
    m_p[i] = left;
    m_p[i + 1] = right;
  }
  for (auto& box : m_s) {
    for (std::size_t i = 0; i < box.size(); i += 2) {
      encrypt(left, right);
      box[i] = left;
      box[i + 1] = right;
    }
  }
}

std::uint32_t Blowfish::feistel(std::uint32_t x) const noexcept {
  return ((m_s[0][x >> 24] + m_s[1][x >> 16 & 0xFF]) ^ m_s[2][x >> 8 & 0xFF]) + m_s[3][x & 0xFF];
}

void Blowfish::encrypt(std::uint32_t& left, std::uint32_t& right) const noexcept {
  std::uint32_t l = left;
  std::uint32_t r = right;
  for (int i = 0; i < kRounds; ++i) {
    l ^= m_p[i];
    r ^= feistel(l);
    std::swap(l, r);
  }
  std::swap(l, r);
  r ^= m_p[kRounds];
  l ^= m_p[kRounds + 1];
  left = l;
  right = r;
}

void Blowfish::decrypt(std::uint32_t& left, std::uint32_t& right) const noexcept {
  std::uint32_t l = left;
  std::uint32_t r = right;
  for (int i = kRounds + 1; i > 1; --i) {
    l ^= m_p[i];
    r ^= feistel(l);
    std::swap(l, r);
  }
  std::swap(l, r);
  r ^= m_p[1];
  l ^= m_p[0];
  left = l;
  right = r;
}

Blowfish::Block Blowfish::encryptBlock(const Block& plain) const noexcept {
  return transformBlock(plain, &Blowfish::encrypt);
}

Blowfish::Block Blowfish::decryptBlock(const Block& cipher) const noexcept {
  return transformBlock(cipher, &Blowfish::decrypt);
}

Blowfish::Block Blowfish::transformBlock(const Block& in, HalfRounds rounds) const noexcept {
  std::uint32_t left = loadBigEndian(in.data());
  std::uint32_t right = loadBigEndian(in.data() + 4);
  (this->*rounds)(left, right);
  Block out;
  storeBigEndian(left, out.data());
  storeBigEndian(right, out.data() + 4);
  return out;
}

void Blowfish::applyOfb64(const Block& iv, std::span<std::uint8_t> data) const noexcept {
  Block keystream = iv;
  for (std::size_t at = 0; at < data.size(); at += kBlockSize) {
    keystream = encryptBlock(keystream);
    const std::size_t n = std::min(kBlockSize, data.size() - at);
    for (std::size_t i = 0; i < n; ++i) data[at + i] ^= keystream[i];
  }
}
