#include "ui/log_model.h"

#include <iterator>

#include "platform/big5_text.h"
#include "platform/text_table.h"

CLogModel::CLogModel(QObject* parent) : QAbstractTableModel(parent)
{
    // A zero timer fires once the notifications already queued have been
    // handled, so a burst from many sessions becomes one insertion.
    m_FlushTimer.setSingleShot(true);
    m_FlushTimer.setInterval(0);
    connect(&m_FlushTimer, &QTimer::timeout, this, &CLogModel::Flush);
}

void CLogModel::Append(quint32 threadId, const QByteArray& message)
{
    m_Pending.push_back({threadId, message});
    if (!m_FlushTimer.isActive())
        m_FlushTimer.start();
}

void CLogModel::Flush()
{
    m_FlushTimer.stop();
    if (m_Pending.empty())
        return;
    const int first = rowCount();
    beginInsertRows(QModelIndex(), first, first + PendingRows() - 1);
    m_Rows.insert(m_Rows.end(), std::make_move_iterator(m_Pending.begin()),
                  std::make_move_iterator(m_Pending.end()));
    m_Pending.clear();
    endInsertRows();
}

int CLogModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_Rows.size());
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
