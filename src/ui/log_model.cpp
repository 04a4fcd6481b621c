#include "ui/log_model.h"

#include <algorithm>

#include "platform/big5_text.h"
#include "platform/text_table.h"

CLogModel::CLogModel(QObject* parent) : QAbstractTableModel(parent)
{
    // Rows are shown at most twenty times a second: a burst from many
    // sessions becomes one insertion, and the window's thread, which also
    // accepts the connections, does not spend itself repainting the log
    // for every client that comes and goes.
    m_FlushTimer.setSingleShot(true);
    m_FlushTimer.setInterval(kFlushIntervalMs);
    connect(&m_FlushTimer, &QTimer::timeout, this, &CLogModel::Flush);
}

void CLogModel::Append(quint32 threadId, const QByteArray& message)
{
    m_Rows.push_back({threadId, message});
    if (!m_FlushTimer.isActive())
        m_FlushTimer.start();
}

void CLogModel::Flush()
{
    m_FlushTimer.stop();
    const int count = std::min(PendingRows(), kMaxRowsPerFlush);
    if (count == 0)
        return;
    beginInsertRows(QModelIndex(), m_nVisibleRows, m_nVisibleRows + count - 1);
    m_nVisibleRows += count;
    endInsertRows();
    if (PendingRows() > 0)
        m_FlushTimer.start();
}

void CLogModel::FlushAll()
{
    while (PendingRows() > 0)
        Flush();
}

int CLogModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_nVisibleRows;
}

int CLogModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CLogModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    const Row& row = m_Rows[static_cast<size_t>(index.row())];
    if (index.column() == ColumnThread)
        return QString::number(row.threadId);
    return CBig5Text::ToQString(row.message);
}

QVariant CLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    return CTextTable::Display(section == ColumnThread ? Text::ColumnThread : Text::ColumnMessage);
}
