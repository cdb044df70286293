#include "platform/QtAlertPresenter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <iostream>

namespace
{

// The window that was active last, among those that can own a panel; followed by the one presenter.
QPointer<QWidget> lastActive;

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

} // namespace

// Notes each window that becomes active, whether the window system or the program activated it.
class QtAlertPresenter::ActivationWatch : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::WindowActivate && watched->isWidgetType())
        {
            if (QWidget* owner = Owning(static_cast<QWidget*>(watched)->window()))
                lastActive = owner;
        }
        return false;
    }
};

QtAlertPresenter::QtAlertPresenter()
{
    if (HasWidgets())
    {
        m_activationWatch = std::make_unique<ActivationWatch>();
        qApp->installEventFilter(m_activationWatch.get());
    }
}

QtAlertPresenter::~QtAlertPresenter() = default;

QWidget* QtAlertPresenter::OwnerWindow()
{
    if (!HasWidgets())
        return nullptr;
    // Between a panel's closing and the window system's moving the activation, no window is active.
    if (QWidget* owner = Owning(QApplication::activeWindow()))
        return owner;
    return CanOwnPanels(lastActive) ? lastActive.data() : nullptr;
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
