#include "views/firstlaunchhelp.h"

#include "models/shellquote.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace tovra {

QString FirstLaunchHelp::command(const QString &executablePath)
{
    return QStringLiteral("chmod +x ") + shellQuoted(executablePath);
}

QString FirstLaunchHelp::text(const QString &command)
{
    return QStringLiteral("如果双击没有反应，或系统提示“没有执行权限”，多半是下载来的文件丢了可执行标记。"
                          "打开「终端」执行：\n\n   ")
        + command + QStringLiteral("\n\n   然后再打开一次。");
}

void FirstLaunchHelp::show(QWidget *parent)
{
    const QString cmd = command(QCoreApplication::applicationFilePath());
    QMessageBox box(parent);
    box.setTextFormat(Qt::PlainText);
    box.setIcon(QMessageBox::Information);
    box.setText(QStringLiteral("在新机器上打不开？"));
    box.setInformativeText(text(cmd));
    // The path is the user's; no label of the box may read it as markup.
    for (QLabel *label : box.findChildren<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    QPushButton *copy = box.addButton(QStringLiteral("复制命令"), QMessageBox::ActionRole);
    box.addButton(QStringLiteral("关闭"), QMessageBox::RejectRole);
    box.exec();
    if (box.clickedButton() == copy)
        QGuiApplication::clipboard()->setText(cmd);
}

}
