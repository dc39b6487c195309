// What every subsystem shares, kept below all of them: the context of one
// run (its picture, its files, its settings), set before it computes and
// read by the engine and the renderer, with message_buffer, where the
// engine and the BMP export leave their failure texts; and the bounded
// message texts. Each run owns its context; nothing here knows of models,
// isolines or pictures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform.h"

namespace files {
class AtomicFile;
class WriteBehind;
}

constexpr std::size_t kErrMsgSize = 256;        // the caller's errMsg buffer
constexpr std::size_t kMessageBufferSize = 128;  // message_buffer

struct RunContext {
  HDC run_hdc;
  int32_t plot_width;
  int32_t plot_height;
  std::FILE* log_file;           // the open run log, or none
  files::AtomicFile* display_list_file;  // open only while a run renders
  files::WriteBehind* display_list_behind;  // large runs: the file written by a thread of its own
  char message_buffer[kMessageBufferSize];
  int32_t table_limit_reached;  // the last call failed on a default table's limit
  int32_t fill_bands;           // plot runs fill the bands under the isolines
  int32_t large;                // the run's tables grow (large mode)
  int32_t bands_wanted;         // large mode: something reads the band table
  char run_log_path[4096];      // where plot runs write their log; "" for the default
};

// Formats a message into dest, a buffer of cap bytes, cutting it at the last
// whole code page 932 character that fits with its NUL.
void put_message(char* dest, std::size_t cap, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Copies a NUL-terminated text into dest (cap bytes) with the same cut.
void copy_message(char* dest, std::size_t cap, const char* text);

// An entry point's failure: text into the caller's errMsg (when given, cut
// as copy_message cuts), errno set to error (the system's error number when
// a file could not be written, 0 for any other failure); returns -1.
int32_t fail_entry(char* errMsg, const char* text, int error);

// The length of the longest prefix of text[0..len) made of whole code page 932
// characters that fits in limit bytes.
std::size_t cp932_fit(const char* text, std::size_t len, std::size_t limit);
