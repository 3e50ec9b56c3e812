// Sync Save's stamped lines, the listener of its subtitles (time_stamp.cpp): each subtitle one
// line behind its start «HH :MM :SS  ». The walk over a subtitle's text writes them inline.
#pragma once

struct StampLines {
    bool stamp_pending; // the subtitle's stamp waits for its first text byte
    bool stamp_written; // a subtitle reached the output
};

extern StampLines stamp_lines;
