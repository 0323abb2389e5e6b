#include "recordsetmodel.h"

namespace kolta::query {

RecordsetModel::RecordsetModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void RecordsetModel::setRecordset(std::shared_ptr<jet::Recordset> recordset)
{
    beginResetModel();
    m_recordset = std::move(recordset);
    m_rows = m_recordset ? int(m_recordset->rowsRead()) : 0;
    m_pages.clear();
    m_pageOrder.clear();
    endResetModel();
}

int RecordsetModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int RecordsetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_recordset ? 0 : m_recordset->fieldCount();
}

const QList<QVariantList> *RecordsetModel::page(qint64 index) const
{
    auto found = m_pages.constFind(index);
    if (found != m_pages.constEnd()) {
        m_pageOrder.removeOne(index);
        m_pageOrder.append(index);
        return &found.value();
    }
    const auto rows = m_recordset->rows(index * PageRows, PageRows);
    if (!rows.ok())
        return nullptr;
    while (m_pageOrder.size() >= CachedPages)
        m_pages.remove(m_pageOrder.takeFirst());
    m_pageOrder.append(index);
    return &m_pages.insert(index, rows.value()).value();
}

QVariant RecordsetModel::data(const QModelIndex &index, int role) const
{
    if (!m_recordset || !index.isValid() || index.row() >= m_rows)
        return QVariant();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QVariant();
    const QList<QVariantList> *rows = page(index.row() / PageRows);
    if (!rows)
        return QVariant();
    const int offset = index.row() % PageRows;
    if (offset >= rows->size() || index.column() >= rows->at(offset).size())
        return QVariant();
    return rows->at(offset).at(index.column());
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Horizontal) {
        if (m_recordset && section >= 0 && section < m_recordset->fieldCount())
            return m_recordset->fieldNames().at(section);
        return QVariant();
    }
    return QString();
}

bool RecordsetModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && m_recordset && !m_recordset->atEnd();
}

void RecordsetModel::fetchMore(const QModelIndex &parent)
{
    if (!parent.isValid())
        readMore(BatchRows);
}

void RecordsetModel::fetchAll()
{
    // Large batches: the rows stay in the engine, only their count comes here.
    while (canFetchMore())
        readMore(16384);
}

void RecordsetModel::readMore(int rows)
{
    if (!m_recordset)
        return;
    const auto read = m_recordset->fetchMore(rows);
    const int total = int(qMin<qint64>(m_recordset->rowsRead(), std::numeric_limits<int>::max()));
    if (!read.ok())
        emit readFailed(read.error().message);
    if (total <= m_rows)
        return;
    beginInsertRows(QModelIndex(), m_rows, total - 1);
    m_rows = total;
    endInsertRows();
}

} // namespace kolta::query
