#include "cp932_text.h"

#include <cstring>
#include <string>

#include "print_replay.h"

QString fromCp932(const char* bytes) { return fromCp932(QByteArray(bytes, static_cast<int>(std::strlen(bytes)))); }

QString fromCp932(const QByteArray& bytes) {
  const int end = bytes.indexOf('\0');
  const QByteArray text = end < 0 ? bytes : bytes.left(end);
  // The replay decodes the printed texts the same way.
  return QString::fromStdString(replay::cp932_to_utf8(text.toStdString()));
}
