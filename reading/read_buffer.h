// The reading stage: the input's bytes into the read buffer as the filter is to see them, a
// UTF-16 or legacy encoding decoded into UTF-8 on the way, invalid bytes read as U+FFFD, and
// the input's encoding found from its first bytes.
#pragma once

#include "conversion_state.h"
#include "legacy_text.h"
#include "raw_input.h"
#include "write_buffer.h"

#include <cstddef>

extern unsigned char read_buffer[READ_BUFFER_SIZE + BUFFER_SLACK];

// Moves the unread bytes to the front and appends more; false when nothing more came.
bool FillReadBuffer();

// Makes count bytes (or all that are left) stand unread in read_buffer; returns how many do.
std::size_t EnsureLookAhead(std::size_t count);

// Starts a conversion's reading and writing: nothing read but what DetectTextEncoding looked
// at, nothing written.
void StartBuffers();

// Copies a UTF-8 byte order mark that opens the input.
void CopyByteOrderMark();

// A UTF-16 file decoded into UTF-8 (utf16_input.cpp).
std::size_t ReadFromUtf16(unsigned char *destination, std::size_t capacity);

// Looks at the input's first bytes for a UTF-16 byte order mark and sets encoding. Loses
// nothing: the bytes it looked at are read again by the conversion.
TextEncoding DetectTextEncoding();

// Decides from the bytes the read buffer holds, before anything is written, whether the text
// is Unicode; sets text_is_unicode.
void DetectUnicodeText();

// Decides, before anything is written, what the bytes of a byte file are and reads the rest of
// it through the decoder: UTF-8 by its mark or its first bytes, the encoding named, or the one
// the platform guesses.
void StartDecoding();
