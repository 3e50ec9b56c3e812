// The subtitle filter: one forward pass over a SAMI byte stream, one character of state.
// Every step works on the process-wide conversion_state and takes no arguments.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr int SYNC_VALUE_SIZE = 20;

enum class ConversionMode { Plain, Sync };

struct ConversionState {
    FILE *input_stream;               // the subtitle being read; opened "r" by the caller
    FILE *output_stream;              // the text being written; opened "w" by the caller
    int current_char;                 // the byte under examination (0..255) or EOF
    char sync_value[SYNC_VALUE_SIZE]; // a SYNC tag's value and its closing '>'
    std::int32_t sync_value_length;   // value characters before that '>'
    bool input_ended;                 // a read has met the end of the input
    bool has_pending_char;            // pending_char is to be read again
    int pending_char;                 // one byte of push-back in the filter's own reading
    bool mid_line;                    // the last byte written was not a line end
};

extern ConversionState conversion_state;

// Plain and sync steps, in the order one cycle runs them.
bool ReadChar();
void SkipTag();
void SkipTagSync();
void WriteChar();
void RunConversion(ConversionMode mode);
void CloseStreams();

// Sync-mode steps called from SkipTagSync.
void ReadSyncValue();
void SkipLineBreak();
void WriteTimeStamp();

// Shared with the scanner: discards an entity when current_char is its '&'.
bool SkipEntity();

// True when the input starts with a UTF-16 byte order mark, which a byte filter cannot
// handle. Reads nothing away: the bytes it looked at are read again by the conversion.
bool DetectUtf16Mark();
