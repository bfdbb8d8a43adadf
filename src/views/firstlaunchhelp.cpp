#include "views/firstlaunchhelp.h"

#include "models/shellquote.h"
#include "store/installlocation.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace tovra {

QString FirstLaunchHelp::command(const QString &executablePath)
{
    return u"chmod +x "_s + shellQuoted(executablePath);
}

QString FirstLaunchHelp::packagesCommand()
{
    // Run-time libraries only: what a machine without the build tools must add.
    return u"sudo apt-get install libqt6widgets6 libqt6svg6 libqt6multimedia6 libqt6webenginewidgets6 "
           "qcoro-qt6 libarchive13 fonts-noto-cjk"_s;
}

QString FirstLaunchHelp::text(const QString &command)
{
    return u"这个包是直接拷贝或解压来的，第一次在新机器上打开时常见三种情况，按看到的现象对号入座：\n\n"
           "① 「没有反应」或「权限不够」\n"
           "   下载或解压时丢了可执行标记，见第③条的命令。\n\n"
           "② 「error while loading shared libraries」（缺少共享库）\n"
           "   这台机器没装运行所需的系统库。打开「终端」执行：\n"
           "   "_s
        + packagesCommand()
        + u"\n\n"
          "③ 在临时目录或只读位置（比如压缩包里）直接运行\n"
          "   先把整个 TovraClient 文件夹拖进「应用程序」文件夹（"_s
        + InstallLocation::applicationsFolder()
        + u"），再打开「终端」执行：\n\n   "_s + command + u"\n\n   然后再打开一次。"_s;
}

bool FirstLaunchHelp::show(QWidget *parent)
{
    const QString cmd = command(QCoreApplication::applicationFilePath());
    QMessageBox box(parent);
    box.setObjectName(u"firstLaunchHelp"_s);
    box.setTextFormat(Qt::PlainText);
    box.setIcon(QMessageBox::Information);
    box.setText(u"在新机器上打不开？"_s);
    box.setInformativeText(text(cmd));
    // The path is the user's; no label of the box may read it as markup.
    for (QLabel *label : box.findChildren<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    QPushButton *copy = box.addButton(u"复制第③条的命令"_s, QMessageBox::AcceptRole);
    box.addButton(u"关闭"_s, QMessageBox::RejectRole);
    box.setDefaultButton(copy);
    box.exec();
    if (box.clickedButton() != copy)
        return false;
    QGuiApplication::clipboard()->setText(cmd);
    return true;
}

}
