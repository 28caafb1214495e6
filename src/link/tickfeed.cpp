#include "tickfeed.h"

#include "fieldreader.h"
#include "managerclient.h"
#include "schedulexml.h"

#include "dbftable.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

namespace vorn {

namespace {

// What the client is sent of the records a tick reads: the rows of the
// records whose bytes differ from the row it has, or every row when it has
// none yet; or nothing when it reads them all from the file itself.
class FeedRows final : public model::TickFeed {
public:
    FeedRows(const model::FieldReader &reader, model::ScheduleXmlChanges &changes, std::vector<quint64> &fed,
             const std::vector<qint32> &resend, bool fedBefore, bool clientReadsAll)
        : m_reader(reader), m_changes(changes), m_fed(fed), m_resend(resend.cbegin()),
          m_resendEnd(resend.cend()), m_fedBefore(fedBefore), m_clientReadsAll(clientReadsAll),
          m_fedBeforeCount(qint32(fed.size()))
    {
    }

    bool take(qint32 record, quint64 fingerprint, const model::RecordCopy *copy) override
    {
        quint64 &fed = m_fed[size_t(record - 1)];
        bool send = false;
        if (!m_clientReadsAll) {
            while (m_resend != m_resendEnd && *m_resend < record)
                ++m_resend;
            const bool again = m_resend != m_resendEnd && *m_resend == record;
            send = !m_fedBefore || record > m_fedBeforeCount || fed != fingerprint || again;
        }
        if (send && !copy)
            return true;   // the row needs the record's bytes
        if (send) {
            QByteArray contents;
            model::AppendScheduleXmlContents(contents, m_reader, *copy);
            m_changes.rows.emplace_back(record, std::move(contents));
        }
        fed = fingerprint;
        return false;
    }

    // Sizes the kept rows to the table's record count, for the walk. A
    // record the client had before, of the bytes it had, goes nowhere
    // unless it is to be sent again: that much the walk may see for itself.
    void resize(qint32 records)
    {
        m_fed.resize(size_t(records));
        if (m_fedBefore && !m_clientReadsAll && m_resend == m_resendEnd)
            setHas(m_fed.data(), std::min(m_fedBeforeCount, records));
    }

private:
    const model::FieldReader &m_reader;
    model::ScheduleXmlChanges &m_changes;
    std::vector<quint64> &m_fed;
    std::vector<qint32>::const_iterator m_resend;
    const std::vector<qint32>::const_iterator m_resendEnd;
    const bool m_fedBefore;
    const bool m_clientReadsAll;
    const qint32 m_fedBeforeCount;   // rows the client had before this tick
};

} // namespace

void RefreshState::forgetFeed()
{
    m_fed.clear();
    m_resend.clear();
    m_fedClient = 0;
}

void RefreshState::beginFill(const store::DbfTable &table, size_t rows)
{
    if (m_tick.beginFill(table, rows))
        forgetFeed();
}

TickResult FeedTick(const store::DbfTable &table, const model::TickRows &rows, model::TickCellWriter &cells,
                    bool hosted, ManagerServerClient *view, RefreshState *kept)
{
    RefreshState scratch;
    RefreshState &state = kept ? *kept : scratch;
    TickResult result;
    result.records = table.recordCount();
    if (result.records == 0)
        return result;

    const model::FieldReader reader(table);
    const qint32 records = result.records;

    // Which records changed since the rows' texts and the client's rows were
    // made. A memo field's content lives outside the record, so such a table
    // counts as changed throughout.
    const quint64 layout = model::LayoutFingerprint(table);
    if (state.m_tick.takeLayout(layout, reader.allDirect()))
        state.forgetFeed();
    const bool feeding = hosted && view && ManagerServerClient::feedFits(records);
    if (hosted && view) {
        // A client that read every row itself tells which rows it found
        // other than this side saw; those go again, whatever was sent since.
        const std::optional<ManagerServerClient::ReadBack> back = view->takeReadBack();
        if (back && feeding && state.m_fedClient == view->id()) {
            if (!back->ok)
                state.m_fedClient = 0;
            const size_t common = std::min(back->fingerprints.size(), state.m_fed.size());
            for (size_t index = 0; back->ok && index < common; ++index) {
                if (back->fingerprints[index] != state.m_fed[index])
                    state.m_resend.push_back(qint32(index + 1));
            }
        }
    }
    const bool fedBefore = feeding && state.m_fedClient == view->id();
    // A client with no rows yet reads them all from the file on its own
    // thread; only a table whose fields all lie in the record can be read so.
    const bool clientReadsAll = feeding && !fedBefore && !table.filePath().isEmpty() && reader.allDirect();

    model::ScheduleXmlChanges changes;   // for the feed
    changes.records = records;
    FeedRows feed(reader, changes, state.m_fed, state.m_resend, fedBefore, clientReadsAll);
    if (feeding)
        feed.resize(records);
    const model::TickCounts counts = state.m_tick.run(table, reader, rows, feeding ? &feed : nullptr, cells);
    state.m_resend.clear();
    result.detailRows = counts.detailRows;
    result.changedRecords = counts.changedRecords;

    // The feed: the client keeps the text row by row; it gets the rows of
    // the records that changed, or all of them when it has not had them yet.
    if (hosted && view) {
        if (!feeding) {
            state.m_fedClient = 0;   // the rows it misses now are all sent with the next feed
            return result;
        }
        if (clientReadsAll) {
            changes.readAllFrom = table.filePath();
            changes.layout = layout;
            // This tick's own bytes, so that a file the manager replaces
            // before the client reads still gives this tick its text.
            if (store::DbfTable view = table.mappedView(); view.isOpen())
                changes.readAllTable = std::make_shared<const store::DbfTable>(std::move(view));
        }
        view->SetViewXMLDataChanged(ManagerServerClient::ViewName, std::move(changes));
        state.m_fedClient = view->id();
        result.fed = true;
    }
    return result;
}

} // namespace vorn
