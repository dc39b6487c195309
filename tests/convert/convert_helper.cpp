#include "convert_helper.h"

#include "default_objects.h"
#include "test_support.h"

std::string converted(const convert::Model& model, const convert::Header& header) {
  convert::StringSink sink;
  convert::Progress quiet(false);
  convert::write_input_file(model, header, sink, quiet);
  return sink.text;
}

std::string read_back(const std::string& text) {
  // The reader resets the store it reads into; zeroing the store here would
  // wipe the table pointers it holds.
  testing_support::TempDir dir;
  const std::string path = dir.file("converted.isovar");
  testing_support::write_file(path, text);
  char err[256] = {};
  if (ReadIsovarFile(path.c_str(), err) == 0) return {};
  return "refused: " + testing_support::utf8(err);
}
