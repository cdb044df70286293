#include "platform/QtAlertPresenter.h"

#include "platform/WindowActivationTracker.h"

#include <QApplication>
#include <QFileDialog>
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

bool CanOwnPanels(const QWidget* window)
{
    return window && window->isVisible() && !qobject_cast<const QMessageBox*>(window) &&
           !qobject_cast<const QFileDialog*>(window) && window->windowType() != Qt::Popup &&
           window->windowType() != Qt::ToolTip;
}

// The nearest window up the parent chain that can own a panel: a pop-up's or a file panel's owner.
QWidget* Owning(QWidget* window)
{
    while (window && !CanOwnPanels(window))
        window = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    return window;
}

// A document window, or a sheet on one.
bool OfADocument(QWidget* window)
{
    while (window && !WindowActivationTracker::IsDocumentWindow(window))
        window = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    return window != nullptr;
}

// A panel on a minimized window would be out of sight: the window comes back with it.
QWidget* Restored(QWidget* owner)
{
    QWidget* window = owner;
    while (window && window->parentWidget())
        window = window->parentWidget()->window();
    if (window && window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    return owner;
}

QWidget* Chosen()
{
    // Between a panel's closing and the window system's moving the activation, no window is active.
    QWidget* active = Owning(QApplication::activeWindow());
    if (OfADocument(active))
        return active;
    if (QWidget* document = WindowActivationTracker::LastDocumentWindow(true))
        return document;
    return active ? active : Owning(WindowActivationTracker::LastActiveWindow());
}

} // namespace

QWidget* QtAlertPresenter::OwnerWindow()
{
    return HasWidgets() ? Restored(Chosen()) : nullptr;
}

void QtAlertPresenter::ShowAlert(const std::string& message)
{
    if (!HasWidgets())
    {
        std::cerr << message << std::endl;
        return;
    }
    QWidget* parent = OwnerWindow();
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
    QPointer<QMessageBox> box = new QMessageBox(OwnerWindow());
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
