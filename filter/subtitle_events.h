// The subtitles of Sync Save as the steps and the fast path read them, handed as events in
// input order to the one listener a conversion has: Sync Save's stamps (time_stamp.cpp), the
// cue path of the timed formats (cues/) or the samples of a file's classes
// (class_samples.cpp). The filter knows nothing of who listens.
#pragma once

#include <cstddef>
#include <cstdint>

// The tags that style the text after them; each is ended by its own closing tag.
enum class StyleTag : unsigned char { Italic, Emphasis, Bold, Strong, Underline, Font };

// A font tag's colour as 0xRRGGBB, or this for a font without one.
constexpr std::uint32_t NO_COLOUR = 0xFFFFFFFF;

// The start time captured in sync_value, in ms.
std::uint32_t ReadStartTime();

struct SubtitleListener {
    // A conversion begins, before any input is read; the listener sets the two wishes below.
    void (*start_conversion)();
    bool reads_classes; // each P tag's class is read for it
    bool reads_styles;  // style tags are read for it
    // A complete SYNC tag, its start ReadStartTime(): the text up to the next one is its
    // subtitle.
    void (*start_subtitle)();
    // Text of the subtitle, followed by at least TEXT_SLACK bytes that may be read. blank_before:
    // white space, a line break or a paragraph tag stood between it and the subtitle's text
    // before; never for its first.
    void (*put_text)(const unsigned char *bytes, std::size_t count, bool blank_before);
    // A line-break tag in the subtitle.
    void (*break_line)();
    // A P tag (class_name its class, "" for none or when classes are not read; of_chosen_class:
    // a class is chosen and this is it) or a </P> tag (class_name null) in the subtitle.
    void (*mark_paragraph)(const char *class_name, bool of_chosen_class);
    // A style tag in the subtitle, opening or closing; a font's color attribute has been read
    // into the paragraphs' font_colour.
    void (*mark_style)(StyleTag tag, bool closing);
    // The end of the input; false when nothing written may be kept.
    bool (*finish_conversion)();
    // The fast path's walk over a subtitle's text (subtitle_walk.h), made with this listener's
    // own events so that they need no call a piece of text; null for the walk through this
    // table.
    const unsigned char *(*walk_text)(const unsigned char *start, const unsigned char *end);
};

// Sync Save's listener: each subtitle one line behind its stamp.
extern SubtitleListener stamp_listener;
