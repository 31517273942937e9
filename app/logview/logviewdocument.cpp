#include "logviewdocument.h"

#include <algorithm>
#include <limits>

namespace {
// One block may hold a whole loaded text as long as its offsets fit the index.
constexpr qsizetype MaxSingleBlock = qsizetype(1) << 30;
} // namespace

LogViewDocument::LogViewDocument(qsizetype blockSize)
    : m_blockSize(std::max<qsizetype>(2, blockSize))
{
}

qsizetype LogViewDocument::lineCount() const
{
    if (m_blocks.empty())
        return 1;
    return 1 + m_lineBase.back() + qsizetype(m_blocks.back().breaks.size());
}

char LogViewDocument::at(qsizetype position) const
{
    const qsizetype b = blockAt(position);
    return m_blocks[b].data.at(position - m_starts[b]);
}

QByteArray LogViewDocument::text() const
{
    return mid(0, m_length);
}

QByteArray LogViewDocument::mid(qsizetype position, qsizetype count) const
{
    position = std::clamp<qsizetype>(position, 0, m_length);
    count = std::clamp<qsizetype>(count, 0, m_length - position);
    QByteArray result;
    if (count == 0)
        return result;
    result.reserve(count);
    for (qsizetype b = blockAt(position); count > 0; ++b) {
        const QByteArray &data = m_blocks[b].data;
        const qsizetype offset = position - m_starts[b];
        const qsizetype take = std::min(count, data.size() - offset);
        result.append(data.constData() + offset, take);
        position += take;
        count -= take;
    }
    return result;
}

QList<QByteArrayView> LogViewDocument::pieces() const
{
    QList<QByteArrayView> result;
    result.reserve(qsizetype(m_blocks.size()));
    for (const Block &block : m_blocks)
        result.append(QByteArrayView(block.data));
    return result;
}

void LogViewDocument::setText(QByteArray text)
{
    m_blocks.clear();
    m_starts.clear();
    m_lineBase.clear();
    m_length = text.size();
    if (text.isEmpty())
        return;
    if (text.size() <= MaxSingleBlock) {
        // Kept as it came: a loaded file is neither copied nor split until edited inside.
        m_blocks.push_back(Block{std::move(text), {}});
    } else {
        for (qsizetype at = 0; at < text.size(); at += m_blockSize) {
            Block block = newBlock();
            block.data.append(text.constData() + at, std::min(m_blockSize, text.size() - at));
            m_blocks.push_back(std::move(block));
        }
    }
    m_starts.assign(m_blocks.size(), 0);
    m_lineBase.assign(m_blocks.size(), 0);
    renumber(0);
    for (qsizetype b = 0; b < blockCount(); ++b)
        rescan(b, 0, m_blocks[b].data.size() - 1);
    renumber(0);
}

void LogViewDocument::insert(qsizetype position, QByteArrayView bytes)
{
    const qsizetype n = bytes.size();
    position = std::clamp<qsizetype>(position, 0, m_length);
    if (n == 0)
        return;
    if (m_blocks.empty()) {
        m_blocks.push_back(newBlock());
        m_starts.assign(1, 0);
        m_lineBase.assign(1, 0);
    }
    qsizetype b = position == m_length ? blockCount() - 1 : blockAt(position);
    if (b > 0 && position == m_starts[b] && m_blocks[b - 1].data.size() + n <= m_blockSize)
        --b;
    const qsizetype offset = position - m_starts[b];
    Block &block = m_blocks[b];
    if (block.data.size() + n > m_blockSize) {
        insertSplitting(b, offset, bytes);
        return;
    }
    if (block.data.capacity() < m_blockSize)
        block.data.reserve(m_blockSize);
    if (offset == block.data.size()) {
        block.data.append(bytes.data(), n);
    } else {
        block.data.insert(offset, bytes);
        auto it = std::upper_bound(block.breaks.begin(), block.breaks.end(), quint32(offset));
        for (; it != block.breaks.end(); ++it)
            *it += quint32(n);
    }
    m_length += n;
    const bool last = b + 1 == blockCount();
    if (!last)
        renumber(b + 1);
    rescan(b, offset - 1, offset + n - 1);
    if (offset == 0 && position > 0)
        rescanGlobal(position - 1);
    if (!last || offset == 0)
        renumber(std::max<qsizetype>(1, b));
}

void LogViewDocument::insertSplitting(qsizetype b, qsizetype offset, QByteArrayView bytes)
{
    const qsizetype position = m_starts[b] + offset;
    Block &head = m_blocks[b];
    const QByteArray tail = head.data.mid(offset);
    head.data.truncate(offset);
    if (head.data.capacity() > 2 * m_blockSize)
        head.data.squeeze();
    head.breaks.erase(std::lower_bound(head.breaks.begin(), head.breaks.end(), quint32(offset)),
                      head.breaks.end());

    const QByteArrayView parts[2] = {bytes, QByteArrayView(tail)};
    int part = 0;
    qsizetype partOffset = 0;
    auto pull = [&](QByteArray &target, qsizetype count) {
        while (count > 0) {
            const qsizetype take = std::min(count, parts[part].size() - partOffset);
            target.append(parts[part].data() + partOffset, take);
            partOffset += take;
            count -= take;
            if (partOffset == parts[part].size()) {
                ++part;
                partOffset = 0;
            }
        }
    };
    qsizetype remaining = bytes.size() + tail.size();
    if (offset < m_blockSize) {
        const qsizetype take = std::min(remaining, m_blockSize - offset);
        head.data.reserve(m_blockSize);
        pull(head.data, take);
        remaining -= take;
    }
    std::vector<Block> fresh;
    while (remaining > 0) {
        Block block = newBlock();
        const qsizetype take = std::min(remaining, m_blockSize);
        pull(block.data, take);
        remaining -= take;
        fresh.push_back(std::move(block));
    }
    const bool headKept = !head.data.isEmpty();
    const qsizetype firstFresh = headKept ? b + 1 : b;
    if (!headKept)
        m_blocks.erase(m_blocks.begin() + b);
    const qsizetype freshCount = qsizetype(fresh.size());
    m_blocks.insert(m_blocks.begin() + firstFresh, std::make_move_iterator(fresh.begin()),
                    std::make_move_iterator(fresh.end()));
    m_starts.resize(m_blocks.size());
    m_lineBase.resize(m_blocks.size());
    m_length += bytes.size();
    renumber(std::max<qsizetype>(1, b));
    if (headKept)
        rescan(b, offset - 1, m_blocks[b].data.size() - 1);
    for (qsizetype f = firstFresh; f < firstFresh + freshCount; ++f)
        rescan(f, 0, m_blocks[f].data.size() - 1);
    if (position > 0)
        rescanGlobal(position - 1);
    renumber(1);
}

void LogViewDocument::remove(qsizetype position, qsizetype count)
{
    position = std::clamp<qsizetype>(position, 0, m_length);
    count = std::clamp<qsizetype>(count, 0, m_length - position);
    if (count == 0)
        return;
    const qsizetype first = blockAt(position);
    qsizetype b = first;
    qsizetype from = position - m_starts[b];
    for (qsizetype remaining = count; remaining > 0; from = 0) {
        const qsizetype size = m_blocks[b].data.size();
        const qsizetype to = std::min(size, from + remaining);
        remaining -= to - from;
        if (from == 0 && to == size) {
            m_blocks.erase(m_blocks.begin() + b);
        } else {
            removeFromBlock(b, from, to);
            ++b;
        }
    }
    m_length -= count;
    m_starts.resize(m_blocks.size());
    m_lineBase.resize(m_blocks.size());
    if (m_blocks.empty())
        return;
    renumber(std::max<qsizetype>(1, first));
    if (position > 0)
        rescanGlobal(position - 1);
    renumber(1);
}

void LogViewDocument::removeFromBlock(qsizetype b, qsizetype from, qsizetype to)
{
    Block &block = m_blocks[b];
    block.data.remove(from, to - from);
    auto begin = std::lower_bound(block.breaks.begin(), block.breaks.end(), quint32(from + 1));
    auto end = std::upper_bound(begin, block.breaks.end(), quint32(to));
    for (auto it = end; it != block.breaks.end(); ++it)
        *it -= quint32(to - from);
    block.breaks.erase(begin, end);
}

// Recomputes the line starts that follow the bytes at block offsets from..to.
void LogViewDocument::rescan(qsizetype b, qsizetype from, qsizetype to)
{
    Block &block = m_blocks[b];
    const qsizetype size = block.data.size();
    from = std::max<qsizetype>(from, 0);
    to = std::min(to, size - 1);
    if (from > to)
        return;
    std::vector<quint32> &breaks = block.breaks;
    auto first = breaks.end();
    auto last = breaks.end();
    if (!breaks.empty() && breaks.back() >= quint32(from + 1)) {
        first = std::lower_bound(breaks.begin(), breaks.end(), quint32(from + 1));
        last = std::upper_bound(first, breaks.end(), quint32(to + 1));
    }
    const char *data = block.data.constData();
    const qsizetype globalEnd = m_starts[b] + size;
    auto scan = [&](std::vector<quint32> &out) {
        for (qsizetype i = from; i <= to; ++i) {
            const char c = data[i];
            if (c == '\n') {
                out.push_back(quint32(i + 1));
            } else if (c == '\r') {
                const bool lfFollows = i + 1 < size ? data[i + 1] == '\n'
                                                    : globalEnd < m_length && at(globalEnd) == '\n';
                if (!lfFollows)
                    out.push_back(quint32(i + 1));
            }
        }
    };
    if (last == breaks.end()) {
        breaks.erase(first, breaks.end());
        scan(breaks);
        return;
    }
    std::vector<quint32> found;
    scan(found);
    const qsizetype insertAt = first - breaks.begin();
    breaks.erase(first, last);
    breaks.insert(breaks.begin() + insertAt, found.begin(), found.end());
}

void LogViewDocument::rescanGlobal(qsizetype position)
{
    const qsizetype b = blockAt(position);
    const qsizetype offset = position - m_starts[b];
    rescan(b, offset, offset);
}

void LogViewDocument::renumber(qsizetype fromBlock)
{
    if (m_blocks.empty())
        return;
    m_starts[0] = 0;
    m_lineBase[0] = 0;
    for (qsizetype b = std::max<qsizetype>(1, fromBlock); b < blockCount(); ++b) {
        m_starts[b] = m_starts[b - 1] + m_blocks[b - 1].data.size();
        m_lineBase[b] = m_lineBase[b - 1] + qsizetype(m_blocks[b - 1].breaks.size());
    }
}

LogViewDocument::Block LogViewDocument::newBlock() const
{
    Block block;
    block.data.reserve(m_blockSize);
    return block;
}

qsizetype LogViewDocument::blockAt(qsizetype position) const
{
    const auto it = std::upper_bound(m_starts.begin(), m_starts.end(), position);
    return std::max<qsizetype>(0, (it - m_starts.begin()) - 1);
}

qsizetype LogViewDocument::lineOf(qsizetype position) const
{
    position = std::clamp<qsizetype>(position, 0, m_length);
    if (position == 0)
        return 0;
    // The block holding the byte before the position owns the line starts up to it.
    const qsizetype b = blockAt(position - 1);
    const std::vector<quint32> &breaks = m_blocks[b].breaks;
    const auto it = std::upper_bound(breaks.begin(), breaks.end(), quint32(position - m_starts[b]));
    return m_lineBase[b] + (it - breaks.begin());
}

qsizetype LogViewDocument::blockOfLine(qsizetype line) const
{
    const auto it = std::upper_bound(m_lineBase.begin(), m_lineBase.end(), line - 1);
    return (it - m_lineBase.begin()) - 1;
}

qsizetype LogViewDocument::lineStart(qsizetype line) const
{
    if (line <= 0 || m_blocks.empty())
        return 0;
    if (line >= lineCount())
        return m_length;
    const qsizetype b = blockOfLine(line);
    return m_starts[b] + m_blocks[b].breaks[line - 1 - m_lineBase[b]];
}

qsizetype LogViewDocument::lineEnd(qsizetype line) const
{
    if (line + 1 >= lineCount())
        return m_length;
    const qsizetype next = lineStart(line + 1);
    if (at(next - 1) == '\n' && next >= 2 && at(next - 2) == '\r')
        return next - 2;
    return next - 1;
}

QByteArrayView LogViewDocument::lineText(qsizetype line, QByteArray &scratch) const
{
    const qsizetype start = lineStart(line);
    const qsizetype end = lineEnd(line);
    if (start >= end)
        return {};
    const qsizetype b = blockAt(start);
    const QByteArray &data = m_blocks[b].data;
    if (end <= m_starts[b] + data.size())
        return QByteArrayView(data.constData() + (start - m_starts[b]), end - start);
    scratch = mid(start, end - start);
    return QByteArrayView(scratch);
}

qsizetype LogViewDocument::nextPosition(qsizetype position) const
{
    if (position >= m_length)
        return m_length;
    if (position + 1 < m_length && at(position) == '\r' && at(position + 1) == '\n')
        return position + 2;
    return position + 1;
}

qsizetype LogViewDocument::previousPosition(qsizetype position) const
{
    if (position <= 0)
        return 0;
    if (position >= 2 && at(position - 1) == '\n' && at(position - 2) == '\r')
        return position - 2;
    return position - 1;
}
