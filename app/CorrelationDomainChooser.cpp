#include "app/CorrelationDomainChooser.h"

#include "atlas/AnnotationLabel.h"
#include "atlas/SearchConfig.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

CorrelationDomainChooser::CorrelationDomainChooser(std::shared_ptr<SearchConfig> searchConfig, QWidget* documentWindow)
    : m_searchConfig(std::move(searchConfig))
    , m_window(new QDialog(documentWindow))
{
    for (int i = 0; i < numberOfRowsInTableView(); ++i)
    {
        const AnnotationLabel* label = m_searchConfig->GetQuellarDomain(i);
        const std::string indent(4 * static_cast<std::size_t>(std::max(0, m_searchConfig->GetQuellarIndent(i))), ' ');
        m_domainStrings << QString::fromStdString(label ? indent + label->name + " (" + label->abbreviation + ")"
                                                        : indent);
    }
    m_window->setObjectName("correlationDomainSheet");
    m_window->setWindowTitle(tr("Find Similar Data Sets"));
    m_window->setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(m_window);
    layout->addWidget(new QLabel(tr("Search domain:"), m_window));
    m_domainList = new QListWidget(m_window);
    m_domainList->setObjectName("domainList");
    m_domainList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_domainList->addItems(m_domainStrings);
    if (m_domainList->count() > 0)
        m_domainList->setCurrentRow(0);
    connect(m_domainList, &QListWidget::itemDoubleClicked, this, &CorrelationDomainChooser::find);
    layout->addWidget(m_domainList, 1);

    auto* planes = new QHBoxLayout();
    m_planeOfSection = new QButtonGroup(m_window);
    const std::pair<int, const char*> cells[] = {
        {kCoronal, "Coronal"}, {kSagittal, "Sagittal"}, {kAnyPlane, "Any plane"}};
    for (const auto& [tag, title] : cells)
    {
        auto* cell = new QRadioButton(tr(title), m_window);
        m_planeOfSection->addButton(cell, tag);
        planes->addWidget(cell);
    }
    layout->addLayout(planes);
    m_graphAnalysis = new QCheckBox(tr("Show the results as a graph"), m_window);
    layout->addWidget(m_graphAnalysis);

    auto* buttons = new QDialogButtonBox(m_window);
    QPushButton* findButton = buttons->addButton(tr("Find"), QDialogButtonBox::AcceptRole);
    findButton->setDefault(true);
    findButton->setObjectName("findButton");
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(findButton, &QPushButton::clicked, this, &CorrelationDomainChooser::find);
    connect(buttons, &QDialogButtonBox::rejected, this, &CorrelationDomainChooser::cancel);
    layout->addWidget(buttons);
    m_window->resize(420, 360);
}

CorrelationDomainChooser::~CorrelationDomainChooser()
{
    delete m_window.data();
}

void CorrelationDomainChooser::setData(const char* name, int imageSeriesId, int domainId, int planeRestriction,
                                       bool graphAnalysis)
{
    m_imageSeriesId = imageSeriesId;
    m_displayString = name ? name : "";
    int row = 0;
    for (int i = 0; i < numberOfRowsInTableView(); ++i)
    {
        const AnnotationLabel* label = m_searchConfig->GetQuellarDomain(i);
        if (label && static_cast<long long>(label->databaseId) == domainId)
        {
            row = i;
            break;
        }
    }
    m_domainList->clearSelection();
    if (row < m_domainList->count())
        m_domainList->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    m_graphAnalysis->setChecked(graphAnalysis);
    if (QAbstractButton* cell = m_planeOfSection->button(planeRestriction))
        cell->setChecked(true);
}

int CorrelationDomainChooser::domain() const
{
    const QList<QListWidgetItem*> selected = m_domainList->selectedItems();
    const int row = selected.isEmpty() ? -1 : m_domainList->row(selected.first());
    const AnnotationLabel* label =
        row >= 0 && row < numberOfRowsInTableView() ? m_searchConfig->GetQuellarDomain(row) : nullptr;
    return label ? static_cast<int>(label->databaseId) : 0;
}

int CorrelationDomainChooser::planeRestriction() const
{
    return std::max(0, m_planeOfSection->checkedId());
}

bool CorrelationDomainChooser::graphAnalysis() const
{
    return m_graphAnalysis->isChecked();
}

void CorrelationDomainChooser::find()
{
    if (!m_domainList->selectedItems().isEmpty())
    {
        m_window->done(1);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Warning, tr("Select Domain"), tr("Please select a search domain."),
                                QMessageBox::Ok, m_window);
    box->setObjectName("selectDomainAlert");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void CorrelationDomainChooser::cancel()
{
    m_window->done(0);
}

int CorrelationDomainChooser::numberOfRowsInTableView() const
{
    return m_searchConfig ? m_searchConfig->GetNumQuellarDomains() : 0;
}

QString CorrelationDomainChooser::objectValueForRow(int row) const
{
    return row >= 0 && row < m_domainStrings.size() ? m_domainStrings[row] : QString();
}
