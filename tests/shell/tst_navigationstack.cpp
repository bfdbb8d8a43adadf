#include "support/testmain.h"
#include "views/navigationstack.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>

using namespace tovra;
using namespace Qt::StringLiterals;

namespace {

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A page with state a user would be upset to lose: typed text.
QLineEdit *page(const QString &text)
{
    auto *edit = new QLineEdit;
    edit->setText(text);
    return edit;
}

}

class NavigationStackTest : public QObject
{
    Q_OBJECT

private slots:
    void goingBackShowsThePageAsItWasLeft()
    {
        NavigationStack stack;
        stack.setRoot(page(u"root"_s));
        QLineEdit *first = page(u"first"_s);
        stack.push(Route::detail(u"1"_s), first);
        first->setText(u"typed by the user"_s);
        first->setCursorPosition(3);
        QPointer<QWidget> second = page(u"second"_s);
        stack.push(Route::detail(u"2"_s), second);
        QCOMPARE(stack.currentPage(), second.data());
        QCOMPARE(stack.path(), (QList<Route>{Route::detail(u"1"_s), Route::detail(u"2"_s)}));

        QVERIFY(stack.pop());
        flushDeletes();
        QVERIFY(!second);
        QCOMPARE(stack.currentPage(), first);
        QCOMPARE(first->text(), u"typed by the user"_s);
        QCOMPARE(first->cursorPosition(), 3);
        QCOMPARE(stack.path(), QList<Route>{Route::detail(u"1"_s)});
    }

    void popAtTheRootDoesNothing()
    {
        NavigationStack stack;
        QWidget *root = page(u"root"_s);
        stack.setRoot(root);
        QSignalSpy changed(&stack, &NavigationStack::pathChanged);
        QVERIFY(!stack.pop());
        stack.popToRoot();
        QCOMPARE(changed.size(), 0);
        QCOMPARE(stack.currentPage(), root);
        QVERIFY(!stack.backAction()->isEnabled());
    }

    // A new search or section replaces the root underneath what the user has opened on top.
    void rootChangesWhileRoutesStayPushed()
    {
        NavigationStack stack;
        QPointer<QWidget> oldRoot = page(u"old"_s);
        stack.setRoot(oldRoot);
        QWidget *detail = page(u"detail"_s);
        stack.push(Route::detail(u"1"_s), detail);

        QWidget *newRoot = page(u"new"_s);
        stack.setRoot(newRoot);
        flushDeletes();
        QVERIFY(!oldRoot);
        QCOMPARE(stack.root(), newRoot);
        QCOMPARE(stack.currentPage(), detail);
        QCOMPARE(stack.depth(), 1);

        QVERIFY(stack.pop());
        QCOMPARE(stack.currentPage(), newRoot);

        // Setting the same root again keeps it alive.
        stack.setRoot(newRoot);
        flushDeletes();
        QCOMPARE(stack.root(), newRoot);
        // The root that holds the focus replaced: the new page takes it itself, at its top.
        stack.show();
        QVERIFY(QTest::qWaitForWindowActive(&stack));
        newRoot->setFocus();
        auto *third = new QWidget;
        page(u"first stop"_s)->setParent(third);
        stack.setRoot(third);
        QCOMPARE(QApplication::focusWidget(), third);
    }

    void popToRootDropsEveryPushedPage()
    {
        NavigationStack stack;
        QWidget *root = page(u"root"_s);
        stack.setRoot(root);
        QList<QPointer<QWidget>> pages;
        for (int i = 0; i < 3; ++i) {
            pages << page(QString::number(i));
            stack.push(Route::detail(QString::number(i)), pages.last());
        }
        QVERIFY(stack.backAction()->isEnabled());
        stack.popToRoot();
        flushDeletes();
        for (const auto &p : pages)
            QVERIFY(!p);
        QCOMPARE(stack.depth(), 0);
        QCOMPARE(stack.currentPage(), root);
        QVERIFY(!stack.backAction()->isEnabled());
    }

    void altLeftGoesBack()
    {
        QMainWindow window;
        auto *stack = new NavigationStack;
        window.setCentralWidget(stack);
        stack->setRoot(page(u"root"_s));
        QLineEdit *first = page(u"first"_s);
        stack->push(Route::detail(u"1"_s), first);
        stack->push(Route::login(), page(u"login"_s));
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        QTest::keyClick(stack->currentPage(), Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(stack->depth(), 1);
        QCOMPARE(stack->currentPage(), first);
        // Alt+Left is the stack's; plain Left stays the text field's.
        first->setFocus();
        QTest::keyClick(first, Qt::Key_Left);
        QCOMPARE(stack->depth(), 1);
    }

    // The back button is usually pressed over a child that swallows clicks; one press goes back
    // exactly one page, however deep the child sits.
    void mouseBackButtonGoesBackOnce()
    {
        QMainWindow window;
        auto *stack = new NavigationStack;
        window.setCentralWidget(stack);
        window.resize(400, 300);
        stack->setRoot(page(u"root"_s));
        stack->push(Route::detail(u"1"_s), page(u"first"_s));
        auto *scroll = new QScrollArea;
        // A plain widget ignores clicks, so the press travels up through every parent.
        auto *inner = new QWidget;
        inner->setFixedSize(200, 200);
        scroll->setWidget(inner);
        stack->push(Route::detail(u"2"_s), scroll);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QTest::mousePress(inner, Qt::BackButton, {}, QPoint(5, 5));
        QTest::mouseRelease(inner, Qt::BackButton, {}, QPoint(5, 5));
        QCOMPARE(stack->depth(), 1);

        // Other windows' back buttons are theirs.
        QWidget other;
        other.show();
        QTest::mousePress(&other, Qt::BackButton, {}, QPoint(5, 5));
        QCOMPARE(stack->depth(), 1);
    }
};

TOVRA_TEST(NavigationStackTest)
#include "tst_navigationstack.moc"
