#include "app/NameColumnFit.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QHeaderView>
#include <QResizeEvent>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QStyleOptionViewItem>
#include <QTreeView>

#include <algorithm>
#include <utility>

namespace
{
constexpr int kNameCharacters = 10;

// The width of a header section that shows its whole title. A header that highlights the sections of the
// selection draws their titles in bold, which its own size hint measures.
int TitleWidth(const QHeaderView& header, int column)
{
    if (header.highlightSections())
        return header.sectionSizeHint(column);
    QStyleOptionHeader option;
    option.initFrom(&header);
    option.text = header.model()->headerData(column, Qt::Horizontal).toString();
    return header.style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), &header).width();
}

// How many levels below its top rows an outline shows.
int ShownDepth(const QTreeView& tree, const QModelIndex& parent = QModelIndex())
{
    const QAbstractItemModel* model = tree.model();
    int deepest = 0;
    for (int row = 0; model && row < model->rowCount(parent); ++row)
    {
        const QModelIndex index = model->index(row, 0, parent);
        if (tree.isExpanded(index) && model->hasChildren(index))
            deepest = std::max(deepest, 1 + ShownDepth(tree, index));
    }
    return deepest;
}
} // namespace

NameColumnFit::NameColumnFit(QAbstractItemView* view, QHeaderView* header, int nameColumn,
                             std::map<int, int> leastWidths)
    : QObject(header)
    , m_view(view)
    , m_header(header)
    , m_nameColumn(nameColumn)
    , m_leastWidths(std::move(leastWidths))
{
}

void NameColumnFit::Apply(QAbstractItemView* view, QHeaderView* header, int nameColumn, std::map<int, int> leastWidths)
{
    auto* fit = new NameColumnFit(view, header, nameColumn, std::move(leastWidths));
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Fixed);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view->viewport()->installEventFilter(fit);
    // A model reset gives the header's sections their default widths again; a hidden column gives its room.
    connect(header, &QHeaderView::sectionCountChanged, fit, &NameColumnFit::Fit);
    connect(header, &QHeaderView::sectionResized, fit, [fit] {
        if (!fit->m_fitting)
            fit->Fit();
    });
    connect(view->model(), &QAbstractItemModel::modelReset, fit, &NameColumnFit::Fit);
    if (auto* tree = qobject_cast<QTreeView*>(view))
    {
        // Expanding a whole branch expands its rows one by one: the columns are fitted once, after them all.
        connect(tree, &QTreeView::expanded, fit, &NameColumnFit::FitLater);
        connect(tree, &QTreeView::collapsed, fit, &NameColumnFit::FitLater);
    }
    fit->Fit();
}

int NameColumnFit::LeastNameWidth(const QAbstractItemView& view)
{
    const int margin = view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1;
    // An outline's names stand right of their branches, as deep as the deepest row it shows.
    const auto* tree = qobject_cast<const QTreeView*>(&view);
    const int branches = tree ? (ShownDepth(*tree) + (tree->rootIsDecorated() ? 1 : 0)) * tree->indentation() : 0;
    // Ten letters of a name, as wide as most are, and the ellipsis that ends a longer name.
    const QString letters = QString(kNameCharacters, QLatin1Char('n')) + QChar(0x2026);
    return view.fontMetrics().horizontalAdvance(letters) + 2 * margin + branches;
}

int NameColumnFit::CheckBoxWidth(const QAbstractItemView& view)
{
    QStyleOptionViewItem box;
    box.initFrom(&view);
    box.features = QStyleOptionViewItem::HasCheckIndicator;
    return view.style()->sizeFromContents(QStyle::CT_ItemViewItem, &box, QSize(), &view).width();
}

bool NameColumnFit::eventFilter(QObject* watched, QEvent* event)
{
    // Only the width counts: a scroll bar that comes or goes under the rows, or a taller window, changes nothing.
    if (event->type() == QEvent::Resize &&
        static_cast<QResizeEvent*>(event)->size().width() != static_cast<QResizeEvent*>(event)->oldSize().width())
        Fit();
    return QObject::eventFilter(watched, event);
}

void NameColumnFit::FitLater()
{
    if (m_fitPending)
        return;
    m_fitPending = true;
    QMetaObject::invokeMethod(this, &NameColumnFit::Fit, Qt::QueuedConnection);
}

void NameColumnFit::Fit()
{
    m_fitPending = false;
    // A view that lets its model go resets its header on the way.
    if (!m_header->model())
        return;
    m_fitting = true;
    const int width = m_view->viewport()->width(), names = LeastNameWidth(*m_view);
    int others = 0;
    for (const auto& [column, size] : OtherWidths(width - names))
    {
        m_header->resizeSection(column, size);
        others += size;
    }
    m_header->resizeSection(m_nameColumn, std::max(names, width - others));
    m_fitting = false;
}

std::map<int, int> NameColumnFit::OtherWidths(int room) const
{
    // Each shown column's width with its whole title, and the least that its cells need.
    std::map<int, std::pair<int, int>> limits;
    int whole = 0, least = 0;
    for (const auto& [column, cells] : m_leastWidths)
        if (column < m_header->count() && !m_header->isSectionHidden(column))
        {
            const int title = std::max(cells, TitleWidth(*m_header, column));
            limits[column] = {title, cells};
            whole += title;
            least += cells;
        }
    // What the names leave is shared out in proportion to what each title would lose.
    const int share = std::clamp(room - least, 0, whole - least);
    std::map<int, int> widths;
    int lost = 0, given = 0;
    for (const auto& [column, limit] : limits)
    {
        lost += limit.first - limit.second;
        const int next = whole == least ? 0 : share * lost / (whole - least);
        widths[column] = limit.second + next - given;
        given = next;
    }
    return widths;
}
