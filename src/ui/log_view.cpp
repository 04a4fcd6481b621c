#include "ui/log_view.h"

#include <algorithm>

#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>

namespace {

constexpr int kMinimumColumnWidth = 10;
// How many of the first rows speak for the content width; measuring every
// row of a long log would cost as much as the log is long.
constexpr int kMeasuredRows = 64;

} // namespace

CLogView::CLogView(QWidget* parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    QHeaderView* rows = verticalHeader();
    rows->hide();
    // One fixed height for every row: appending never measures a row.
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 4);
    rows->setMinimumSectionSize(1);

    QHeaderView* columns = horizontalHeader();
    columns->setSectionsClickable(false);
    columns->setHighlightSections(false);
    columns->setSortIndicatorShown(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(false);
    columns->setMinimumSectionSize(kMinimumColumnWidth);
}

void CLogView::SetBackgroundPicture(const QPixmap& picture)
{
    m_Picture = picture;
    viewport()->update();
}

QRect CLogView::PictureRect() const
{
    const QSize area = viewport()->size();
    const QSize size = m_Picture.deviceIndependentSize().toSize();
    const int left = static_cast<int>((area.width() - size.width()) * kPictureX);
    const int top = static_cast<int>((area.height() - size.height()) * kPictureY);
    return QRect(QPoint(left, top), size);
}

void CLogView::AutoSizeColumns()
{
    if (model() == nullptr)
        return;
    setUpdatesEnabled(false);
    const int columns = model()->columnCount();
    // Room for the vertical scroll bar that a growing log soon needs, so
    // that the columns never call for a horizontal one.
    const int free = viewport()->width()
                     - (verticalScrollBar()->isVisible() ? 0 : verticalScrollBar()->sizeHint().width());
    int used = 0;
    for (int column = 0; column < columns; ++column) {
        int width = ColumnWidth(column);
        if (column == columns - 1)
            width = std::max(width, free - used);
        setColumnWidth(column, width);
        used += width;
    }
    setUpdatesEnabled(true);
}

int CLogView::ColumnWidth(int column) const
{
    int width = horizontalHeader()->sectionSizeHint(column);
    const int rows = std::min(model()->rowCount(), kMeasuredRows);
    for (int row = 0; row < rows; ++row)
        width = std::max(width, sizeHintForIndex(model()->index(row, column)).width());
    return std::max(width, kMinimumColumnWidth);
}

void CLogView::paintEvent(QPaintEvent* event)
{
    // The picture goes under the rows; the rows paint no background of their
    // own unless selected, so the picture shows through the text.
    if (!m_Picture.isNull()) {
        QPainter painter(viewport());
        painter.drawPixmap(PictureRect().topLeft(), m_Picture);
    }
    QTableView::paintEvent(event);
}

void CLogView::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    // Scrolling moves the pixels of the rows, picture and all, but the
    // picture stays where it is: draw the whole list again.
    if (!m_Picture.isNull())
        viewport()->update();
}
