#include "app/QtJapanese.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>

namespace QtJapanese {

bool Install(QCoreApplication& application) {
  auto* translator = new QTranslator(&application);
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  if (!translator->load(QStringLiteral("qtbase_ja"), folder)) {
    std::fprintf(stderr, "warning: no Japanese translation of Qt's own texts in %s (qtbase_ja.qm)\n",
                 qPrintable(folder));
    delete translator;
    return false;
  }
  application.installTranslator(translator);
  return true;
}

}  // namespace QtJapanese
