// The steps of the filter as they call each other: the cycle's three, the tag, paragraph and
// sync steps, and where the text stands between them.
#pragma once

#include "conversion_state.h"
#include "subtitle_events.h"
#include "tag_scanner.h"

#include <cstddef>

// Plain and sync steps, in the order one cycle runs them.
void CopyTextRun();
bool ReadChar();
void SkipTag();
void SkipTagSync();
void WriteChar();

// What a line or paragraph break waits for, resolved by the next byte.
void ResolveLineBreak();
void ResolveParagraphBreak(int c);

// The listener of this conversion's subtitles.
inline const SubtitleListener &Listener()
{
    return *conversion_state.text.listener;
}

// Whether nothing is written where the text now stands: outside the chosen class, in a
// parameter block, or before the first subtitle of Sync Save.
inline bool TextIsHidden()
{
    const ConversionState &state = conversion_state;
    return state.paragraphs.text_hidden || state.text.parameter_block != TagKind::Other ||
           (state.options.mode == ConversionMode::Sync && !state.text.in_subtitle);
}

// Paragraph steps, when a class is chosen or listed.
void StartParagraphs();
void ReadParagraphClass();
bool ReadParagraphClassAt(const unsigned char *p, const unsigned char *gt);
void EndParagraph();

// A font tag's color attribute, read as ReadParagraphClass reads a class: into font_colour.
void ReadFontColour();
bool ReadFontColourAt(const unsigned char *p);

// Whether P tags' classes are read: a class is chosen, the classes are being listed, or the
// listener reads them.
bool ReadsClasses();

// Whether the style tags of a subtitle are read: its listener wants them.
bool ReadsStyles();

// Sync-mode steps called from SkipTagSync, WriteChar and CopyTextRun.
void WriteSubtitleBytes(const unsigned char *bytes, std::size_t count);
void ReadSyncValue();

/* MarkBlank
 *     White space in a subtitle: one blank before its next text byte, none before its first. */
inline void MarkBlank()
{
    ConversionState &state = conversion_state;
    if (!state.text.first_text_pending)
        state.text.blank_pending = true;
}

// A P tag of class_name, or a </P> tag (null), in a subtitle (paragraph.cpp).
void MarkParagraphTag(const char *class_name, bool of_chosen_class);
