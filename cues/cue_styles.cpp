// The styles SubRip and WebVTT keep. Tags open and close styles as the input has them, however
// crossed, repeated or left open; what is written is always well nested and has no empty or
// needless tag: before each piece of text the written tags that no longer apply close, taking
// those opened inside them along, and the styles that apply and are not open open, in the order
// their tags came in.
#include "cue_writer.h"

namespace
{

// What is written: a style, and for colour its value.
enum Style { ITALIC, BOLD, UNDERLINE, COLOUR, STYLE_COUNT };

constexpr int FONT_DEPTH = 64; // fonts kept with their colour; more nested ones count without

struct Font {
    std::uint32_t colour; // or NO_COLOUR
    std::uint64_t since;  // its tag's place among the style tags
};

struct WrittenTag {
    Style style;
    std::uint32_t colour;
};

// The process-wide record of the styles of the paragraph being read.
struct Styles {
    bool colours;                    // colour is written
    long open[5];                    // open tags of each kind: i, em, b, strong, u
    long tags_open;                  // of them all
    std::uint64_t since[5];          // the place of the outermost open tag of each kind
    Font fonts[FONT_DEPTH];          // the open fonts, outermost first
    long font_depth;                 // how many are open, past FONT_DEPTH too
    std::uint32_t colour;            // the colour in force: the innermost font's that has one
    std::uint64_t colour_since;      // that font's place
    std::uint64_t tags;              // style tags taken, for their places
    WrittenTag written[STYLE_COUNT]; // the tags open in the output, outermost first
    int written_count;
};

Styles styles;

/* FindColour
 *     The colour in force: the innermost open font's that has one. */
void FindColour()
{
    Styles &state = styles;
    state.colour = NO_COLOUR;
    long depth = state.font_depth < FONT_DEPTH ? state.font_depth : FONT_DEPTH;
    for (long k = depth - 1; k >= 0; k--) {
        if (state.fonts[k].colour != NO_COLOUR) {
            state.colour = state.fonts[k].colour;
            state.colour_since = state.fonts[k].since;
            return;
        }
    }
}

/* StyleInForce
 *     Whether style applies now, and from which tag's place. */
bool StyleInForce(Style style, std::uint64_t *since)
{
    const Styles &state = styles;
    auto kinds = [&](int first, int count) {
        bool open = false;
        for (int k = first; k < first + count; k++) {
            if (state.open[k] > 0 && (!open || state.since[k] < *since))
                *since = state.since[k];
            open = open || state.open[k] > 0;
        }
        return open;
    };
    switch (style) {
    case ITALIC: return kinds(0, 2);
    case BOLD: return kinds(2, 2);
    case UNDERLINE: return kinds(4, 1);
    default: *since = state.colour_since; return state.colours && state.colour != NO_COLOUR;
    }
}

unsigned char *PutOpeningTag(unsigned char *out, const WrittenTag &tag)
{
    static const char HEX_DIGITS[] = "0123456789abcdef";
    switch (tag.style) {
    case ITALIC: return PutBytes(out, "<i>", 3);
    case BOLD: return PutBytes(out, "<b>", 3);
    case UNDERLINE: return PutBytes(out, "<u>", 3);
    default: break;
    }
    out = PutBytes(out, "<font color=\"#", 14);
    for (int shift = 20; shift >= 0; shift -= 4)
        *out++ = static_cast<unsigned char>(HEX_DIGITS[(tag.colour >> shift) & 0xF]);
    return PutBytes(out, "\">", 2);
}

unsigned char *PutClosingTag(unsigned char *out, const WrittenTag &tag)
{
    switch (tag.style) {
    case ITALIC: return PutBytes(out, "</i>", 4);
    case BOLD: return PutBytes(out, "</b>", 4);
    case UNDERLINE: return PutBytes(out, "</u>", 4);
    default: return PutBytes(out, "</font>", 7);
    }
}

} // namespace

bool styles_changed;
bool styles_open;
bool styles_written;

void StartStyles(bool colours)
{
    styles = Styles{};
    styles.colours = colours;
    styles.colour = NO_COLOUR;
    styles_changed = false;
    styles_open = false;
    styles_written = false;
}

void ForgetStyleTags()
{
    Styles &state = styles;
    state.tags_open = 0;
    for (long &open : state.open)
        open = 0;
    state.font_depth = 0;
    state.colour = NO_COLOUR;
    styles_changed = true;
    styles_open = false;
}

void TakeStyleTag(StyleTag tag, bool closing, std::uint32_t colour)
{
    Styles &state = styles;
    std::uint64_t place = ++state.tags;
    styles_changed = true;
    if (tag == StyleTag::Font) {
        if (closing && state.font_depth > 0) {
            state.font_depth--;
            FindColour();
        } else if (!closing) {
            if (state.font_depth < FONT_DEPTH)
                state.fonts[state.font_depth] = Font{colour, place};
            state.font_depth++;
            FindColour();
        }
        styles_open = state.tags_open > 0 || state.font_depth > 0;
        return;
    }
    int kind = static_cast<int>(tag);
    if (closing && state.open[kind] > 0) {
        state.open[kind]--;
        state.tags_open--;
    } else if (!closing) {
        if (state.open[kind]++ == 0)
            state.since[kind] = place;
        state.tags_open++;
    }
    styles_open = state.tags_open > 0 || state.font_depth > 0;
}

unsigned char *PutStylesBeforeText(unsigned char *out, const char *separator,
                                   std::size_t separator_length)
{
    Styles &state = styles;
    styles_changed = false;
    // What is in force now, and from which tag's place.
    bool in_force[STYLE_COUNT];
    std::uint64_t places[STYLE_COUNT];
    for (int s = 0; s < STYLE_COUNT; s++)
        in_force[s] = StyleInForce(static_cast<Style>(s), &places[s]);
    auto applies = [&](const WrittenTag &tag) {
        return in_force[tag.style] && (tag.style != COLOUR || tag.colour == state.colour);
    };
    int kept = 0;
    while (kept < state.written_count && applies(state.written[kept]))
        kept++;
    for (int k = state.written_count - 1; k >= kept; k--)
        out = PutClosingTag(out, state.written[k]);
    state.written_count = kept;
    std::memcpy(out, separator, SEPARATOR_ROOM);
    out += separator_length;
    // The styles to open, in the order their tags came in.
    for (int k = 0; k < state.written_count; k++)
        in_force[state.written[k].style] = false;
    Style opening[STYLE_COUNT];
    int count = 0;
    for (int s = 0; s < STYLE_COUNT; s++) {
        if (!in_force[s])
            continue;
        int at = count++;
        for (; at > 0 && places[opening[at - 1]] > places[s]; at--)
            opening[at] = opening[at - 1];
        opening[at] = static_cast<Style>(s);
    }
    for (int k = 0; k < count; k++) {
        WrittenTag tag{opening[k], opening[k] == COLOUR ? state.colour : NO_COLOUR};
        out = PutOpeningTag(out, tag);
        state.written[state.written_count++] = tag;
    }
    styles_written = state.written_count > 0;
    return out;
}

unsigned char *PutClosingStyles(unsigned char *out)
{
    Styles &state = styles;
    for (int k = state.written_count - 1; k >= 0; k--)
        out = PutClosingTag(out, state.written[k]);
    state.written_count = 0;
    styles_written = false;
    return out;
}

/* SaveWrittenStyles
 *     The tags open in the output, for a merged cue whose classes' texts are made side by side:
 *     each class's text keeps its own. */
void SaveWrittenStyles(WrittenStyles *saved)
{
    saved->count = styles.written_count;
    for (int k = 0; k < styles.written_count; k++) {
        saved->styles[k] = static_cast<int>(styles.written[k].style);
        saved->colours[k] = styles.written[k].colour;
    }
}

/* RestoreWrittenStyles
 *     Makes saved the tags open in the output; what applies is worked out again before the next
 *     text. */
void RestoreWrittenStyles(const WrittenStyles &saved)
{
    styles.written_count = saved.count;
    for (int k = 0; k < saved.count; k++)
        styles.written[k] = WrittenTag{static_cast<Style>(saved.styles[k]), saved.colours[k]};
    styles_written = saved.count > 0;
    styles_changed = styles_changed || saved.count > 0;
}
