#include "support/modal_answerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QPushButton>

ModalAnswerer::ModalAnswerer(QObject *parent)
    : QObject(parent)
{
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start(20);
}

void ModalAnswerer::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        titles << box->windowTitle();
        texts << box->text();
        if (m_close) {
            box->close();
            return;
        }
        QAbstractButton *target = nullptr;
        if (m_standard != QMessageBox::NoButton)
            target = box->button(m_standard);
        if (!target && !m_button_text.isEmpty()) {
            for (QAbstractButton *b : box->buttons())
                if (b->text() == m_button_text)
                    target = b;
        }
        if (!target)
            target = box->defaultButton();
        if (!target && !box->buttons().isEmpty())
            target = box->buttons().first();
        if (target)
            target->click();
        else
            box->reject();
        return;
    }
    if (auto *dialog = qobject_cast<QDialog *>(modal)) {
        titles << dialog->windowTitle();
        texts << QString();
        dialog->reject();
    }
}
