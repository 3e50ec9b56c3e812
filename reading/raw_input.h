// A byte file's bytes as they are, before any decoding, and UTF-8 sequences told apart: what
// the read buffer and the legacy text both read with.
#pragma once

#include <cstddef>

constexpr int CTRL_Z = 0x1A;
// Room for twice the bytes that decide whether a file is UTF-8, CR LF counting as one.
constexpr std::size_t READ_BUFFER_SIZE = 192 * 1024;

// Whether the filter itself reads a byte file as the Windows text mode would (CR LF as LF, a
// 0x1A ending it).
bool TranslatesLineEnds();

// Reads up to capacity bytes of a byte file into destination as they are.
std::size_t ReadFromBytes(unsigned char *destination, std::size_t capacity);

// What a UTF-8 sequence is: whole and valid, not valid, or cut by the end of the bytes.
enum class SequenceRead { Valid, Invalid, Cut };

/* ReadUtf8Sequence
 *     Reads the sequence led by bytes[0] (not ASCII) of length available bytes; *length is its
 *     length, or how many bytes one U+FFFD stands for: the longest start of a valid sequence,
 *     at least one byte. */
SequenceRead ReadUtf8Sequence(const unsigned char *bytes, std::size_t available,
                              std::size_t *length);
