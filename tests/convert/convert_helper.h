// Converted models written out and read back with the library's reader.
#pragma once

#include <string>

#include "writer.h"

// The input file text of a model and a header.
std::string converted(const convert::Model& model, const convert::Header& header = {});

// Reads text with the library's reader into the model store: an empty text
// when it is accepted, else the reader's message (in UTF-8).
std::string read_back(const std::string& text);
