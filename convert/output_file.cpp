#include "output_file.h"

namespace convert {

OutputFile::OutputFile(const std::string& path) : path_(path) {
  if (int error = file_.open(path.c_str(), files::Target::kNamedByUser)) fail(error);
}

OutputFile::~OutputFile() = default;  // an uncommitted file is abandoned

void OutputFile::fail(int error) { throw OutputFailure(files::write_failure(path_, error)); }

void OutputFile::write(const char* bytes, size_t size) {
  file_.write(bytes, size);
  if (int error = file_.error()) fail(error);
}

void OutputFile::commit() {
  if (int error = file_.commit()) fail(error);
}

}  // namespace convert
