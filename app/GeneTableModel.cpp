#include "app/GeneTableModel.h"

#include "app/ColorSwatchShapeCellValue.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"

#include <QColor>

GeneTableModel::GeneTableModel(BrainExpressionModel* model, QObject* parent)
    : QAbstractTableModel(parent)
    , m_model(model)
{
}

int GeneTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_model->GetNumGenes();
}

int GeneTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant GeneTableModel::data(const QModelIndex& index, int role) const
{
    const std::shared_ptr<GeneExpression> gene = m_model->GetGene(index.row());
    if (!gene)
        return QVariant();
    switch (index.column())
    {
    case kGeneColumn:
        if (role == Qt::DisplayRole)
            return QString::fromStdString(gene->GetLabel().empty() ? gene->GetName() : gene->GetLabel());
        break;
    case kVisibleColumn:
        if (role == Qt::CheckStateRole)
            return gene->IsVisible() ? Qt::Checked : Qt::Unchecked;
        break;
    case kColorColumn:
        if (role == Qt::DisplayRole)
        {
            const float* rgb = gene->GetColor();
            // Expression data are circles, projections squares.
            return QVariant::fromValue(
                ColorSwatchShapeCellValue{QColor::fromRgbF(rgb[0], rgb[1], rgb[2], 1.0f), gene->GetDataType() == 0});
        }
        break;
    default:
        break;
    }
    return QVariant();
}

QVariant GeneTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    static const char* const kTitles[] = {"Gene", "Visible", "Color"};
    return section >= 0 && section < 3 ? QString(kTitles[section]) : QVariant();
}

Qt::ItemFlags GeneTableModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.column() == kVisibleColumn)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

bool GeneTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (index.column() != kVisibleColumn || role != Qt::CheckStateRole || index.row() >= m_model->GetNumGenes())
        return false;
    m_model->SetGeneVisible(index.row(), value.toInt() == Qt::Checked);
    return true;
}

void GeneTableModel::Reload()
{
    beginResetModel();
    endResetModel();
}

void GeneTableModel::Redraw()
{
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, 2));
}
