// Isovar: the window. "Isovar FILE" opens FILE at start-up as if it had been
// chosen in the open dialog.
#include <QApplication>
#include <QTimer>

#include "form1.h"
#include "isovar_lib_binding.h"
#include "qt_dialogs.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(kMessageCaption));

  IsovarLibBinding lib;
  std::string error;
  if (!load_isovar_lib(executable_dir(), &lib, &error)) {
    QtDialogs().message(QString::fromLocal8Bit(error.c_str()));
    return 1;
  }

  Form1 window(lib);
  window.show();

  const QStringList args = QApplication::arguments();
  if (args.size() > 1) {
    const QString path = args.at(1);
    QTimer::singleShot(0, &window, [&window, path] { window.module1().OpenInput(path); });
  }
  return QApplication::exec();
}
