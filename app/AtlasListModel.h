#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <vector>

// The rows of the atlas download window: one text per catalogue entry in the column "Name" and its tick
// in the column "Check".
class AtlasListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        NAME_COLUMN = 0,
        CHECK_COLUMN = 1
    };

    explicit AtlasListModel(QObject* parent = nullptr);

    // Replaces every row.
    void SetRows(std::vector<QString> names, std::vector<bool> ticked);
    // Flips the tick of a row; rows outside the list are ignored.
    void Toggle(int row);
    bool IsTicked(int row) const;
    bool AnyTicked() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // "Name": the row text; "Check": the tick as a check state; anything else: nothing.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    std::vector<QString> m_names;
    std::vector<bool> m_ticked;
};
