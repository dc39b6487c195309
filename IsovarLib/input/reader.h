// The input reader: turns one input file into a model.
// A read works with a ReaderState (line count, section flags, record count,
// the open input file and its buffer), writes the model it is given, and
// appends the node number error to the run log it is given, if any.
//
// Every reader returns 0, or -1 with exactly one message in errMsg (the
// caller's buffer of kErrMsgSize bytes). The number parser's own diagnostics
// go to the standard error stream.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr int kRecordSize = 255;      // read_record: 254 bytes of a line and a NUL
constexpr int kTitleLineSize = 200;   // title_input: 199 bytes of a line and a NUL
constexpr int kInputBufferSize = 65536;
constexpr int kMaxNodeNumber = 99999;  // node and element numbers 0 to 99999

// The open input file: raw bytes through one fixed buffer, so reading never
// allocates. Lines are handed out as the C library's line reader would,
// except that a carriage return right before a line feed is dropped.
struct InputFile {
  int fd;  // -1 when closed
  int32_t line_number;  // physical lines read so far, comments and blanks included
  int32_t pos;
  int32_t end;
  bool at_eof;
  char buffer[kInputBufferSize];
};

struct ModelStore;
struct Model;

struct ReaderState {
  ModelStore* model;     // where the sections write
  std::FILE* log_file;   // the run log to append to, or none
  int32_t limit_reached; // the read failed on a default table's limit
  int32_t x_given;
  int32_t y_given;
  int32_t value_given;
  int32_t levels_given;
  int32_t nodes_given;
  int32_t elements_given;
  int32_t node_data_given;
  int32_t record_count;  // records of the main loop, to keep "*model" first
  InputFile input;
};

// The file: 0, or -1 when it cannot be opened for reading (a folder cannot).
int open_input(InputFile& in, const char* path);
void close_input(InputFile& in);
// The next piece of a physical line into line (cap bytes): at most cap - 1
// bytes, up to and including its line feed, NUL-terminated. Returns its byte
// count, or -1 at the end of the file. A CR LF pair reads as one line feed.
int read_line_piece(InputFile& in, char* line, int cap);

// The reader driver: reads path into model (in large mode's growing tables
// when large), keeping the model as it was unless the whole file is read.
// 0, or -1 with the message in errMsg; *limit_reached tells whether the
// failure was a default table's limit. log_file, when not null, receives
// the node number error.
int32_t ReadIsovarFile(Model& model, const char* path, char* errMsg, bool large, std::FILE* log_file,
                       int32_t* limit_reached);

// The next record into record (kRecordSize bytes): comment removed, A to Z
// folded to lower case, blank lines skipped. 0, or -1 at the end of the file.
int read_record(InputFile& in, char* record);

// Moves past the first `bytes` bytes in the buffer, a whole line with its
// feed that a section read in place, counting it as read_record would.
void take_line(InputFile& in, int bytes);

// Splits record into at most max_tokens tokens of at most max_len - 1 bytes
// each (tokens is max_tokens slots of max_len bytes, laid out in a row).
// Separators are blanks, tabs and commas; a longer token is cut and its rest
// becomes the next token. Slots beyond the count found are left empty.
int split_tokens(const char* record, char* tokens, int max_tokens, int max_len);

// The file's number syntax: 0 with the value in *result, or -1 (with a
// diagnostic on the standard error stream) when text is not a number.
int str2d(const char* text, double* result);

// The commonest spelling of a number: an optional sign, digits with at
// most one point, nothing else in [begin, end), at most 19 digits that make
// a mantissa below 2^53. True with the value str2d gives for such a text
// (the correctly rounded one); false leaves the text to str2d.
bool plain_decimal(const char* begin, const char* end, double* result);

// A real field of a record: str2d, and also refused when the value is not
// finite once narrowed to single precision (1e39, 1e400), since the store
// keeps single precision. True with the double-precision value in *value.
bool read_real(const char* token, double* value);

// Node, element and grid index fields: leading blanks, an optional sign,
// digits; the rest is ignored and no digit is 0. Saturates instead of
// overflowing, so a huge number stays out of every range.
int32_t parse_index(const char* text);

int title_input(ReaderState& r, char* errMsg);
int x_input(ReaderState& r, char* errMsg);
int y_input(ReaderState& r, char* errMsg);
int value_input(ReaderState& r, char* errMsg);
int con_input(ReaderState& r, char* errMsg);
int node_input(ReaderState& r, char* errMsg);
int element_input(ReaderState& r, char* errMsg);
int node_data_input(ReaderState& r, char* errMsg);
int frame_data_input(ReaderState& r, char* errMsg);

// Marks the failure being reported as one of a table limit that large mode
// lifts.
void note_table_limit(ReaderState& r);

// The extent of the model just read. A grid direction without coordinates
// gets the empty extent (minimum 1e20, maximum -1e20), as a model without
// nodes does.
void compute_extent(ModelStore& m);
