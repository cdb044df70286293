#pragma once

#include <QDialog>

#include <array>
#include <string>

class QCheckBox;
class QLineEdit;

// The sheet that names a new bookmark and chooses what it records, one check box per Bookmark flag from 1
// (filter expression) to 64 (thresholds). It ends with 1 for "Save" once at least one box is on and a name
// is given (else it says what is missing and stays), and with 0 for "Cancel". Outside the scene only the
// filter expression can be recorded: the editor is then restricted to it, and the choice made while
// unrestricted is kept for the next time. Made once per document and reused.
class BookmarkEditor : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kNumSettings = 7;

    explicit BookmarkEditor(QWidget* parent = nullptr);

    void restrictToFilterExpression(bool restricted);
    // Sets the boxes from the type's bits and empties the name.
    void synchronize(int type);
    int bookmarkType() const;
    std::string name() const;
    int savedBookmarkType() const { return m_savedBookmarkType; }

    void save();
    void cancel();
    // Escape cancels as the button does.
    void reject() override { cancel(); }

    // The problem that keeps a bookmark of that type and name from being made; empty when there is none.
    static std::string IncompleteReason(int type, const std::string& name);

private:
    void ShowBoxes(int type);

    QLineEdit* m_bookmarkName;
    std::array<QCheckBox*, kNumSettings> m_boxes{};
    int m_savedBookmarkType = 0;
    bool m_restrictedToFilterExpression = false;
};
