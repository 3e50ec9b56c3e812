// What a byte is to the reading rules, shared by the steps and the fast path: one table look a
// byte, since the scans run on every byte.
#pragma once

#include <cstdio>

enum ByteClass : unsigned char {
    ENDS_TAG_NAME = 1,   // blank, tab, line end, '/' or '>'
    WHITE_SPACE = 2,     // blank, tab, line end
    KEEPS_LESS_THAN = 4, // white space or a digit: a '<' before it is text
};
constexpr unsigned char ClassOf(int c)
{
    unsigned char bits = 0;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
        bits |= ENDS_TAG_NAME | WHITE_SPACE | KEEPS_LESS_THAN;
    if (c == '/' || c == '>')
        bits |= ENDS_TAG_NAME;
    if (c >= '0' && c <= '9')
        bits |= KEEPS_LESS_THAN;
    return bits;
}
struct ByteClasses {
    unsigned char of[256];
};
constexpr ByteClasses BYTE_CLASSES = [] {
    ByteClasses table{};
    for (int c = 0; c < 256; c++)
        table.of[c] = ClassOf(c);
    return table;
}();

// Blanks, tabs and line ends: what a subtitle writes one blank for.
inline bool IsWhiteSpace(int c)
{
    return c != EOF && (BYTE_CLASSES.of[c] & WHITE_SPACE) != 0;
}

// White space as HTML's attribute values know it: tab, line feed, form feed, CR and blank.
inline bool IsAsciiWhiteSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// Tag steps shared by both modes, and what a complete tag does.
inline bool EndsTagName(int c)
{
    return c == EOF || (BYTE_CLASSES.of[c] & ENDS_TAG_NAME) != 0;
}
// A '<' followed by white space, a digit or the end of the input is text, not a tag.
inline bool KeepsLessThan(int next)
{
    return next == EOF || (BYTE_CLASSES.of[next] & KEEPS_LESS_THAN) != 0;
}
