#pragma once
// Text codecs: hex with optional separators, and Base64.
//
// Every function writes to (out, capacity) and never past capacity; a null
// output with capacity 0 asks for the size only. Results: the count written
// (characters or bytes), -1 when the capacity is too small or the output is
// null with a non-zero capacity, -2 for bad input. A negative text length
// means the text is NUL-terminated.
#include <string>

// Two upper-case digits per byte. Before byte i (i >= 1) comes sep16 when i is
// a multiple of 16, else sep4 when a multiple of 4, else sep1. A null sep1
// means none; a null sep4 takes sep1; a null sep16 takes sep4. A terminating
// NUL is written when the capacity leaves room for it.
int hex_encode(const void* bytes, int n, char* out, int capacity,
               const char* sep1 = nullptr, const char* sep4 = nullptr,
               const char* sep16 = nullptr);

// Skips ASCII non-digits before each digit pair; stops at the end of the text.
// -1 when the capacity is below ceil(n / 2); -2 for a byte of 0x80 or above
// where a pair starts, or a pair whose second character is not a digit.
int hex_decode(const char* text, int n, void* out, int capacity);

// Standard alphabet; with pad off the trailing '=' are left out. The capacity
// must hold the characters written.
int base64_encode(const void* bytes, int n, char* out, int capacity, bool pad);

// Skips every character outside the alphabet. -1 when the capacity is below
// 3 * floor(n / 4), plus 3 when n is not a multiple of 4.
int base64_decode(const char* text, int n, void* out, int capacity);

// Appends hex_encode's text to s.
std::string& hex_append(std::string& s, const void* bytes, int n,
                        const char* sep1 = nullptr, const char* sep4 = nullptr,
                        const char* sep16 = nullptr);
