#pragma once

#include <QStringList>

class QObject;

namespace tovra {

// Loads Qt's own zh_CN catalogues (qtbase, and the modules the client shows texts of) from Qt's
// translation folder and installs them for as long as owner lives. Answers the catalogues that
// loaded; a missing one leaves those texts in English and is no failure.
QStringList installChineseQtTranslations(QObject *owner);

}
