// Identifiers of the program's resources and commands, shared by velmora.rc and the shell.
#pragma once

// clang-format off

// Strings. STR_CLASS shares 109 with RES_MAIN and STR_TITLE shares 103 with DLG_ABOUT:
// they are different resource types, so the numbers do not collide.
#define STR_TITLE     103
#define STR_CLASS     109
#define STR_LANGUAGE  110
#define STR_ALL       111
#define STR_TOGETHER  102

// The menu and the accelerator table, one id for both.
#define RES_MAIN      109

// Dialogs.
#define DLG_ABOUT     103

// Icon groups; the lower id is the application icon. <windows.h> names WM_SETICON's small
// size ICON_SMALL too; the program never sends that message, so the icon id takes the name.
#undef ICON_SMALL
#define ICON_LARGE    107
#define ICON_SMALL    108

// Commands.
#define CMD_ABOUT     104
#define CMD_EXIT      105
#define CMD_OPEN      32771
#define CMD_SAVE      32772
#define CMD_SYNC_SAVE 32773

// The Language menu, built when a subtitle is chosen: All, then one item for each class of the
// subtitle's list, in a range that no other command uses.
#define CMD_LANGUAGE_ALL   40000
#define CMD_LANGUAGE_FIRST 40001
#define CMD_LANGUAGE_LAST  40256
// All together, placed after All: every class of the subtitle in one cue per moment.
#define CMD_LANGUAGE_TOGETHER 40257

// The batch window (File > Convert Several...) and its controls, found by id by the tests.
#define CMD_CONVERT_SEVERAL  32774
#define DLG_BATCH            200
#define IDC_BATCH_LIST       3001
#define IDC_BATCH_ADD        3002
#define IDC_BATCH_REMOVE     3003
#define IDC_BATCH_TYPE       3004
#define IDC_BATCH_LANGUAGE   3005
#define IDC_BATCH_BESIDE     3006
#define IDC_BATCH_FOLDER     3007
#define IDC_BATCH_BROWSE     3008
#define IDC_BATCH_REPLACE    3009
#define IDC_BATCH_PROGRESS   3010
#define IDC_BATCH_SUMMARY    3011
// clang-format on
