// Helpers for tests that drive the real window.
#ifndef GUI_HELPERS_H
#define GUI_HELPERS_H

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

// Answers every modal message that appears, remembering what it said.
class MessageCloser : public QObject
{
public:
    MessageCloser()
    {
        connect(&poll, &QTimer::timeout, this, [this]() {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            titles << box->windowTitle();
            texts << box->text();
            buttons = box->standardButtons();
            box->button(QMessageBox::Ok)->click();
        });
        poll.start(10);
    }
    QStringList titles;
    QStringList texts;
    QMessageBox::StandardButtons buttons;

private:
    QTimer poll;
};

#endif
