#include "views/qttranslations.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QNetworkReply>
#include <QPushButton>
#include <QTest>
#include "support/testmain.h"

using namespace tovra;

// Qt's own words in the window: the standard buttons, a text field's context menu and the
// network error strings that may reach a message.
class TestTranslations : public QObject
{
    Q_OBJECT
private slots:
    void qtTextsAreChinese_data()
    {
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("chinese");
        QTest::newRow("button") << "QPlatformTheme" << "Cancel" << "取消";
        QTest::newRow("context menu") << "QLineEdit" << "&Paste" << "粘贴(&P)";
        QTest::newRow("network") << "QAbstractSocket" << "Connection refused" << "连接被拒绝";
    }
    void qtTextsAreChinese()
    {
        QFETCH(QString, context);
        QFETCH(QString, source);
        QObject owner;
        QVERIFY(installChineseQtTranslations(&owner).contains(QStringLiteral("qtbase")));
        QTEST(QCoreApplication::translate(context.toLatin1().constData(), source.toLatin1().constData()), "chinese");
        QDialogButtonBox box(QDialogButtonBox::Cancel);
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
    }

    // The catalogues go with their owner: nothing stays installed behind a test or a window.
    void ownerTakesThemAway()
    {
        {
            QObject owner;
            installChineseQtTranslations(&owner);
        }
        QDialogButtonBox box(QDialogButtonBox::Cancel);
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancel"));
    }
};

TOVRA_TEST(TestTranslations)
#include "tst_translations.moc"
