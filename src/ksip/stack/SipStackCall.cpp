#include "SipStackCall.h"

#include <osip2/osip_dialog.h>
#include <osipparser2/osip_message.h>

namespace {

osip_message *copyOf(const osip_message *message)
{
    osip_message *copy = nullptr;
    if (message && osip_message_clone(message, &copy) != 0)
        copy = nullptr;
    return copy;
}

void replace(osip_message *&slot, osip_message *value)
{
    if (slot && slot != value)
        osip_message_free(slot);
    slot = value;
}

} // namespace

SipStackCall::~SipStackCall()
{
    for (auto &entry : m_kept) {
        replace(entry.second.request, nullptr);
        replace(entry.second.response, nullptr);
    }
    replace(invite, nullptr);
    replace(ack, nullptr);
    replace(pending2xx, nullptr);
    if (dialog)
        osip_dialog_free(dialog);
}

void SipStackCall::keepRequest(int tid, const osip_message *request)
{
    replace(m_kept[tid].request, copyOf(request));
    dropOldKept(tid);
}

void SipStackCall::keepResponse(int tid, const osip_message *response)
{
    replace(m_kept[tid].response, copyOf(response));
    dropOldKept(tid);
}

void SipStackCall::dropOldKept(int newest)
{
    // A peer may send re-INVITEs for as long as the call lasts: only the
    // latest few transactions are kept, besides the INVITE's own and the
    // one whose 2xx still waits for its ACK. Ids grow, so the map's first
    // entries are the oldest.
    auto it = m_kept.begin();
    while (m_kept.size() > kKeptTransactions && it != m_kept.end()) {
        const int tid = it->first;
        if (tid == inviteTid || tid == pending2xxTid || tid == newest) {
            ++it;
            continue;
        }
        replace(it->second.request, nullptr);
        replace(it->second.response, nullptr);
        it = m_kept.erase(it);
    }
}

const osip_message *SipStackCall::keptRequest(int tid) const
{
    auto it = m_kept.find(tid);
    return it == m_kept.end() ? nullptr : it->second.request;
}

const osip_message *SipStackCall::keptResponse(int tid) const
{
    auto it = m_kept.find(tid);
    return it == m_kept.end() ? nullptr : it->second.response;
}

void SipStackCall::setAck(osip_message *value)
{
    replace(ack, value);
}

void SipStackCall::setPending2xx(osip_message *response)
{
    replace(pending2xx, response);
}

void SipStackCall::setInvite(osip_message *value)
{
    replace(invite, value);
}
