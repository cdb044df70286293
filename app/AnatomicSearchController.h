#pragma once

#include <QObject>
#include <QPointer>

#include <array>
#include <memory>
#include <string>

class QComboBox;
class QDialog;
class QPushButton;
class QWidget;
class SearchConfig;

// The anatomic search sheet: up to three rows, each a structure of the atlas's anatomic search domains
// with filters on expression level, coverage and pattern, joined by "and" or "or". Find builds the
// server's query ("structac=CA1[xlevel=2] or ...") and the list name shown for it ("CA1 or ..."); a row
// without a structure or without any filter keeps the sheet open with an alert. The sheet is a
// window-modal dialog on the document window, made once and kept with its rows between uses; it ends
// with result 1 (find) or 0 (cancel). Main thread only.
class AnatomicSearchController : public QObject
{
    Q_OBJECT

public:
    // The pop-ups of one row: joiner (none in row 1), structure, level, coverage, pattern.
    using Row = std::array<QComboBox*, 5>;

    // The structures are the anatomic search domains of the document's atlas.
    AnatomicSearchController(std::shared_ptr<SearchConfig> searchConfig, QWidget* documentWindow);
    ~AnatomicSearchController() override;

    QDialog* window() const { return m_window; }
    const std::string& searchString() const { return m_searchString; }
    const std::string& displayString() const { return m_displayString; }
    int numSearchTerms() const { return m_numSearchTerms; }
    int rowHeight() const { return m_rowHeight; }
    const Row& row(int index) const { return m_rows.at(index); }
    QWidget* rowView(int index) const { return m_rowViews.at(index); }
    QPushButton* addRowButton() const { return m_addRowButton; }

    void addRow();
    // tag 1 deletes row 2, tag 2 row 3.
    void deleteRow(int tag);
    void find();
    void cancel();
    // Throws std::runtime_error with the text shown to the user.
    void constructSearchString();
    void constructSearchTerm(const Row& row, std::string& search, std::string& display) const;
    void initStructureMenu(QComboBox* menu) const;

private:
    QWidget* NewRow(int index);
    void MeasureRows();
    static void ResetRow(const Row& row);

    std::shared_ptr<SearchConfig> m_searchConfig;
    QPointer<QDialog> m_window;
    QPushButton* m_addRowButton = nullptr;
    std::array<Row, 3> m_rows{};
    std::array<QWidget*, 3> m_rowViews{};
    int m_numSearchTerms = 1;
    int m_rowHeight = 0;
    std::string m_searchString;
    std::string m_displayString;
};
