#include "app/AnatomicSearchController.h"

#include "app/StructureComboBox.h"
#include "atlas/AnnotationLabel.h"
#include "atlas/SearchConfig.h"
#include "core/Alerts.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <stdexcept>

namespace
{
// Item 0 of each filter means no filter; items 1 and 2 give the values 1 and 2 of the query key.
struct Filter
{
    const char* key;
    const char* items[3];
};
const Filter kFilters[3] = {{"xlevel", {"Any level", "Medium level", "High level"}},
                            {"xdensity", {"Any coverage", "Medium coverage", "High coverage"}},
                            {"xpattern", {"Any pattern", "Regional pattern", "Scattered pattern"}}};
constexpr int kJoiner = 0;
constexpr int kStructure = 1;
constexpr int kFirstFilter = 2;

// A pop-up that gives up to half its width, its text cut short, rather than hold the sheet wider than a small
// screen (683 logical pixels at scale 2 on a laptop) that the document window fits.
void LetShrink(QComboBox* menu)
{
    menu->setMinimumWidth(menu->sizeHint().width() / 2);
}

const char* Joiner(const QComboBox* menu)
{
    return menu->currentIndex() == 0 ? " and " : " or ";
}
} // namespace

AnatomicSearchController::AnatomicSearchController(std::shared_ptr<SearchConfig> searchConfig, QWidget* documentWindow)
    : m_searchConfig(std::move(searchConfig))
    , m_window(new QDialog(documentWindow))
{
    m_window->setObjectName("anatomicSearchSheet");
    m_window->setWindowTitle(tr("Search by Anatomy"));
    m_window->setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(m_window);
    layout->addWidget(new QLabel(tr("Find data sets expressed in:"), m_window));
    auto* rows = new QVBoxLayout();
    // No spacing between rows: each row's margins hold the gap, so a row's height is all that it adds.
    rows->setSpacing(0);
    for (int i = 0; i < 3; ++i)
        rows->addWidget(m_rowViews[i] = NewRow(i));
    layout->addLayout(rows);
    m_addRowButton = new QPushButton(tr("Add Row"), m_window);
    m_addRowButton->setObjectName("addRowButton");
    connect(m_addRowButton, &QPushButton::clicked, this, &AnatomicSearchController::addRow);
    auto* buttons = new QDialogButtonBox(m_window);
    buttons->addButton(m_addRowButton, QDialogButtonBox::ActionRole);
    QPushButton* findButton = buttons->addButton(tr("Find"), QDialogButtonBox::AcceptRole);
    findButton->setDefault(true);
    findButton->setObjectName("findButton");
    buttons->addButton(QDialogButtonBox::Cancel)->setObjectName("cancelButton");
    // Find ends the sheet only when the query is complete.
    connect(findButton, &QPushButton::clicked, this, &AnatomicSearchController::find);
    connect(buttons, &QDialogButtonBox::rejected, this, &AnatomicSearchController::cancel);
    layout->addWidget(buttons);
    MeasureRows();
}

AnatomicSearchController::~AnatomicSearchController()
{
    delete m_window.data();
}

QWidget* AnatomicSearchController::NewRow(int index)
{
    auto* view = new QWidget(m_window);
    view->setObjectName(QString("row%1").arg(index + 1));
    auto* layout = new QHBoxLayout(view);
    layout->setContentsMargins(0, 3, 0, 3);
    Row& row = m_rows[index];
    // Every row has a joiner and a delete button; the first row's are hidden but keep their room, so that
    // the structure and filter pop-ups of all rows stand in the same columns.
    auto* joiner = new QComboBox(view);
    joiner->addItems({tr("and"), tr("or")});
    layout->addWidget(joiner);
    row[kJoiner] = index > 0 ? joiner : nullptr;
    row[kStructure] = new StructureComboBox(view);
    row[kStructure]->setMinimumContentsLength(24);
    initStructureMenu(row[kStructure]);
    LetShrink(row[kStructure]);
    layout->addWidget(row[kStructure], 1);
    for (int f = 0; f < 3; ++f)
    {
        QComboBox* menu = row[kFirstFilter + f] = new QComboBox(view);
        for (const char* item : kFilters[f].items)
            menu->addItem(tr(item));
        LetShrink(menu);
        layout->addWidget(menu);
    }
    auto* remove = new QPushButton(QStringLiteral("\u2212"), view);
    remove->setObjectName("deleteRowButton");
    remove->setFixedWidth(28);
    connect(remove, &QPushButton::clicked, this, [this, index] { deleteRow(index); });
    layout->addWidget(remove);
    if (index == 0)
        for (QWidget* placeholder : {static_cast<QWidget*>(joiner), static_cast<QWidget*>(remove)})
        {
            QSizePolicy policy = placeholder->sizePolicy();
            policy.setRetainSizeWhenHidden(true);
            placeholder->setSizePolicy(policy);
            placeholder->hide();
        }
    return view;
}

void AnatomicSearchController::initStructureMenu(QComboBox* menu) const
{
    menu->clear();
    const SearchConfig* config = m_searchConfig.get();
    for (int i = 0; config && i < config->GetNumAnatomicSearchDomains(); ++i)
    {
        const AnnotationLabel* label = config->GetAnatomicSearchDomain(i);
        const std::string indent(3 * static_cast<std::size_t>(std::max(0, config->GetAnatomicSearchIndent(i))), ' ');
        menu->addItem(QString::fromStdString(indent + (label ? label->name : std::string())));
    }
}

void AnatomicSearchController::MeasureRows()
{
    // Measured at the size the rows ask for: a window not shown yet is larger, and its rows would share the
    // rest of its height.
    m_window->resize(m_window->sizeHint());
    m_window->layout()->activate();
    const QRect second = m_rowViews[1]->geometry();
    const QRect third = m_rowViews[2]->geometry();
    // The gap between two rows is shared half and half between them.
    m_rowHeight = (third.top() - second.top() - second.height()) / 2 + second.height();
    const int fullHeight = m_window->sizeHint().height();
    m_rowViews[1]->hide();
    m_rowViews[2]->hide();
    m_numSearchTerms = 1;
    // The window's least height is that of the rows now shown, so that it can shrink to them.
    m_window->layout()->activate();
    m_window->resize(m_window->sizeHint().width(), fullHeight - 2 * m_rowHeight);
}

void AnatomicSearchController::addRow()
{
    if (m_numSearchTerms >= 3)
        return;
    const int before = m_window->height();
    m_rowViews[m_numSearchTerms]->show();
    ++m_numSearchTerms;
    m_addRowButton->setEnabled(m_numSearchTerms < 3);
    m_window->resize(m_window->width(), before + m_rowHeight);
}

void AnatomicSearchController::ResetRow(const Row& row)
{
    for (QComboBox* menu : row)
        if (menu)
            menu->setCurrentIndex(0);
}

void AnatomicSearchController::deleteRow(int tag)
{
    if (m_numSearchTerms <= 1)
        return;
    if (tag == 1 && m_numSearchTerms == 3)
    {
        // Row 3 moves up into row 2.
        for (std::size_t i = 0; i < m_rows[1].size(); ++i)
            m_rows[1][i]->setCurrentIndex(m_rows[2][i]->currentIndex());
        tag = 2;
    }
    if (tag != 1 && tag != 2)
        return;
    const int before = m_window->height();
    m_rowViews[tag]->hide();
    ResetRow(m_rows[tag]);
    m_addRowButton->setEnabled(true);
    --m_numSearchTerms;
    // The least height follows the rows shown, so that the window shrinks by a whole row.
    m_window->layout()->activate();
    m_window->resize(m_window->width(), before - m_rowHeight);
}

void AnatomicSearchController::constructSearchTerm(const Row& row, std::string& search, std::string& display) const
{
    const SearchConfig* config = m_searchConfig.get();
    const int index = row[kStructure]->currentIndex();
    const AnnotationLabel* domain = config && index >= 0 && index < config->GetNumAnatomicSearchDomains()
                                        ? config->GetAnatomicSearchDomain(index)
                                        : nullptr;
    if (!domain)
        throw std::runtime_error("Anatomic region must be specified.");
    std::string filters;
    for (int f = 0; f < 3; ++f)
    {
        const int value = row[kFirstFilter + f]->currentIndex();
        if (value != 1 && value != 2)
            continue;
        filters += (filters.empty() ? "" : ";") + std::string(kFilters[f].key) + "=" + std::to_string(value);
    }
    if (filters.empty())
        throw std::runtime_error("At least one expression level, coverage, or pattern filter must be chosen for "
                                 "each row.");
    search = "structac=" + domain->abbreviation + "[" + filters + "]";
    display = domain->abbreviation;
}

void AnatomicSearchController::constructSearchString()
{
    std::string search, display;
    constructSearchTerm(m_rows[0], search, display);
    for (int i = 1; i < m_numSearchTerms; ++i)
    {
        std::string term, shown;
        constructSearchTerm(m_rows[i], term, shown);
        const char* joiner = Joiner(m_rows[i][kJoiner]);
        search += joiner + term;
        display += joiner + shown;
    }
    m_searchString = search;
    m_displayString = display;
}

void AnatomicSearchController::find()
{
    try
    {
        constructSearchString();
        m_window->done(1);
    }
    catch (const std::exception& e)
    {
        ShowAlertBox(e.what());
    }
}

void AnatomicSearchController::cancel()
{
    m_window->done(0);
}
