#include "app/AtlasChooser.h"

#include "app/CorvaneAppDelegate.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSet.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>

AtlasChooser* AtlasChooser::initWithAtlas(int atlas)
{
    try
    {
        QStringList names;
        AtlasSet* atlases = AtlasSet::GetAtlases();
        for (int i = 0; atlases && i < atlases->GetNumAtlases(); ++i)
            names << QString::fromStdString(atlases->GetAtlas(i)->GetName());
        if (atlas >= names.size())
            atlas = static_cast<int>(names.size()) - 1;
        if (atlas < 0)
            atlas = 0;
        return new AtlasChooser(names, atlas);
    }
    catch (const std::exception&)
    {
        return nullptr;
    }
}

AtlasChooser::AtlasChooser(const QStringList& names, int atlas)
    : m_atlasList(names)
    , m_atlas(atlas)
{
    setObjectName("AtlasChooser");
    setWindowTitle("Choose Atlas");
    auto* layout = new QVBoxLayout(this);
    m_atlasListView = new QListWidget(this);
    m_atlasListView->setObjectName("atlasListView");
    m_atlasListView->addItems(names);
    if (atlas < m_atlasListView->count())
        m_atlasListView->setCurrentRow(atlas);
    layout->addWidget(m_atlasListView);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* chooseButton = buttons->addButton("Choose", QDialogButtonBox::AcceptRole);
    QPushButton* cancelButton = buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
    chooseButton->setDefault(true);
    connect(chooseButton, &QPushButton::clicked, this, &AtlasChooser::choose);
    connect(cancelButton, &QPushButton::clicked, this, &AtlasChooser::cancel);
    connect(m_atlasListView, &QListWidget::itemDoubleClicked, this, [this] { choose(); });
    layout->addWidget(buttons);
    CorvaneAppDelegate::AddApplicationCommands(this, false);
    resize(320, 260);
}

QString AtlasChooser::objectValue(int row) const
{
    return row >= 0 && row < m_atlasList.size() ? m_atlasList[row] : QString();
}

int AtlasChooser::runModal()
{
    return exec();
}

void AtlasChooser::choose()
{
    const QList<QListWidgetItem*> selected = m_atlasListView->selectedItems();
    const int row = selected.isEmpty() ? -1 : m_atlasListView->row(selected.first());
    if (row < 0)
    {
        auto* sheet =
            new QMessageBox(QMessageBox::Information, "Choose Atlas", "Please select an atlas.", QMessageBox::Ok, this);
        sheet->setWindowModality(Qt::WindowModal);
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        sheet->open();
        return;
    }
    m_atlas = row;
    m_closingFromButton = true;
    done(1);
}

void AtlasChooser::cancel()
{
    m_closingFromButton = true;
    done(0);
}

void AtlasChooser::reject()
{
    // Escape is the Cancel button.
    cancel();
}

void AtlasChooser::closeEvent(QCloseEvent* event)
{
    if (m_closingFromButton)
    {
        event->accept();
        return;
    }
    m_closingFromButton = true;
    event->ignore();
    done(kAborted);
}
