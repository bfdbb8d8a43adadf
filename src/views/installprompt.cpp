#include "views/installprompt.h"

#include "store/installlocation.h"
#include "store/log.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace tovra {

namespace {

QString applicationsLine()
{
    return u"\n\n「应用程序」文件夹："_s + InstallLocation::applicationsFolder();
}

// Buttons in the order given; the first is the default. Answers the index pressed.
int ask(QWidget *parent, const QString &name, const QString &message, const QString &detail, const QStringList &buttons)
{
    QMessageBox box(parent);
    box.setObjectName(name);
    box.setIcon(QMessageBox::Information);
    box.setTextFormat(Qt::PlainText);
    box.setText(message);
    box.setInformativeText(detail);
    // The path is the user's and may hold anything; nothing here is markup.
    for (QLabel *label : box.findChildren<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    QList<QAbstractButton *> added;
    for (const QString &text : buttons)
        added.append(box.addButton(QString(text).replace(u'&', u"&&"_s), QMessageBox::ActionRole));
    box.setDefaultButton(qobject_cast<QPushButton *>(added.first()));
    box.setEscapeButton(added.size() > 1 ? added[1] : added.first());
    box.exec();
    return int(added.indexOf(box.clickedButton()));
}

void silence()
{
    QSettings().setValue(QString::fromLatin1(InstallLocation::kSkipMovePromptKey), true);
}

}

InstallPrompt::InstallPrompt(QString unit)
    : m_unit(std::move(unit))
{
    launch = [](const QString &executable) {
        return QProcess::startDetached(executable, {}, QFileInfo(executable).absolutePath());
    };
    quit = [] { QTimer::singleShot(0, qApp, &QCoreApplication::quit); };
    now = [] { return QDateTime::currentSecsSinceEpoch(); };
}

void InstallPrompt::promptIfNeeded()
{
    InstallPrompt prompt(InstallLocation::runningUnit());
    prompt.run(QApplication::activeWindow());
}

InstallPrompt::Outcome InstallPrompt::run(QWidget *parent)
{
    // A build tree or a distribution's package is not ours to move.
    if (m_unit.isEmpty() || InstallLocation::isInstalled(m_unit))
        return Outcome::NotAsked;
    if (QSettings().value(QString::fromLatin1(InstallLocation::kSkipMovePromptKey), false).toBool())
        return Outcome::NotAsked;

    if (InstallLocation::isTranslocated(m_unit)) {
        const int answer = ask(parent, u"dragPrompt"_s, u"把 Tovra 拖到「应用程序」文件夹"_s,
                               u"现在这份是从压缩包里直接运行的，系统把它放在了一个只读的临时位置。\n"
                               "这会带来两个问题：应用菜单里找不到它，自动更新也装不上（每次都要你手动拖）。\n\n"
                               "请在「下载」文件夹里找到 TovraClient 文件夹，拖进「应用程序」，之后从那里打开。"_s
                                   + applicationsLine(),
                               {u"知道了"_s, u"不再提示"_s});
        if (answer == 1) {
            silence();
            return Outcome::Silenced;
        }
        return Outcome::Later;
    }

    const int answer = ask(parent, u"movePrompt"_s, u"把 Tovra 移到「应用程序」文件夹？"_s,
                           u"现在它在："_s + m_unit
                               + u"\n\n移过去之后应用菜单里就能找到它，自动更新也才能正常安装——放在其它位置时，\n"
                                 "系统会用只读方式运行它，更新装不上去。"_s
                               + applicationsLine(),
                           {u"移过去"_s, u"以后再说"_s, u"不再提示"_s});
    if (answer == 2) {
        silence();
        return Outcome::Silenced;
    }
    if (answer != 0)
        return Outcome::Later;

    const auto moved = InstallLocation::move(m_unit, now());
    if (!moved) {
        showFailure(parent, moved.error());
        return Outcome::MoveFailed;
    }
    const QString executable = QDir(*moved).filePath(QString::fromLatin1(InstallLocation::kExecutableName));
    // Quitting before the new copy runs would leave the user with no client on screen at all.
    if (!launch(executable)) {
        showFailure(parent, u"已复制到 "_s + *moved + u"，但无法启动那里的程序。"_s);
        return Outcome::MoveFailed;
    }
    logLine(u"已移到 "_s + *moved + u"，启动新位置的程序并退出"_s);
    quit();
    return Outcome::Moved;
}

void InstallPrompt::showFailure(QWidget *parent, const QString &reason)
{
    ask(parent, u"moveFailed"_s, u"移动失败"_s,
        reason + u"\n\n可以自己把 Tovra 拖进「应用程序」文件夹。"_s + applicationsLine(), {u"好"_s});
}

}
