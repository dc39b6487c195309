// Isovar: the window. "Isovar [--large] [--fill] [FILE]" opens FILE at
// start-up as if it had been chosen in the open dialog; --large lifts the
// default tables' limits for every model the window reads and plots, --fill
// starts with the bands filled (the picture's 塗りつぶし item checked).
// --help and --version print and end before any display is opened; a wrong
// option ends with status 2 before the window is shown.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <memory>

#include "form1.h"
#include "isovar_lib_binding.h"
#include "qt_dialogs.h"
#include "window_options.h"

namespace {

// SIGINT, SIGTERM and SIGHUP end the event loop through this pipe, so the
// window goes as when closed (its folder removed) before the program ends
// with the signal.
int signalPipe[2] = {-1, -1};
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

void onEndingSignal(int sig) {
  const unsigned char byte = static_cast<unsigned char>(sig);
  const int saved = errno;
  if (write(signalPipe[1], &byte, 1) < 0) {
    // Full: an ending is on its way already.
  }
  errno = saved;
}

void print(std::FILE* stream, const QString& text) { std::fputs(text.toLocal8Bit().constData(), stream); }

}  // namespace

int main(int argc, char** argv) {
  {
    // No display is needed to print the help or the version.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const WindowOptions options = parseWindowOptions(arguments);
    if (options.help || options.version) {
      int one = 1;
      char name[] = "Isovar";
      char* names[] = {name, nullptr};
      const QCoreApplication named(one, names);  // the name the help shows
      print(stdout, options.help ? windowHelpText() : windowVersionText());
      return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
  }

  QApplication app(argc, argv);  // takes out Qt's own options
  QApplication::setApplicationName(QString::fromLatin1(kMessageCaption));
  const WindowOptions options = parseWindowOptions(QApplication::arguments());
  if (!options.error.isEmpty()) {
    print(stderr, QStringLiteral("Isovar: %1\nTry 'Isovar --help' for more information.\n").arg(options.error));
    return 2;
  }

  IsovarLibBinding lib;
  std::string error;
  if (!load_isovar_lib(executable_dir(), &lib, &error)) {
    QtDialogs().message(QString::fromLocal8Bit(error.c_str()));
    return 1;
  }

  int endedBy = 0;
  std::unique_ptr<QSocketNotifier> endings;
  if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    endings = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(endings.get(), &QSocketNotifier::activated, [&endedBy] {
      unsigned char byte = 0;
      if (read(signalPipe[0], &byte, 1) == 1 && endedBy == 0) endedBy = byte;
      // Every event loop ends, a modal dialog's too.
      QCoreApplication::exit(0);
    });
    struct sigaction action = {};
    action.sa_handler = onEndingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : kEndingSignals) sigaction(sig, &action, nullptr);
  }

  int status = 0;
  {
    Form1 window(lib);
    window.show();
    if (options.large) window.Picture1->LargeItem->setChecked(window.module1().canUseLargeModels());
    if (options.fill) window.Picture1->FillItem->setChecked(window.module1().canFillBands());
    if (!options.file.isEmpty()) {
      const QString path = options.file;
      QTimer::singleShot(0, &window, [&window, path] { window.module1().OpenInput(path); });
    }
    status = QApplication::exec();
  }  // the window's folder goes with the window
  if (endedBy != 0) {
    signal(endedBy, SIG_DFL);
    raise(endedBy);
  }
  return status;
}
