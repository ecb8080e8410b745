#include "Dialogs.h"
#include "QtTranslations.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <functional>

// The station's boxes show their text as written: database text (addresses,
// server errors quoting a value) may look like markup.
class TestDialogs final : public QObject
{
    Q_OBJECT

private:
    // Runs show while a timer notes the open box's text format and closes it
    // with its default (accepting) button.
    static Qt::TextFormat formatOfTheBox(const std::function<void()> &show, QString *shownText)
    {
        Qt::TextFormat format = Qt::AutoText;
        QTimer::singleShot(0, [&] {
            const auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            format = box->textFormat();
            *shownText = box->text();
            QMessageBox *open = const_cast<QMessageBox *>(box);
            if (QAbstractButton *ok = open->button(QMessageBox::Ok))
                ok->click();
            else
                open->close();
        });
        show();
        return format;
    }

private slots:
    void textIsPlain()
    {
        QtDialogs dialogs;
        const QString text = QStringLiteral("<b>ул.</b> Тверская & Co");
        QString shown;
        QCOMPARE(formatOfTheBox([&] { dialogs.message(nullptr, text); }, &shown), Qt::PlainText);
        QCOMPARE(shown, text);
        bool answer = false;
        QCOMPARE(formatOfTheBox([&] { answer = dialogs.confirm(nullptr, text); }, &shown), Qt::PlainText);
        QCOMPARE(shown, text);
        QVERIFY(answer);
    }

    // A timer that finds the same fault every few milliseconds, and sees it
    // end and come back, while the first real box waits for the operator:
    // still one box on screen. Once it is closed and the fault has ended,
    // the next one is told again.
    void aFaultFoundByATimerIsOneBox()
    {
        QtDialogs dialogs;
        int mostOpen = 0;
        const auto openBoxes = [] {
            int open = 0;
            for (QWidget *w : QApplication::topLevelWidgets())
                open += qobject_cast<QMessageBox *>(w) && w->isVisible() ? 1 : 0;
            return open;
        };
        QTimer finder;
        finder.setInterval(5);
        int round = 0;
        QObject::connect(&finder, &QTimer::timeout, [&] {
            mostOpen = qMax(mostOpen, openBoxes());
            if (++round % 4 == 0)
                dialogs.settle(QStringLiteral("link"));
            dialogs.notice(nullptr, QStringLiteral("link"), QStringLiteral("Соединение закрыто"));
        });
        finder.start();
        QTimer::singleShot(400, [&] {
            finder.stop();
            mostOpen = qMax(mostOpen, openBoxes());
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
                    box->button(QMessageBox::Ok)->click();
            }
        });
        dialogs.notice(nullptr, QStringLiteral("link"), QStringLiteral("Соединение закрыто"));
        QCOMPARE(mostOpen, 1);
        QVERIFY(round > 10);

        // Closed, but not settled: nothing more is shown (a box shown by
        // mistake is noted and closed, so that the test fails, not hangs);
        // settled, it is.
        QTimer::singleShot(0, [&] {
            mostOpen = openBoxes();
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
                    box->button(QMessageBox::Ok)->click();
            }
        });
        dialogs.notice(nullptr, QStringLiteral("link"), QStringLiteral("Соединение закрыто"));
        QTest::qWait(20);
        QCOMPARE(mostOpen, 0);
        dialogs.settle(QStringLiteral("link"));
        QString shown;
        formatOfTheBox([&] { dialogs.notice(nullptr, QStringLiteral("link"), QStringLiteral("снова")); }, &shown);
        QCOMPARE(shown, QStringLiteral("снова"));
    }

    // What Qt itself says (a box's buttons, a calendar's months) is Russian
    // too.
    void qtSpeaksRussian()
    {
        QVERIFY2(QtTranslations::install(*QCoreApplication::instance()), "qt6-translations-l10n is not installed");
        QtDialogs dialogs;
        QStringList buttons;
        // The open box is found among the windows and always closed, so that
        // a box that is not as expected fails the test rather than hangs it.
        QTimer::singleShot(0, [&buttons] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *box = qobject_cast<QMessageBox *>(w);
                if (!box || !box->isVisible())
                    continue;
                for (QAbstractButton *button : box->buttons())
                    buttons << button->text();
                box->reject();
            }
        });
        QVERIFY(!dialogs.confirm(nullptr, QStringLiteral("Вы действительно хотите закрыть программу?")));
        QVERIFY2(buttons.contains(QStringLiteral("Отмена")), qPrintable(buttons.join(u'|')));
        QCOMPARE(QLocale().monthName(12), QStringLiteral("декабря"));
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
