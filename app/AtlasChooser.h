#pragma once

#include <QDialog>
#include <QStringList>

class QListWidget;

// The modal question which installed atlas a new document opens: a list of the atlas names with Choose
// and Cancel. runModal answers 1 (Choose), 0 (Cancel) or kAborted (the window's close box).
class AtlasChooser : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kAborted = -1001;

    // The preselected index is clamped into the list; null when the atlases cannot be listed.
    static AtlasChooser* initWithAtlas(int atlas);

    int runModal();
    int atlas() const { return m_atlas; }
    QListWidget* atlasListView() const { return m_atlasListView; }
    const QStringList& atlasList() const { return m_atlasList; }

    void choose();
    void cancel();
    // The name at a row, or an empty string outside the list.
    QString objectValue(int row) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    explicit AtlasChooser(const QStringList& names, int atlas);

    QListWidget* m_atlasListView = nullptr;
    QStringList m_atlasList;
    int m_atlas = 0;
    bool m_closingFromButton = false;
};
