#pragma once

#include "app/OntologyLabelProxy.h"

#include <QAbstractItemModel>

#include <memory>
#include <string>
#include <vector>

class AnnotationLabel;
class BrainOntology;
class CorvaneDoc;
class QTreeView;

// The atlas ontology as the rows of a structure outline, with the columns "Name", "Color", "Structure" and
// "Expression" (check boxes: whether the structure's mesh is drawn, whether data are shown in it). In
// hierarchical mode the top rows are the top structure and then "No Annotation", each with its children;
// in alphabetical mode the rows are the structures that the filter keeps, in the ontology's alphabetical
// order. Structures whose annotation value is 0 (other than "No Annotation") have no row. Selecting a row
// selects its structure in the document's model. The document outlives the data source. Main thread only.
class OntologyDataSource : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Column
    {
        kNameColumn = 0,
        kColorColumn = 1,
        kStructureColumn = 2,
        kExpressionColumn = 3,
        kColumnCount = 4
    };

    OntologyDataSource(CorvaneDoc* document, QObject* parent = nullptr);
    ~OntologyDataSource() override;

    // Shows the rows in the outline with the swatch cell in the colour column, and follows its selection.
    void attachToView(QTreeView* view);

    bool alphabeticalMode() const { return m_alphabeticalMode; }
    // Turning alphabetical mode on lists every structure again.
    void setDisplayAlphabetical(bool alphabetical);
    // The structures whose lower-cased acronym or name contains the lower-cased text; all for "".
    void setFilterString(const std::string& text);

    // The item of a structure; null for a null structure or one without a row.
    OntologyLabelProxy* findLabel(const AnnotationLabel* label) const;
    // The row of a structure's item (column 0); invalid when it has none in this mode.
    QModelIndex indexOfLabel(const AnnotationLabel* label) const;
    const AnnotationLabel* labelAt(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // A check-box click changes nothing here: it is reported for the document to act on.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // The column's identifier ("Name", "Color", "Structure", "Expression").
    static const char* columnIdentifier(int column);

signals:
    void checkBoxClicked(const AnnotationLabel* label, int column);

private:
    void selectionDidChange(QTreeView* view);
    const std::vector<OntologyLabelProxy*>& childrenOf(const QModelIndex& parent) const;
    OntologyLabelProxy* proxyAt(const QModelIndex& index) const;
    void placeChildren(OntologyLabelProxy* parent, const std::vector<OntologyLabelProxy*>& children);

    CorvaneDoc* m_document;
    // The items point into the ontology: it stays while the outline may still ask for them.
    std::shared_ptr<BrainOntology> m_ontology;
    std::vector<std::unique_ptr<OntologyLabelProxy>> m_nodes;
    // The hierarchy: rows under the root and under each structure, and each item's place in its parent.
    std::vector<OntologyLabelProxy*> m_topNodes;
    std::vector<std::vector<OntologyLabelProxy*>> m_childNodes;
    std::vector<OntologyLabelProxy*> m_parentNodes;
    std::vector<int> m_rows;
    std::vector<OntologyLabelProxy*> m_alphabeticalNodes;
    bool m_alphabeticalMode = false;
};
