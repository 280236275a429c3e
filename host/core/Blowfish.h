#pragma once
// The Blowfish block cipher (64-bit blocks, keys of 1 to 56 bytes) as
// published by its author, and its 64-bit output-feedback mode. Codes made
// with it are stored and exchanged, so it must follow the published
// definition bit for bit.
//
// A Blowfish holds the key schedule only; every member is const, so one
// object may serve several threads at once.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

class Blowfish {
public:
  static constexpr std::size_t kBlockSize = 8;
  static constexpr std::size_t kMinKeySize = 1;
  static constexpr std::size_t kMaxKeySize = 56;
  using Block = std::array<std::uint8_t, kBlockSize>;

  // Runs the key schedule; the key bytes are repeated over the P-array.
  // Throws std::invalid_argument for a key outside kMinKeySize..kMaxKeySize.
  explicit Blowfish(std::span<const std::uint8_t> key);

  // One block in electronic-codebook form; the 8 bytes are read as two
  // big-endian 32-bit halves, left first.
  Block encryptBlock(const Block& plain) const noexcept;
  Block decryptBlock(const Block& cipher) const noexcept;

  // Output feedback with a 64-bit feedback: the vector is encrypted to give
  // the first 8 bytes of keystream, that block is encrypted for the next 8,
  // and so on; the keystream is XORed over the data in place, starting at
  // its first byte. The same call encrypts and decrypts.
  void applyOfb64(const Block& iv, std::span<std::uint8_t> data) const noexcept;

private:
  std::uint32_t feistel(std::uint32_t x) const noexcept;
  void encrypt(std::uint32_t& left, std::uint32_t& right) const noexcept;
  void decrypt(std::uint32_t& left, std::uint32_t& right) const noexcept;
  // A block as two big-endian halves through encrypt or decrypt.
  using HalfRounds = void (Blowfish::*)(std::uint32_t&, std::uint32_t&) const noexcept;
  Block transformBlock(const Block& in, HalfRounds rounds) const noexcept;

  std::array<std::uint32_t, 18> m_p;
  std::array<std::array<std::uint32_t, 256>, 4> m_s;
};
