// Titles: UTF-8 from the command line, code page 932 in the input file.
#pragma once

#include <string>

namespace convert {

constexpr int kMaxTitles = 5;
constexpr int kMaxTitleBytes = 58;

// The code page 932 bytes of one title line into out. An empty text when
// good; else why not: not UTF-8, a character code page 932 lacks, a
// control character, more than 58 bytes, or a start that would end the
// title section ("*end", "*END").
std::string title_to_cp932(const std::string& utf8, std::string& out);

}  // namespace convert
