#include "app/AtlasListModel.h"

#include <algorithm>

AtlasListModel::AtlasListModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

void AtlasListModel::SetRows(std::vector<QString> names, std::vector<bool> ticked)
{
    beginResetModel();
    m_names = std::move(names);
    m_ticked = std::move(ticked);
    m_ticked.resize(m_names.size(), false);
    endResetModel();
}

void AtlasListModel::Toggle(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    m_ticked[static_cast<std::size_t>(row)] = !m_ticked[static_cast<std::size_t>(row)];
    emit dataChanged(index(row, NAME_COLUMN), index(row, CHECK_COLUMN));
}

bool AtlasListModel::IsTicked(int row) const
{
    return row >= 0 && row < rowCount() && m_ticked[static_cast<std::size_t>(row)];
}

bool AtlasListModel::AnyTicked() const
{
    return std::find(m_ticked.begin(), m_ticked.end(), true) != m_ticked.end();
}

int AtlasListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_names.size());
}

int AtlasListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant AtlasListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const std::size_t row = static_cast<std::size_t>(index.row());
    if (index.column() == NAME_COLUMN && role == Qt::DisplayRole)
        return m_names[row];
    if (index.column() == CHECK_COLUMN && role == Qt::CheckStateRole)
        return m_ticked[row] ? Qt::Checked : Qt::Unchecked;
    return QVariant();
}

QVariant AtlasListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    if (section == NAME_COLUMN)
        return QStringLiteral("Name");
    if (section == CHECK_COLUMN)
        return QStringLiteral("Check");
    return QVariant();
}

Qt::ItemFlags AtlasListModel::flags(const QModelIndex& index) const
{
    // A click anywhere in a row flips its tick (the window does it), so the check box itself is not
    // user-checkable: it would flip twice.
    return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
}
