#include "app/OntologyDataSource.h"

#include "app/ColorSwatchCell.h"
#include "app/CorvaneDoc.h"
#include "app/ItemViewFocus.h"
#include "app/NameColumnFit.h"
#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/BrainOntology.h"
#include "core/StringUtils.h"
#include "expression/BrainExpressionModel.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QStyleOptionViewItem>
#include <QTreeView>

#include <algorithm>

namespace
{
const char* const kColumnIdentifiers[] = {"Name", "Color", "Structure", "Expression"};
} // namespace

OntologyDataSource::OntologyDataSource(CorvaneDoc* document, QObject* parent)
    : QAbstractItemModel(parent)
    , m_document(document)
    , m_ontology(document->expressionModel()->GetAtlas()->GetOntology())
{
    const BrainOntology* ontology = m_ontology.get();
    const unsigned int count = ontology ? ontology->GetNumLabels() : 0;
    m_nodes.resize(count);
    m_childNodes.resize(count);
    m_parentNodes.resize(count, nullptr);
    m_rows.resize(count, -1);
    for (unsigned int i = 0; i < count; ++i)
    {
        const AnnotationLabel* label = ontology->GetAnnotationLabelByIndex(i);
        if (label && label->index == i && (i == 0 || label->annotationValue != 0))
            m_nodes[i] = std::make_unique<OntologyLabelProxy>(label);
    }
    for (unsigned int top : {1u, 0u})
        if (top < count && m_nodes[top])
        {
            m_topNodes.push_back(m_nodes[top].get());
            m_rows[top] = 0;
        }
    placeChildren(nullptr, m_topNodes);
}

OntologyDataSource::~OntologyDataSource() = default;

// Walks the hierarchy from the given rows, each structure placed once even if the table links it twice.
void OntologyDataSource::placeChildren(OntologyLabelProxy* parent, const std::vector<OntologyLabelProxy*>& children)
{
    std::vector<std::pair<OntologyLabelProxy*, const std::vector<OntologyLabelProxy*>*>> pending{{parent, &children}};
    while (!pending.empty())
    {
        const auto [owner, rows] = pending.back();
        pending.pop_back();
        for (std::size_t row = 0; row < rows->size(); ++row)
        {
            OntologyLabelProxy* item = (*rows)[row];
            const unsigned int index = item->annotationLabel()->index;
            m_parentNodes[index] = owner;
            m_rows[index] = static_cast<int>(row);
            for (const AnnotationLabel* child : item->annotationLabel()->children)
            {
                OntologyLabelProxy* node =
                    child && child->index < m_nodes.size() ? m_nodes[child->index].get() : nullptr;
                if (node && m_rows[child->index] < 0 && node != item)
                {
                    m_rows[child->index] = 0; // claimed
                    m_childNodes[index].push_back(node);
                }
            }
            pending.emplace_back(item, &m_childNodes[index]);
        }
    }
}

void OntologyDataSource::attachToView(QTreeView* view)
{
    view->setModel(this);
    auto* swatch = new ColorSwatchCell(view);
    view->setItemDelegateForColumn(kColorColumn, swatch);
    // A flat list has no branches to make room for.
    view->setRootIsDecorated(!m_alphabeticalMode);
    const int box = NameColumnFit::CheckBoxWidth(*view);
    const int color = swatch->sizeHint(QStyleOptionViewItem(), QModelIndex()).width();
    view->header()->setMinimumSectionSize(std::min(color, box));
    NameColumnFit::Apply(view, view->header(), kNameColumn,
                         {{kColorColumn, color}, {kStructureColumn, box}, {kExpressionColumn, box}});
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this, view] { selectionDidChange(view); });
    ItemViewFocus::KeepCurrentInColumn(view, kNameColumn);
}

void OntologyDataSource::setDisplayAlphabetical(bool alphabetical)
{
    beginResetModel();
    m_alphabeticalMode = alphabetical;
    endResetModel();
    if (alphabetical)
        setFilterString(std::string());
}

void OntologyDataSource::setFilterString(const std::string& text)
{
    const std::string filter = StringUtils::ToLowerCase(text);
    const BrainOntology* ontology = m_ontology.get();
    beginResetModel();
    m_alphabeticalNodes.clear();
    for (unsigned int i = 0; ontology && i < m_nodes.size(); ++i)
    {
        const AnnotationLabel* label = ontology->GetAnnotationLabelByAlphabeticalIndex(i);
        if (!label || label->index >= m_nodes.size() || !m_nodes[label->index])
            continue;
        if (filter.empty() || StringUtils::ToLowerCase(label->abbreviation).find(filter) != std::string::npos ||
            StringUtils::ToLowerCase(label->name).find(filter) != std::string::npos)
            m_alphabeticalNodes.push_back(m_nodes[label->index].get());
    }
    endResetModel();
}

OntologyLabelProxy* OntologyDataSource::findLabel(const AnnotationLabel* label) const
{
    return label && label->index < m_nodes.size() ? m_nodes[label->index].get() : nullptr;
}

QModelIndex OntologyDataSource::indexOfLabel(const AnnotationLabel* label) const
{
    OntologyLabelProxy* item = findLabel(label);
    if (!item)
        return QModelIndex();
    if (m_alphabeticalMode)
    {
        for (std::size_t row = 0; row < m_alphabeticalNodes.size(); ++row)
            if (m_alphabeticalNodes[row] == item)
                return createIndex(static_cast<int>(row), 0, item);
        return QModelIndex();
    }
    // Structures that the hierarchy does not reach have no place in it.
    const int row = m_rows[label->index];
    return row >= 0 ? createIndex(row, 0, item) : QModelIndex();
}

const AnnotationLabel* OntologyDataSource::labelAt(const QModelIndex& index) const
{
    const OntologyLabelProxy* item = proxyAt(index);
    return item ? item->annotationLabel() : nullptr;
}

OntologyLabelProxy* OntologyDataSource::proxyAt(const QModelIndex& index) const
{
    return index.isValid() && index.model() == this ? static_cast<OntologyLabelProxy*>(index.internalPointer())
                                                    : nullptr;
}

const std::vector<OntologyLabelProxy*>& OntologyDataSource::childrenOf(const QModelIndex& parent) const
{
    static const std::vector<OntologyLabelProxy*> kNone;
    if (!parent.isValid())
        return m_alphabeticalMode ? m_alphabeticalNodes : m_topNodes;
    const OntologyLabelProxy* item = proxyAt(parent);
    if (m_alphabeticalMode || !item)
        return kNone;
    return m_childNodes[item->annotationLabel()->index];
}

QModelIndex OntologyDataSource::index(int row, int column, const QModelIndex& parent) const
{
    const std::vector<OntologyLabelProxy*>& rows = childrenOf(parent);
    if (row < 0 || static_cast<std::size_t>(row) >= rows.size() || column < 0 || column >= kColumnCount)
        return QModelIndex();
    return createIndex(row, column, rows[static_cast<std::size_t>(row)]);
}

QModelIndex OntologyDataSource::parent(const QModelIndex& child) const
{
    const OntologyLabelProxy* item = proxyAt(child);
    if (!item || m_alphabeticalMode)
        return QModelIndex();
    OntologyLabelProxy* owner = m_parentNodes[item->annotationLabel()->index];
    if (!owner)
        return QModelIndex();
    return createIndex(m_rows[owner->annotationLabel()->index], 0, owner);
}

int OntologyDataSource::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return static_cast<int>(childrenOf(parent).size());
}

int OntologyDataSource::columnCount(const QModelIndex&) const
{
    return kColumnCount;
}

bool OntologyDataSource::hasChildren(const QModelIndex& parent) const
{
    return rowCount(parent) > 0;
}

QVariant OntologyDataSource::data(const QModelIndex& index, int role) const
{
    const OntologyLabelProxy* item = proxyAt(index);
    if (!item)
        return QVariant();
    const BrainExpressionModel* model = m_document->expressionModel();
    if (!model)
        return QVariant();
    switch (index.column())
    {
    case kNameColumn:
        if (role == Qt::DisplayRole)
            return item->labelForDisplay(!m_alphabeticalMode);
        break;
    case kColorColumn:
        if (role == Qt::DisplayRole)
            return item->colorForDisplay();
        break;
    case kStructureColumn:
        if (role == Qt::CheckStateRole)
            return model->GetStructureSelector().Intersects(item->annotationLabel()->selector) ? Qt::Checked
                                                                                               : Qt::Unchecked;
        break;
    case kExpressionColumn:
        if (role == Qt::CheckStateRole)
            return model->GetExpressionSelector().Intersects(item->annotationLabel()->selector) ? Qt::Checked
                                                                                                : Qt::Unchecked;
        break;
    default:
        break;
    }
    return QVariant();
}

const char* OntologyDataSource::columnIdentifier(int column)
{
    return column >= 0 && column < kColumnCount ? kColumnIdentifiers[column] : "";
}

QVariant OntologyDataSource::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return QVariant();
    if (role == Qt::DisplayRole)
        return QString(columnIdentifier(section));
    if (role == Qt::ToolTipRole && section == kStructureColumn)
        return QString("Show atlas structure");
    if (role == Qt::ToolTipRole && section == kExpressionColumn)
        return QString("Show data");
    return QVariant();
}

Qt::ItemFlags OntologyDataSource::flags(const QModelIndex& index) const
{
    const OntologyLabelProxy* item = proxyAt(index);
    if (!item)
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == kStructureColumn || index.column() == kExpressionColumn)
        flags |= Qt::ItemIsUserCheckable;
    // A mesh is drawn only in the scene, and only a structure that has one can show it.
    if (index.column() == kStructureColumn && !(m_document->detailViewIsActive() && item->annotationLabel()->hasMesh))
        flags &= ~Qt::ItemIsEnabled;
    return flags;
}

bool OntologyDataSource::setData(const QModelIndex& index, const QVariant&, int role)
{
    const OntologyLabelProxy* item = proxyAt(index);
    if (item && role == Qt::CheckStateRole && (flags(index) & Qt::ItemIsEnabled))
        emit checkBoxClicked(item->annotationLabel(), index.column());
    return false;
}

void OntologyDataSource::selectionDidChange(QTreeView* view)
{
    const QModelIndexList rows = view->selectionModel()->selectedRows(0);
    const AnnotationLabel* label = rows.isEmpty() ? nullptr : labelAt(rows.first());
    BrainExpressionModel* model = m_document->expressionModel();
    if (model)
        model->SelectStructure(label && label->annotationValue != 0 ? label : nullptr, true);
}
