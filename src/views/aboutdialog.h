#pragma once

#include <QDialog>

class QLabel;

namespace tovra {

// "关于 Tovra": the mark, the product name and the short version. The build number is left out
// on purpose: it means nothing to users and only invites comparing it with the version.
class AboutDialog : public QDialog
{
    Q_OBJECT
public:
    explicit AboutDialog(QWidget *parent = nullptr);

    // The line under the name: "版本 " and the short version, or empty when there is none.
    static QString versionLine(const QString &shortVersion);
    QString versionText() const;

private:
    QLabel *m_version = nullptr;
};

}
