#pragma once

#include <QMetaType>
#include <QString>
#include <QVector>

// One sound endpoint of the PC: a capture device (type 0) or a render
// device (type 1). A default one (empty id) means "no sound device".
class RDCoreDevice
{
public:
    enum Type {
        Capture = 0,
        Render = 1,
    };

    RDCoreDevice() = default;
    RDCoreDevice(const QString &id, const QString &name, int type) : m_id(id), m_name(name), m_type(type) {}

    QString id() const { return m_id; }
    QString name() const { return m_name; }
    int type() const { return m_type; }
    bool isNull() const { return m_id.isEmpty(); }

    bool operator==(const RDCoreDevice &other) const
    {
        return m_id == other.m_id && m_name == other.m_name && m_type == other.m_type;
    }
    bool operator!=(const RDCoreDevice &other) const { return !(*this == other); }

private:
    QString m_id;
    QString m_name;
    int m_type = Capture;
};

Q_DECLARE_METATYPE(RDCoreDevice)
