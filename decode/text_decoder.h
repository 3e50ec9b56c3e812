// Text of a legacy encoding turned into UTF-8 by the converter the platform has for it (iconv,
// MultiByteToWideChar), and the platform's guess at the encoding of a file that is not UTF-8
// (uchardet, the ANSI code page). The filter's reader drives it: it copies ASCII itself and
// decides what an invalid byte becomes.
#pragma once

#include <cstddef>

constexpr std::size_t ENCODING_NAME_SIZE = 32;

// Why DecodeText stopped before the end of its bytes; Done also when out is full.
enum class DecodeStop { Done, Invalid, Cut };

// Opens the converter from the named encoding, closing the last; false when the platform knows
// no such name or the encoding's ASCII bytes do not stand for themselves.
bool OpenTextDecoder(const char *name);
void CloseTextDecoder();

/* DecodeText
 *     Converts up to length bytes into UTF-8 at out, which holds out_size bytes; *used and
 *     *written say how far it got. Stops at a byte that starts no valid character (Invalid) or
 *     at a character the end of the bytes cuts (Cut). */
DecodeStop DecodeText(const unsigned char *bytes, std::size_t length, unsigned char *out,
                      std::size_t out_size, std::size_t *used, std::size_t *written);

// For the decoders themselves: whether the converter just opened reads ASCII as ASCII; which
// of its bytes lead a longer character (the 256 of lead_bytes); the name of the encoding read
// for the guess's answer (known: the decoder can open it), as browsers read it: every name of
// Korean is CP949, ASCII and Latin-1 (and what is not known) Windows-1252.
bool DecoderKeepsAscii();
void FindLeadBytes(bool *lead_bytes);
void NameGuessedEncoding(const char *answer, bool known, char *name);

// Whether byte starts a character of more than one byte in the open encoding.
bool IsLeadByte(unsigned char byte);

// The encoding the platform reads the start of a file in, when it is not UTF-8: a name
// OpenTextDecoder takes, into name (ENCODING_NAME_SIZE bytes).
void GuessTextEncoding(const unsigned char *bytes, std::size_t length, char *name);
