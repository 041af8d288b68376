#include <QApplication>
#include <QStringList>

#include "app/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("QLM_T4_USB");
  WindowOptions options;
  const QStringList args = QApplication::arguments();
  options.simulate = args.contains("--simulate");
  const auto home = args.indexOf("--home");
  if (home >= 0 && home + 1 < args.size()) options.home = args[home + 1].toStdString();
  TQLM_T4Window window(options);
  window.show();
  return QApplication::exec();
}
