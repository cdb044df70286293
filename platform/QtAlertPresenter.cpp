#include "platform/QtAlertPresenter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <iostream>

namespace
{

bool HasWidgets()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

// The window an alert belongs on: the active one, but never another message panel, which goes away once
// answered, nor a window already hidden (a file panel that has just closed, while the window system has not yet
// moved the activation): either would take the alert with it unread.
QWidget* AlertParent()
{
    QWidget* window = QApplication::activeWindow();
    while (window && (qobject_cast<QMessageBox*>(window) || !window->isVisible()))
        window = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    return window;
}

} // namespace

void QtAlertPresenter::ShowAlert(const std::string& message)
{
    if (!HasWidgets())
    {
        std::cerr << message << std::endl;
        return;
    }
    QWidget* parent = AlertParent();
    auto* box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Warning);
    box->setTextFormat(Qt::PlainText);
    // Alerts carry paths, addresses and server messages that the user may need to copy.
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box->setText(QString::fromStdString(message));
    box->setStandardButtons(QMessageBox::Ok);
    if (parent)
        box->open(); // window-modal on the document; the caller goes on at once
    else
    {
        box->setWindowModality(Qt::NonModal);
        box->show();
    }
}

bool QtAlertPresenter::ShowConfirmation(const std::string& message)
{
    if (!HasWidgets())
    {
        std::cerr << message << " (answered: No)" << std::endl;
        return false;
    }
    // On the heap and watched: the window under the panel may close while the panel waits (timers and
    // transfers still run), and a closing window deletes its children, the panel among them.
    QPointer<QMessageBox> box = new QMessageBox(QApplication::activeWindow());
    box->setWindowModality(Qt::ApplicationModal);
    box->setIcon(QMessageBox::Question);
    box->setTextFormat(Qt::PlainText);
    box->setText(QString::fromStdString(message));
    QPushButton* no = box->addButton(QObject::tr("No"), QMessageBox::NoRole);
    QPushButton* yes = box->addButton(QObject::tr("Yes"), QMessageBox::YesRole);
    box->setDefaultButton(no);
    box->setEscapeButton(no);
    box->exec();
    if (!box)
        return false; // gone unanswered: the default
    const bool chosen = box->clickedButton() == yes;
    delete box;
    return chosen;
}
