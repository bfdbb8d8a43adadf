#include "views/qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tovra {

QStringList installChineseQtTranslations(QObject *owner)
{
    static const char *const kCatalogues[] = {"qtbase", "qtmultimedia", "qtwebengine"};
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QStringList loaded;
    for (const char *catalogue : kCatalogues) {
        auto *translator = new QTranslator(owner);
        if (translator->load(chinese, QString::fromLatin1(catalogue), QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(translator);
            loaded.append(QString::fromLatin1(catalogue));
        } else {
            delete translator;
        }
    }
    return loaded;
}

}
