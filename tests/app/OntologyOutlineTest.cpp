// The structure outlines of a document window over the tiny atlas, and the swatch and icon cells drawn
// into images and read back pixel by pixel.

#include "ShellTestSupport.h"

#include "app/BookmarksDataSource.h"
#include "app/ColorSwatchCell.h"
#include "app/ColorSwatchShapeCell.h"
#include "app/ColorSwatchShapeCellValue.h"
#include "app/CorvaneWindowController.h"
#include "app/ImageAndTextCell.h"
#include "app/OntologyDataSource.h"
#include "app/TabType.h"
#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/BrainOntology.h"
#include "expression/BrainExpressionModel.h"
#include "gl/TabControlRenderer.h"

#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QStandardItemModel>
#include <QTreeView>

#include <gtest/gtest.h>

namespace
{

class OntologyOutlineTest : public DocumentFixture
{
protected:
    OntologyDataSource& Hier() { return *doc->ontologyHierDataSource(); }
    OntologyDataSource& Alpha() { return *doc->ontologyAlphaDataSource(); }
    const BrainOntology& Ontology() { return *doc->expressionModel()->GetAtlas()->GetOntology(); }
    const AnnotationLabel* Label(const char* acronym) { return Ontology().GetAnnotationLabel(std::string(acronym)); }
    std::vector<std::string> Names(OntologyDataSource& source)
    {
        std::vector<std::string> names;
        for (int row = 0; row < source.rowCount(); ++row)
            names.push_back(source.index(row, 0).data().toString().toStdString());
        return names;
    }
};

TEST_F(OntologyOutlineTest, HierarchyStartsWithTheTopStructureThenUnannotatedSpace)
{
    ASSERT_EQ(2, Hier().rowCount());
    EXPECT_EQ(1u, Hier().labelAt(Hier().index(0, 0))->index);
    EXPECT_EQ(0u, Hier().labelAt(Hier().index(1, 0))->index);
    // Children are the ontology's, each with its parent for the way back up.
    const QModelIndex top = Hier().index(0, 0);
    const AnnotationLabel* brain = Hier().labelAt(top);
    ASSERT_GT(Hier().rowCount(top), 0);
    const QModelIndex child = Hier().index(0, 0, top);
    EXPECT_EQ(brain, Hier().labelAt(child)->parent);
    EXPECT_EQ(top, Hier().parent(child));
    // The hierarchy shows short names, the list full ones; both with the acronym.
    const AnnotationLabel* cortex = Label("Iso");
    const QModelIndex inTree = Hier().indexOfLabel(cortex);
    EXPECT_EQ(cortex->shortName + " (Iso)", inTree.data().toString().toStdString());
    EXPECT_EQ(cortex, Hier().labelAt(Hier().index(inTree.row(), 0, Hier().parent(inTree))));
    EXPECT_EQ("Isocortex (Iso)", Alpha().indexOfLabel(cortex).data().toString().toStdString());
    const QColor swatch =
        Hier().index(inTree.row(), OntologyDataSource::kColorColumn, inTree.parent()).data().value<QColor>();
    EXPECT_EQ(QColor::fromRgb(cortex->color[0], cortex->color[1], cortex->color[2]), swatch);
    // Structures painted nowhere have no row.
    for (const AnnotationLabel& label : Ontology().GetLabels())
        if (label.index != 0 && label.annotationValue == 0)
        {
            EXPECT_EQ(nullptr, Hier().findLabel(&label)) << label.name;
            EXPECT_FALSE(Alpha().indexOfLabel(&label).isValid()) << label.name;
        }
    EXPECT_EQ(nullptr, Hier().findLabel(nullptr));
    EXPECT_EQ("Name", doc->windowController()->hierOntologyView->model()->headerData(0, Qt::Horizontal).toString());
}

TEST_F(OntologyOutlineTest, FilterKeepsAcronymAndNameMatchesAlphabetically)
{
    const int all = Alpha().rowCount();
    struct Case
    {
        const char* filter;
        std::vector<std::string> rows;
    };
    const std::vector<Case> cases = {
        {"th", {"Fourth ventricle (V4)", "Hypothalamus (HY)", "Thalamus (TH)", "Third ventricle (V3)"}},
        {"tH", {"Fourth ventricle (V4)", "Hypothalamus (HY)", "Thalamus (TH)", "Third ventricle (V3)"}},
        {"cp", {"Caudoputamen (CP)"}},                                            // acronym only
        {"COLLICULUS", {"Inferior colliculus (IC)", "Superior colliculus (SC)"}}, // names only
        {"no such structure", {}},
    };
    for (const Case& c : cases)
    {
        doc->windowController()->ontologySearchField->setText(c.filter);
        EXPECT_EQ(c.rows, Names(Alpha())) << c.filter;
        EXPECT_EQ(0, Alpha().rowCount(Alpha().index(0, 0))) << "a list has no children";
    }
    doc->windowController()->ontologySearchField->setText("");
    EXPECT_EQ(all, Alpha().rowCount());
    // Switching to the list shows everything again.
    Alpha().setFilterString("th");
    Alpha().setDisplayAlphabetical(true);
    EXPECT_EQ(all, Alpha().rowCount());
}

TEST_F(OntologyOutlineTest, StructureBoxesNeedTheSceneAndAMesh)
{
    const AnnotationLabel* withMesh = nullptr;
    const AnnotationLabel* withoutMesh = nullptr;
    for (const AnnotationLabel& label : Ontology().GetLabels())
        if (Hier().indexOfLabel(&label).isValid())
            (label.hasMesh ? withMesh : withoutMesh) = &label;
    ASSERT_NE(nullptr, withMesh);
    ASSERT_NE(nullptr, withoutMesh);
    const auto enabled = [&](const AnnotationLabel* label, int column) {
        const QModelIndex name = Hier().indexOfLabel(label);
        return (Hier().flags(Hier().index(name.row(), column, name.parent())) & Qt::ItemIsEnabled) != 0;
    };
    struct Case
    {
        bool scene;
        const AnnotationLabel* label;
        bool structureEnabled;
    };
    for (const Case& c : {Case{true, withMesh, true}, Case{true, withoutMesh, false}, Case{false, withMesh, false},
                          Case{false, withoutMesh, false}})
    {
        if (c.scene)
            Tabs().SwitchTab(0);
        else
            Wrapper().CreateNewTab(true, kTabList);
        ASSERT_EQ(c.scene, doc->detailViewIsActive());
        EXPECT_EQ(c.structureEnabled, enabled(c.label, OntologyDataSource::kStructureColumn)) << c.label->name;
        EXPECT_TRUE(enabled(c.label, OntologyDataSource::kExpressionColumn)) << c.label->name;
        EXPECT_TRUE(enabled(c.label, OntologyDataSource::kNameColumn)) << c.label->name;
    }
    // The boxes show the model's selectors.
    const QModelIndex name = Hier().indexOfLabel(withMesh);
    const QModelIndex box = Hier().index(name.row(), OntologyDataSource::kStructureColumn, name.parent());
    const bool shown = doc->expressionModel()->GetStructureSelector().Intersects(withMesh->selector);
    EXPECT_EQ(shown ? Qt::Checked : Qt::Unchecked, box.data(Qt::CheckStateRole).toInt());
}

TEST_F(OntologyOutlineTest, SelectedRowBecomesTheModelsStructure)
{
    QTreeView* outline = doc->windowController()->hierOntologyView;
    BrainExpressionModel* model = doc->expressionModel();
    const AnnotationLabel* thalamus = Label("TH");
    const auto select = [&](const AnnotationLabel* label) {
        outline->selectionModel()->select(Hier().indexOfLabel(label),
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    };
    select(thalamus);
    EXPECT_EQ(thalamus, model->GetSelectedStructure());
    select(Ontology().GetAnnotationLabelByIndex(0));
    EXPECT_EQ(nullptr, model->GetSelectedStructure());
    select(thalamus);
    outline->clearSelection();
    EXPECT_EQ(nullptr, model->GetSelectedStructure());
    // The other way: a structure selected in the model is selected in the outline, its ancestors opened.
    outline->collapseAll();
    model->SelectStructure(thalamus, true);
    const QModelIndexList rows = outline->selectionModel()->selectedRows();
    ASSERT_EQ(1, rows.size());
    EXPECT_EQ(thalamus, Hier().labelAt(rows[0]));
    for (QModelIndex parent = rows[0].parent(); parent.isValid(); parent = parent.parent())
        EXPECT_TRUE(outline->isExpanded(parent));
}

// Paints one cell of a one-cell model into a white image and answers the bounding box of the pixels that
// are not white, and whether the box's corners are painted.
struct Painted
{
    QRect box;
    bool corner = false;
};

Painted PaintCell(QStyledItemDelegate& delegate, const QVariant& display, const QVariant& decoration, QRect cell)
{
    QStandardItemModel model(1, 1);
    model.setData(model.index(0, 0), display, Qt::DisplayRole);
    if (decoration.isValid())
        model.setData(model.index(0, 0), decoration, Qt::DecorationRole);
    QImage image(60, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        QStyleOptionViewItem option;
        option.rect = cell;
        option.state = QStyle::State_Enabled;
        delegate.paint(&painter, option, model.index(0, 0));
    }
    Painted painted;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                painted.box |= QRect(x, y, 1, 1);
    painted.corner = painted.box.isValid() && image.pixel(painted.box.topLeft()) != qRgb(255, 255, 255);
    return painted;
}

TEST(SwatchCellTest, SwatchFillsTwoPixelsInsideTheCell)
{
    const QRect cell(10, 7, 20, 16);
    const QRect inside(12, 9, 16, 12);
    ColorSwatchCell square;
    ColorSwatchShapeCell shape;
    struct Case
    {
        QStyledItemDelegate* delegate;
        QVariant value;
        bool filledCorner;
    };
    const QColor red(200, 0, 0);
    for (const Case& c :
         {Case{&square, red, true}, Case{&shape, QVariant::fromValue(ColorSwatchShapeCellValue{red, false}), true},
          Case{&shape, QVariant::fromValue(ColorSwatchShapeCellValue{red, true}), false}})
    {
        const Painted painted = PaintCell(*c.delegate, c.value, QVariant(), cell);
        EXPECT_EQ(inside, painted.box) << c.filledCorner;
        EXPECT_EQ(c.filledCorner, painted.corner);
    }
    // A cell without a colour draws nothing.
    EXPECT_FALSE(PaintCell(square, QString("red"), QVariant(), cell).box.isValid());
    EXPECT_FALSE(PaintCell(shape, QVariant::fromValue(ColorSwatchShapeCellValue{}), QVariant(), cell).box.isValid());
}

TEST(ImageAndTextCellTest, IconSitsThreeFromTheLeftCentredRoundingUp)
{
    struct Case
    {
        int height, iconTop;
    };
    for (const Case& c : {Case{20, 2}, Case{16, 0}, Case{17, 1}, Case{19, 2}, Case{14, -1}})
    {
        EXPECT_EQ(QRect(13, 5 + c.iconTop, 16, 16),
                  ImageAndTextCell::ImageRectForBounds(QRect(10, 5, 80, c.height), true))
            << c.height;
    }
    EXPECT_TRUE(ImageAndTextCell::ImageRectForBounds(QRect(10, 5, 80, 20), false).isNull());
    EXPECT_EQ(QRect(29, 5, 61, 20), ImageAndTextCell::TitleRectForBounds(QRect(10, 5, 80, 20), true));
    EXPECT_EQ(QRect(10, 5, 80, 20), ImageAndTextCell::TitleRectForBounds(QRect(10, 5, 80, 20), false));

    // Drawn: the icon's pixels, without text, land 2 below the top and 3 from the left of a 20-pixel cell.
    QPixmap icon(16, 16);
    icon.fill(QColor(0, 0, 200));
    ImageAndTextCell cell;
    const Painted painted = PaintCell(cell, QString(), icon, QRect(10, 5, 40, 20));
    EXPECT_EQ(QRect(13, 7, 16, 16), painted.box);
}

} // namespace
