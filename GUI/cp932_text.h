// The library speaks code page 932; the window shows QStrings.
#pragma once

#include <QByteArray>
#include <QString>

// The text of code page 932 bytes, up to the first NUL. A byte that does not
// decode becomes U+FFFD and decoding goes on after it, so a damaged message
// still shows what it can.
QString fromCp932(const QByteArray& bytes);
QString fromCp932(const char* bytes);
