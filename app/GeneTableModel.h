#pragma once

#include <QAbstractTableModel>

class BrainExpressionModel;

// The rows of a document's data-set table: one per data set of the model, with the columns "Gene"
// (display label), "Visible" (a check box) and "Color" (a swatch: a circle for expression data, a square
// for projections). The model is not owned and outlives the table. Main thread only.
class GeneTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        kGeneColumn = 0,
        kVisibleColumn = 1,
        kColorColumn = 2
    };

    explicit GeneTableModel(BrainExpressionModel* model, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // The table's rows again from the model.
    void Reload();
    // Every cell drawn again, rows unchanged.
    void Redraw();

private:
    BrainExpressionModel* m_model;
};
