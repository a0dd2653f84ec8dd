#include "RDMFData.h"

#include "RDFileData.h"
#include "RDFileHelper.h"
#include "RDMemoryData.h"

#include <QtGlobal>

RDMFData::RDMFData()
    : m_memory(new RDMemoryData(kInitialCapacity))
{
}

RDMFData::RDMFData(const std::string &path, int limit)
    : m_path(path), m_limit(limit), m_memory(new RDMemoryData(kInitialCapacity))
{
}

RDMFData::~RDMFData()
{
    delete m_memory;
    delete m_file;
    if (m_createdFile)
        removeUtf8File(m_path);
}

int RDMFData::write(const char *data, int length)
{
    if (!m_memory)
        return m_file ? m_file->write(data, length) : 0;
    const int r = m_memory->write(data, length);
    if (m_limit >= 1 && !m_path.empty() && m_memory->capacity() > m_limit && !m_file && !m_spillFailed)
        spill();
    return r;
}

void RDMFData::spill()
{
    auto *file = new RDFileData;
    // "x": create only; an existing file at the path belongs to someone else.
    if (!file->openWriter(m_path, "wbx")) {
        qWarning("RDMFData: cannot create spill file %s, keeping the data in memory", m_path.c_str());
        delete file;
        m_spillFailed = true;
        return;
    }
    m_createdFile = true;
    bool ok = file->openReader(m_path, "rb");
    const int unread = m_memory->size();
    if (ok && unread > 0)
        ok = file->write(m_memory->data(), unread) == unread;
    if (!ok) {
        // Short write (disk full) or no reader: the memory copy is still
        // whole, so keep it and drop the partial file.
        qWarning("RDMFData: cannot spill to %s, keeping the data in memory", m_path.c_str());
        delete file;
        removeUtf8File(m_path);
        m_createdFile = false;
        m_spillFailed = true;
        return;
    }
    delete m_memory;
    m_memory = nullptr;
    m_file = file;
}

int RDMFData::read(char *buffer, int length)
{
    if (m_memory)
        return m_memory->read(buffer, length);
    return m_file ? m_file->read(buffer, length) : 0;
}

int RDMFData::skip(int length)
{
    if (m_memory)
        return m_memory->skip(length);
    return m_file ? m_file->skip(length) : 0;
}

int RDMFData::size()
{
    if (m_memory)
        return m_memory->size();
    return m_file ? m_file->size() : 0;
}

bool RDMFData::isEmpty()
{
    if (m_memory)
        return m_memory->isEmpty();
    return m_file ? m_file->isEmpty() : true;
}
