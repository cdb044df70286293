#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>
#include <string>

class QButtonGroup;
class QCheckBox;
class QDialog;
class QListWidget;
class QWidget;
class SearchConfig;

// The similar-data-set search sheet: the search domain (one row per similar-gene search domain of the
// atlas), the plane restriction and whether to build a graph, for a seed data set. The document makes it
// once and fills it with setData before each use. The sheet is a window-modal dialog on the document
// window that ends with result 1 (find, only with a domain chosen) or 0 (cancel). Main thread only.
class CorrelationDomainChooser : public QObject
{
    Q_OBJECT

public:
    // The plane-restriction tags: coronal sections, sagittal sections, or any.
    enum PlaneRestriction
    {
        kCoronal = 0,
        kSagittal = 1,
        kAnyPlane = 2
    };

    CorrelationDomainChooser(std::shared_ptr<SearchConfig> searchConfig, QWidget* documentWindow);
    ~CorrelationDomainChooser() override;

    QDialog* window() const { return m_window; }
    // The domain to select is a structure's database id: its row is selected, row 0 when no row has it.
    void setData(const char* name, int imageSeriesId, int domainId, int planeRestriction, bool graphAnalysis);
    const char* displayString() const { return m_displayString.c_str(); }
    int imageSeriesId() const { return m_imageSeriesId; }
    // The database id of the selected row's domain; 0 with none.
    int domain() const;
    int planeRestriction() const;
    bool graphAnalysis() const;
    void find();
    void cancel();
    int numberOfRowsInTableView() const;
    // Null past the rows.
    QString objectValueForRow(int row) const;
    QListWidget* domainList() const { return m_domainList; }
    QCheckBox* graphAnalysisBox() const { return m_graphAnalysis; }
    QButtonGroup* planeOfSection() const { return m_planeOfSection; }

private:
    std::shared_ptr<SearchConfig> m_searchConfig;
    QPointer<QDialog> m_window;
    QListWidget* m_domainList = nullptr;
    QButtonGroup* m_planeOfSection = nullptr;
    QCheckBox* m_graphAnalysis = nullptr;
    QStringList m_domainStrings;
    std::string m_displayString;
    int m_imageSeriesId = 0;
};
