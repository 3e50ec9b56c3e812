// Byte files read as Unicode: a legacy encoding decoded into UTF-8, UTF-8 checked, for the read
// buffer to fill from once StartDecoding has chosen the encoding.
#pragma once

#include "conversion_state.h"

#include <cstddef>

// Whether the input is decoded into UTF-8: UTF-8 output was asked for, or an encoding named.
bool DecodesInput();

// The UTF-16 byte order a named encoding stands for, or Bytes when it is not UTF-16.
TextEncoding ChosenUtf16Encoding();

// Whether the name is one StartDecoding can read: for the callers to check before converting.
bool IsReadableEncoding(const char *name);

// Opens the decoder for name and takes over what the read buffer holds from unread on.
void StartLegacyText(const char *name, unsigned char *unread);

// Decodes the next block of the byte file into destination as UTF-8 (ReadFromLegacyText).
std::size_t ReadFromLegacyText(unsigned char *destination, std::size_t capacity);
