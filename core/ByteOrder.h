#pragma once

// The binary files are little-endian; readers pass every run of 16-bit and 32-bit
// values through these. On a little-endian host they do nothing.
void SwapByteRange(short* data, int count);
void ReverseLongWordRange(int* data, int count);

// Reverse the bytes of every value whatever the host; the functions above use them on big-endian hosts.
void SwapBytes(short* data, int count);
void SwapBytes(int* data, int count);
