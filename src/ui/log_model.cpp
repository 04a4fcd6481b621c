#include "ui/log_model.h"

#include <algorithm>
#include <cstring>

#include "platform/text_table.h"
#include "ui/display_text.h"

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

void CLogModel::Append(quint32 threadId, std::string_view message)
{
    char* target = Reserve(static_cast<qsizetype>(message.size()));
    std::memcpy(target, message.data(), message.size());
    const Block& block = m_Blocks.back();
    m_Rows.push_back({threadId, static_cast<quint32>(target - block.bytes.get())});
    if (!m_FlushTimer.isActive())
        m_FlushTimer.start();
}

// Room for the next row's message at the end of the last block; a message
// that does not fit starts a new block (one longer than a block gets a block
// of its own size), so that no message is ever split.
char* CLogModel::Reserve(qsizetype length)
{
    if (m_Blocks.empty() || m_Blocks.back().capacity - m_Blocks.back().used < length) {
        const qsizetype capacity = std::max(kBlockBytes, length);
        m_Blocks.push_back({std::make_unique_for_overwrite<char[]>(static_cast<size_t>(capacity)), capacity, 0,
                            static_cast<int>(m_Rows.size())});
    }
    Block& block = m_Blocks.back();
    char* target = block.bytes.get() + block.used;
    block.used += length;
    return target;
}

size_t CLogModel::BlockOf(int row) const
{
    const auto after = std::upper_bound(m_Blocks.begin(), m_Blocks.end(), row,
                                        [](int wanted, const Block& block) { return wanted < block.firstRow; });
    return static_cast<size_t>(after - m_Blocks.begin()) - 1;
}

// A row's message ends where the next row of its block starts, or where its
// block's bytes end. The view borrows the block's bytes: they never move.
std::string_view CLogModel::View(int row) const
{
    const size_t blockIndex = BlockOf(row);
    const Block& block = m_Blocks[blockIndex];
    const size_t index = static_cast<size_t>(row);
    const bool bLastInBlock = blockIndex + 1 < m_Blocks.size() ? row + 1 == m_Blocks[blockIndex + 1].firstRow
                                                               : index + 1 == m_Rows.size();
    const qsizetype begin = m_Rows[index].offset;
    const qsizetype end = bLastInBlock ? block.used : m_Rows[index + 1].offset;
    return std::string_view(block.bytes.get() + begin, static_cast<size_t>(end - begin));
}

QByteArray CLogModel::Message(int row) const
{
    const std::string_view view = View(row);
    return QByteArray(view.data(), static_cast<qsizetype>(view.size()));
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
    if (index.column() == ColumnThread)
        return QString::number(m_Rows[static_cast<size_t>(index.row())].threadId);
    return CDisplayText::FromBig5(View(index.row()));
}

QVariant CLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    return CDisplayText::Of(section == ColumnThread ? Text::ColumnThread : Text::ColumnMessage);
}
