// 32-bit fixed-point helpers that wrap and floor like the original 32-bit arithmetic, without
// signed overflow or implementation-defined shifts.
#pragma once

#include <cstdint>

// a + b and a * b modulo 2^32, read back as signed: what a 32-bit machine computes.
inline int32_t WrapAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t WrapMul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// value >> 7 as an arithmetic shift: the floor of value / 128, so -1 gives -1.
inline int32_t FloorShift7(int32_t value) { return value >= 0 ? value >> 7 : ~(~value >> 7); }

// A 64-bit value saturated into the signed 32-bit range.
inline int32_t Saturate32(int64_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}
