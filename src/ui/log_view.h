#pragma once

#include <QPixmap>
#include <QTableView>

// The log list: a report view of the log rows with a picture behind them.
// Built for a log that only grows: every row has the same height, nothing is
// measured per row, and new rows never move what the user is looking at.
// Main thread only.
class CLogView : public QTableView {
    Q_OBJECT
public:
    // Where the picture sits within the free space of the list.
    static constexpr double kPictureX = 0.50;
    static constexpr double kPictureY = 0.45;

    explicit CLogView(QWidget* parent = nullptr);

    // A null picture leaves the list without one.
    void SetBackgroundPicture(const QPixmap& picture);
    const QPixmap& BackgroundPicture() const { return m_Picture; }
    QRect PictureRect() const;

    // Fits each column to the wider of its header and its rows, once; the
    // last column also takes the width the list has left.
    void AutoSizeColumns();

protected:
    void paintEvent(QPaintEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    int ColumnWidth(int column) const;

    QPixmap m_Picture;
};
