// The program's own texts. The source is UTF-8; the compiler stores them in code page 949
// (-fexec-charset=CP949), and each size below is checked so a build without that flag fails.
#pragma once

// The code page the narrow texts are stored in.
constexpr unsigned UI_CODE_PAGE = 949;

// Open's confirmation.
constexpr char OPEN_OK_TEXT[] = "파일 Open 성공";
constexpr char OPEN_OK_CAPTION[] = "파일입력";
static_assert(sizeof OPEN_OK_TEXT == 15, "stored in code page 949");
static_assert(sizeof OPEN_OK_CAPTION == 9, "stored in code page 949");

// Save's and Sync Save's report, text and caption alike.
constexpr char CONVERT_OK_TEXT[] = "Convert OK";
// Its second part when bytes the subtitle's encoding lacks were written as U+FFFD: the count
// and the encoding's name.
constexpr char INVALID_BYTES_FORMAT[] = "%s\n\n%s에 없는 바이트 %lld개를 U+FFFD로 바꿨습니다";
static_assert(sizeof INVALID_BYTES_FORMAT == 50, "stored in code page 949");

// The four painted lines, padded with blanks that are never drawn.
constexpr char PAINT_LINE_1[] = "영어자막(smi)에서 자막내용만    ";
constexpr char PAINT_LINE_2[] = "추출하는 프로그램입니다         ";
constexpr char PAINT_LINE_3[] = " 1 . 파일을 Open 한다           ";
constexpr char PAINT_LINE_4[] = " 2 . 파일을 Save 또는 Sync_Save 한다 ";
constexpr int PAINT_LINE_1_COUNT = 30;
constexpr int PAINT_LINE_2_COUNT = 30;
constexpr int PAINT_LINE_3_COUNT = 30;
constexpr int PAINT_LINE_4_COUNT = 36;
static_assert(sizeof PAINT_LINE_1 == 33, "stored in code page 949");
static_assert(sizeof PAINT_LINE_2 == 33, "stored in code page 949");
static_assert(sizeof PAINT_LINE_3 == 33, "stored in code page 949");
static_assert(sizeof PAINT_LINE_4 == 38, "stored in code page 949");

// The file dialogs' filters, for their wide forms: name and pattern pairs, then an empty string.
constexpr wchar_t SUBTITLE_FILTER[] =
    L"자막 파일 (*.smi;*.sami)\0*.smi;*.sami\0모든 파일 (*.*)\0*.*\0";
constexpr wchar_t SUBTITLE_EXTENSION[] = L"smi"; // added to a name typed without one
// Save's and Sync Save's types, in the order of SAVE_TYPES and SYNC_SAVE_TYPES (save_dialog.cpp).
constexpr wchar_t SAVE_FILTER[] = L"Txt File (*.txt)\0*.txt\0UTF-8 Txt File (*.txt)\0*.txt\0";
constexpr wchar_t SYNC_SAVE_FILTER[] =
    L"Txt File (*.txt)\0*.txt\0UTF-8 Txt File (*.txt)\0*.txt\0SubRip (*.srt)\0*.srt\0"
    L"WebVTT (*.vtt)\0*.vtt\0";

// The title after a subtitle is chosen: "movie.smi - Velmora", or with one class chosen
// "movie.smi [ENCC] - Velmora".
constexpr wchar_t TITLE_SEPARATOR[] = L" - ";
constexpr wchar_t TITLE_CLASS_OPEN[] = L" [";
constexpr wchar_t TITLE_CLASS_CLOSE[] = L"]";

// A Language item: "&2 ENCC: Hello", the class and its first words.
constexpr wchar_t CLASS_SAMPLE_SEPARATOR[] = L": ";

// Error boxes: one caption, a text for each way a command can fail.
constexpr char ERROR_CAPTION[] = "오류";
constexpr char CANNOT_OPEN_SUBTITLE_TEXT[] = "자막 파일을 열 수 없습니다";
constexpr char SAME_AS_SUBTITLE_TEXT[] = "자막 파일과 같은 파일에는 저장할 수 없습니다";
constexpr char CONVERSION_FAILED_TEXT[] = "변환에 실패했습니다";
constexpr char CANNOT_CREATE_OUTPUT_TEXT[] = "저장할 파일을 만들 수 없습니다";
constexpr char PATH_TOO_LONG_TEXT[] = "파일 경로가 너무 깁니다";
constexpr char CANNOT_CHOOSE_FILE_TEXT[] = "파일을 고를 수 없습니다";
constexpr char NO_SYNC_TAG_TEXT[] = "이 파일에는 자막(SYNC)이 없습니다";
constexpr char SUBTITLE_TOO_LONG_TEXT[] = "자막이 너무 깁니다";
static_assert(sizeof ERROR_CAPTION == 5, "stored in code page 949");
static_assert(sizeof CANNOT_OPEN_SUBTITLE_TEXT == 27, "stored in code page 949");
static_assert(sizeof SAME_AS_SUBTITLE_TEXT == 45, "stored in code page 949");
static_assert(sizeof CONVERSION_FAILED_TEXT == 20, "stored in code page 949");
static_assert(sizeof CANNOT_CREATE_OUTPUT_TEXT == 31, "stored in code page 949");
static_assert(sizeof PATH_TOO_LONG_TEXT == 24, "stored in code page 949");
static_assert(sizeof CANNOT_CHOOSE_FILE_TEXT == 24, "stored in code page 949");
static_assert(sizeof NO_SYNC_TAG_TEXT == 34, "stored in code page 949");
static_assert(sizeof SUBTITLE_TOO_LONG_TEXT == 19, "stored in code page 949");

// The batch window: its title, the columns of its list, its types and languages.
constexpr wchar_t BATCH_TITLE[] = L"여러 자막 변환 - Velmora";
constexpr wchar_t BATCH_COLUMN_FILE[] = L"File";
constexpr wchar_t BATCH_COLUMN_FOLDER[] = L"Folder";
constexpr wchar_t BATCH_COLUMN_RESULT[] = L"Result";
constexpr wchar_t BATCH_CONVERT_BUTTON[] = L"&Convert";
constexpr wchar_t BATCH_STOP_BUTTON[] = L"&Stop";
constexpr wchar_t BATCH_ALL_LANGUAGES[] = L"All";
constexpr wchar_t BATCH_ALL_TOGETHER[] = L"All together";
constexpr wchar_t BATCH_CLASS_FORMAT[] = L"%ls (%d)"; // "ENCC (12)": the files that hold it
// A row's result, and the summary line when a batch ends (and after Stop, what was left).
constexpr char BATCH_CONVERTED_TEXT[] = "변환 완료";
constexpr char BATCH_CUES_FORMAT[] = "변환 완료 (자막 %ld개)";
constexpr char BATCH_SKIPPED_TEXT[] = "건너뜀: 파일이 있음";
constexpr char BATCH_NO_CLASS_FORMAT[] = "이 자막에는 %s 언어가 없습니다";
constexpr char BATCH_SUMMARY_FORMAT[] = "%d개 중 %d개 변환, %d개 건너뜀, %d개 오류";
constexpr char BATCH_LEFT_FORMAT[] = ", %d개 남음";
static_assert(sizeof BATCH_CONVERTED_TEXT == 10, "stored in code page 949");
static_assert(sizeof BATCH_CUES_FORMAT == 23, "stored in code page 949");
static_assert(sizeof BATCH_SKIPPED_TEXT == 20, "stored in code page 949");
static_assert(sizeof BATCH_NO_CLASS_FORMAT == 31, "stored in code page 949");
static_assert(sizeof BATCH_SUMMARY_FORMAT == 42, "stored in code page 949");
static_assert(sizeof BATCH_LEFT_FORMAT == 12, "stored in code page 949");
