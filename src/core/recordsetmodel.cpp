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
    m_rows = m_recordset ? int(qMin<qint64>(m_recordset->rowsRead(), std::numeric_limits<int>::max())) : 0;
    m_pages.clear();
    m_pageOrder.clear();
    m_wanted.clear();
    m_pagesFailed = false;
    // Reads asked for the result shown before are dropped.
    ++m_shown;
    m_loadAsked = false;
    m_fetchAsked = false;
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

const RecordsetModel::Page *RecordsetModel::cached(qint64 index) const
{
    const auto found = m_pages.constFind(index);
    if (found == m_pages.constEnd())
        return nullptr;
    if (m_pageOrder.constLast() != index) {
        m_pageOrder.removeOne(index);
        m_pageOrder.append(index);
    }
    return &found.value();
}

void RecordsetModel::afterEngineWork(std::function<void()> then) const
{
    // Posted even when the engine is free: the caller may be painting.
    auto *self = const_cast<RecordsetModel *>(this);
    m_recordset->whenIdle(self, [self, shown = m_shown, then = std::move(then)] {
        if (shown != self->m_shown)
            return;
        if (self->m_recordset->engineBusy())
            self->afterEngineWork(then);
        else
            then();
    });
}

void RecordsetModel::want(qint64 index) const
{
    if (m_pagesFailed)
        return;
    m_wanted.insert(index);
    if (m_loadAsked)
        return;
    m_loadAsked = true;
    afterEngineWork([this] { const_cast<RecordsetModel *>(this)->loadWanted(); });
}

void RecordsetModel::loadWanted()
{
    m_loadAsked = false;
    const QSet<qint64> wanted = std::exchange(m_wanted, {});
    for (const qint64 index : wanted) {
        if (!m_pages.contains(index) && !loadPage(index))
            return;
    }
}

bool RecordsetModel::loadPage(qint64 index)
{
    if (!m_recordset || m_pagesFailed || index * PageRows >= m_rows)
        return true;
    const auto read = m_recordset->page(index * PageRows, PageRows);
    if (!read.ok()) {
        m_pagesFailed = true;
        emit readFailed(read.error().message);
        return false;
    }
    while (m_pageOrder.size() >= CachedPages)
        m_pages.remove(m_pageOrder.takeFirst());
    m_pageOrder.append(index);
    m_pages.insert(index, Page{read.value().rows, read.value().numbers});
    const int last = int(qMin<qint64>(m_rows, (index + 1) * PageRows)) - 1;
    emit dataChanged(this->index(int(index * PageRows), 0), this->index(last, columnCount() - 1));
    return true;
}

void RecordsetModel::load(int first, int last)
{
    if (!m_recordset || m_recordset->engineBusy())
        return;
    for (qint64 page = qMax(first, 0) / PageRows; page <= qint64(qMin(last, m_rows - 1)) / PageRows; ++page) {
        if (!cached(page) && !loadPage(page))
            return;
    }
}

QVariant RecordsetModel::data(const QModelIndex &index, int role) const
{
    if (!m_recordset || !index.isValid() || index.row() >= m_rows)
        return QVariant();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::TextAlignmentRole)
        return QVariant();
    const qint64 pageIndex = index.row() / PageRows;
    const Page *page = cached(pageIndex);
    if (!page) {
        want(pageIndex);
        return QVariant();
    }
    const int offset = index.row() % PageRows;
    if (offset >= page->rows.size() || index.column() >= page->rows.at(offset).size())
        return QVariant();
    if (role == Qt::TextAlignmentRole) {
        // As a bound grid sets them: numbers right, everything else left.
        const QBitArray &numbers = page->numbers.at(offset);
        const bool number = index.column() < numbers.size() && numbers.testBit(index.column());
        return int((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    return page->rows.at(offset).at(index.column());
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
    if (parent.isValid() || !m_recordset || m_fetchAsked)
        return;
    m_fetchAsked = true;
    afterEngineWork([this] {
        m_fetchAsked = false;
        readMore(BatchRows);
    });
}

void RecordsetModel::fetchAll()
{
    if (!m_recordset || m_recordset->engineBusy())
        return;
    const auto read = m_recordset->fetchAll();
    if (!read.ok())
        readFailedWith(read.error().message);
    rowsArrived();
}

void RecordsetModel::readMore(int rows)
{
    if (!m_recordset || m_recordset->atEnd() || m_recordset->engineBusy())
        return;
    const auto read = m_recordset->fetchMore(rows);
    if (!read.ok())
        readFailedWith(read.error().message);
    rowsArrived();
}

void RecordsetModel::readFailedWith(const QString &reason)
{
    // A Stop ends the engine and the rows with it: what is shown stays, and
    // this one message says why nothing more comes.
    if (!m_recordset->alive())
        m_pagesFailed = true;
    emit readFailed(reason);
}

void RecordsetModel::rowsArrived()
{
    if (m_pagesFailed)
        return;
    const int total = int(qMin<qint64>(m_recordset->rowsRead(), std::numeric_limits<int>::max()));
    if (total <= m_rows)
        return;
    beginInsertRows(QModelIndex(), m_rows, total - 1);
    m_rows = total;
    endInsertRows();
}

} // namespace kolta::query
