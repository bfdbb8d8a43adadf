#include "views/firstlaunchhelp.h"

#include "buildconfig.h"
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
    // Run-time packages only: what a machine without the build tools must add. The list is the
    // set-up script's own, so the two cannot drift apart.
    return u"sudo apt-get install "_s + QString::fromUtf8(build::kRuntimePackages);
}

QString FirstLaunchHelp::text(const QString &command)
{
    return u"这个包是直接下载或解压来的，在新机器上第一次打开时常见三种情况，按看到的现象对号入座：\n\n"
           "① 「从压缩包里直接运行」或放在只读的位置\n"
           "   临时目录里的文件随时会被清掉，只读位置也装不上自动更新。\n"
           "   把整个 TovraClient 文件夹拖进「应用程序」文件夹（"_s
        + InstallLocation::applicationsFolder()
        + u"），之后从那里打开。\n\n"
          "② 「error while loading shared libraries」（缺少共享库）\n"
          "   这台机器没装运行所需的系统库。打开「终端」执行：\n"
          "   "_s
        + packagesCommand()
        + u"\n\n"
          "③ 「权限不够」，或双击没有任何反应\n"
          "   这不是文件坏了，是下载或解压时丢了可执行标记。打开「终端」执行：\n\n   "_s
        + command + u"\n\n   然后再打开一次。"_s;
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
