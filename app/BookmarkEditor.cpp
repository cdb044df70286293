#include "app/BookmarkEditor.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace
{
const char* const kBoxTitles[BookmarkEditor::kNumSettings] = {
    "Filter expression", "Atlas structures", "View angle", "Zoom", "Atlas sections", "Clipping planes", "Thresholds"};
// What a new editor records until the user chooses: the whole view, without the filter expression.
constexpr int kInitialType = 2 | 4 | 8 | 16 | 32 | 64;
} // namespace

BookmarkEditor::BookmarkEditor(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("editBookmarkPanel");
    setWindowTitle(tr("New Bookmark"));
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout();
    m_bookmarkName = new QLineEdit(this);
    m_bookmarkName->setObjectName("bookmarkName");
    form->addRow(tr("Name:"), m_bookmarkName);
    layout->addLayout(form);
    for (int i = 0; i < kNumSettings; ++i)
    {
        m_boxes[static_cast<std::size_t>(i)] = new QCheckBox(tr(kBoxTitles[i]), this);
        layout->addWidget(m_boxes[static_cast<std::size_t>(i)]);
    }
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    buttons->addButton(tr("Save"), QDialogButtonBox::AcceptRole)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &BookmarkEditor::save);
    connect(buttons, &QDialogButtonBox::rejected, this, &BookmarkEditor::cancel);
    layout->addWidget(buttons);
    ShowBoxes(kInitialType);
    m_savedBookmarkType = kInitialType;
    // A window manager's title bar puts the window's icon and its buttons beside the title, each about as
    // wide as the bar is high: the sheet leaves room for them and for the whole title in a bold face.
    QFont titleFont = font();
    titleFont.setBold(true);
    const int bar = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    setMinimumWidth(QFontMetrics(titleFont).horizontalAdvance(windowTitle()) + 6 * bar);
}

void BookmarkEditor::ShowBoxes(int type)
{
    for (int i = 0; i < kNumSettings; ++i)
        m_boxes[static_cast<std::size_t>(i)]->setChecked((type & (1 << i)) != 0);
}

void BookmarkEditor::synchronize(int type)
{
    ShowBoxes(type);
    m_bookmarkName->clear();
}

int BookmarkEditor::bookmarkType() const
{
    int type = 0;
    for (int i = 0; i < kNumSettings; ++i)
        if (m_boxes[static_cast<std::size_t>(i)]->isChecked())
            type |= 1 << i;
    return type;
}

std::string BookmarkEditor::name() const
{
    return m_bookmarkName->text().toStdString();
}

void BookmarkEditor::restrictToFilterExpression(bool restricted)
{
    m_restrictedToFilterExpression = restricted;
    ShowBoxes(restricted ? 1 : m_savedBookmarkType);
    for (QCheckBox* box : m_boxes)
        box->setEnabled(!restricted);
}

std::string BookmarkEditor::IncompleteReason(int type, const std::string& name)
{
    if (type == 0)
        return "Please select at least 1 setting to bookmark.";
    if (name.empty())
        return "Please enter a name for the bookmark.";
    return std::string();
}

void BookmarkEditor::save()
{
    if (!m_restrictedToFilterExpression)
        m_savedBookmarkType = bookmarkType();
    const std::string reason = IncompleteReason(bookmarkType(), name());
    if (reason.empty())
    {
        done(1);
        return;
    }
    auto* sheet = new QMessageBox(QMessageBox::Warning, tr("Incomplete Bookmark"), QString::fromStdString(reason),
                                  QMessageBox::Ok, this);
    sheet->setObjectName("incompleteBookmarkSheet");
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->open();
}

void BookmarkEditor::cancel()
{
    if (!m_restrictedToFilterExpression)
        m_savedBookmarkType = bookmarkType();
    done(0);
}
