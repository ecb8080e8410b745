#include "Dialogs.h"

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
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
