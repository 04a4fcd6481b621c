#pragma once

#include <deque>
#include <memory>
#include <vector>

#include <QAbstractTableModel>
#include <QByteArray>
#include <QTimer>

// The rows of the log: the thread id and the Big5 message of every row the
// server has logged in this run. Rows are never removed, so the log grows for
// the whole run; a busy server adds thousands a second. Appends are queued
// and handed to the view in one insertion every kFlushIntervalMs (at most
// kMaxRowsPerFlush, so that a flood never holds the window for long), and a
// message stays Big5 bytes until a row is drawn. Main thread only.
//
// A server left running for weeks logs millions of rows, so a row costs its
// bytes and a small index entry: the messages lie end to end in large blocks
// that are only ever filled, never moved or freed, and a row is its thread id
// and where its message starts in its block.
class CLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColumnThread = 0, ColumnMessage = 1, ColumnCount = 2 };
    static constexpr int kMaxRowsPerFlush = 16384;
    static constexpr int kFlushIntervalMs = 50;

    explicit CLogModel(QObject* parent = nullptr);

    // Queues one row; it becomes visible when the queue is flushed.
    void Append(quint32 threadId, std::string_view message);
    // Hands the queued rows to the views, at most kMaxRowsPerFlush at once;
    // the rest follow on the next turn of the event loop.
    void Flush();
    // Hands every queued row to the views now.
    void FlushAll();
    int PendingRows() const { return static_cast<int>(m_Rows.size()) - m_nVisibleRows; }

    // The Big5 bytes of a row, queued or visible.
    QByteArray Message(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Large enough that a block costs the allocator one mapping among many
    // thousands of rows, small enough that the block being filled, whose
    // untouched tail costs nothing resident, is no burden either.
    static constexpr qsizetype kBlockBytes = 1 << 20;

private:
    struct Row {
        quint32 threadId;
        quint32 offset;
    };
    struct Block {
        std::unique_ptr<char[]> bytes;
        qsizetype capacity;
        qsizetype used;
        int firstRow;
    };

    std::string_view View(int row) const;
    size_t BlockOf(int row) const;
    char* Reserve(qsizetype length);

    // Queued rows wait at the end, after the m_nVisibleRows the views know;
    // a deque grows without moving the rows it already holds.
    std::deque<Row> m_Rows;
    std::vector<Block> m_Blocks;
    int m_nVisibleRows = 0;
    QTimer m_FlushTimer;
};
