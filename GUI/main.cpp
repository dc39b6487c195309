// Isovar: the window. "Isovar [--large] [--fill] [FILE]" opens FILE at
// start-up as if it had been chosen in the open dialog; --large lifts the
// default tables' limits for every model the window reads and plots, --fill
// starts with the bands filled (the picture's 塗りつぶし item checked).
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

  QStringList args = QApplication::arguments();
  args.removeFirst();
  if (args.removeAll(QStringLiteral("--large")) > 0 && lib.setLargeModels != nullptr) lib.setLargeModels(1);
  if (args.removeAll(QStringLiteral("--fill")) > 0) window.Picture1->FillItem->setChecked(window.module1().canFillBands());
  if (!args.isEmpty()) {
    const QString path = args.first();
    QTimer::singleShot(0, &window, [&window, path] { window.module1().OpenInput(path); });
  }
  return QApplication::exec();
}
