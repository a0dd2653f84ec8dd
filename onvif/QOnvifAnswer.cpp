#include "QOnvifAnswer.h"

#include <QUrl>
#include <QXmlStreamReader>

namespace {

struct Element
{
    QStringList path;   // local names from the root to this element
    QXmlStreamAttributes attributes;
    QString text;       // the element's own text, trimmed
    int parent = -1;
};

using Elements = QVector<Element>;

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

// Reads the whole document into a flat list, within the size limits.
bool readElements(const QByteArray &data, Elements *out, QString *error)
{
    if (data.isEmpty())
        return fail(error, QStringLiteral("empty answer"));
    if (data.size() > QOnvifAnswer::kMaxAnswerBytes)
        return fail(error, QStringLiteral("answer too large"));
    QXmlStreamReader reader(data);
    QVector<int> open;
    QStringList path;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        switch (token) {
        case QXmlStreamReader::DTD:
        case QXmlStreamReader::EntityReference:
            return fail(error, QStringLiteral("answer holds a document type"));
        case QXmlStreamReader::StartElement: {
            if (out->size() >= QOnvifAnswer::kMaxElements || open.size() >= QOnvifAnswer::kMaxDepth)
                return fail(error, QStringLiteral("answer too large"));
            path.append(reader.name().toString());
            Element element;
            element.path = path;
            element.attributes = reader.attributes();
            element.parent = open.isEmpty() ? -1 : open.last();
            out->append(element);
            open.append(out->size() - 1);
            break;
        }
        case QXmlStreamReader::EndElement:
            if (!open.isEmpty()) {
                Element &element = (*out)[open.last()];
                element.text = element.text.trimmed();
                open.removeLast();
                path.removeLast();
            }
            break;
        case QXmlStreamReader::Characters:
            if (!open.isEmpty()) {
                Element &element = (*out)[open.last()];
                if (element.text.size() + reader.text().size() > QOnvifAnswer::kMaxTextLength)
                    return fail(error, QStringLiteral("answer value too long"));
                element.text += reader.text();
            }
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        return fail(error, QStringLiteral("malformed answer: %1").arg(reader.errorString()));
    if (out->isEmpty() || out->first().path.first() != QLatin1String("Envelope"))
        return fail(error, QStringLiteral("answer is not a SOAP envelope"));
    return true;
}

bool inBody(const Element &element)
{
    return element.path.size() >= 2 && element.path.at(1) == QLatin1String("Body");
}

// The index of the first element named `name` inside the body; -1 when none.
int findInBody(const Elements &elements, const QString &name, int from = 0)
{
    for (int i = from; i < elements.size(); ++i) {
        if (inBody(elements.at(i)) && elements.at(i).path.last() == name)
            return i;
    }
    return -1;
}

bool isInside(const Elements &elements, int index, int ancestor)
{
    for (int p = elements.at(index).parent; p >= 0; p = elements.at(p).parent) {
        if (p == ancestor)
            return true;
    }
    return false;
}

// The text of the first element named `name` inside `ancestor`.
QString childText(const Elements &elements, int ancestor, const QString &name)
{
    for (int i = ancestor + 1; i < elements.size() && isInside(elements, i, ancestor); ++i) {
        if (elements.at(i).path.last() == name)
            return elements.at(i).text;
    }
    return QString();
}

// Reads the answer and finds its `response` element; a fault or another
// kind of answer is an error.
bool readResponse(const QByteArray &data, const QString &response, Elements *elements, int *index, QString *error)
{
    if (!readElements(data, elements, error))
        return false;
    const int fault = findInBody(*elements, QStringLiteral("Fault"));
    if (fault >= 0) {
        QString reason = childText(*elements, fault, QStringLiteral("Text"));
        if (reason.isEmpty())
            reason = childText(*elements, fault, QStringLiteral("faultstring"));
        if (reason.isEmpty())
            reason = childText(*elements, fault, QStringLiteral("Value"));
        return fail(error, reason.isEmpty() ? QStringLiteral("SOAP fault") : QStringLiteral("SOAP fault: %1").arg(reason));
    }
    *index = findInBody(*elements, response);
    if (*index < 0)
        return fail(error, QStringLiteral("answer holds no %1").arg(response));
    return true;
}

bool isAddress(const QString &text, const QStringList &schemes)
{
    if (text.isEmpty() || text.size() > QOnvifAnswer::kMaxTextLength)
        return false;
    for (const QChar c : text) {
        if (c.unicode() < 0x21 || c.unicode() == 0x7f)
            return false;
    }
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && schemes.contains(url.scheme().toLower()) && !url.host().isEmpty();
}

} // namespace

bool QOnvifAnswer::isServiceAddress(const QString &text)
{
    return isAddress(text, {QStringLiteral("http"), QStringLiteral("https")});
}

bool QOnvifAnswer::isStreamAddress(const QString &text)
{
    return isAddress(text, {QStringLiteral("rtsp"), QStringLiteral("rtsps"), QStringLiteral("http"),
                            QStringLiteral("https")});
}

bool QOnvifAnswer::parseProbeMatches(const QByteArray &data, QVector<ProbeMatch> *matches, QString *error)
{
    Elements elements;
    int index = -1;
    if (!readResponse(data, QStringLiteral("ProbeMatches"), &elements, &index, error))
        return false;
    QVector<ProbeMatch> found;
    for (int i = findInBody(elements, QStringLiteral("ProbeMatch"), index); i >= 0;
         i = findInBody(elements, QStringLiteral("ProbeMatch"), i + 1)) {
        if (found.size() >= kMaxProbeMatches)
            return fail(error, QStringLiteral("answer too large"));
        ProbeMatch match;
        match.endpoint = childText(elements, i, QStringLiteral("Address"));
        const QStringList addresses = childText(elements, i, QStringLiteral("XAddrs")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString &address : addresses) {
            if (isServiceAddress(address)) {
                match.address = address;
                break;
            }
        }
        // A match without a usable service address cannot be asked anything.
        if (match.address.isEmpty())
            continue;
        if (match.endpoint.isEmpty())
            match.endpoint = match.address;
        found.append(match);
    }
    *matches = found;
    return true;
}

bool QOnvifAnswer::parseDeviceInformation(const QByteArray &data, DeviceInformation *info, QString *error)
{
    Elements elements;
    int index = -1;
    if (!readResponse(data, QStringLiteral("GetDeviceInformationResponse"), &elements, &index, error))
        return false;
    info->manufacturer = childText(elements, index, QStringLiteral("Manufacturer"));
    info->model = childText(elements, index, QStringLiteral("Model"));
    info->firmwareVersion = childText(elements, index, QStringLiteral("FirmwareVersion"));
    info->serialNumber = childText(elements, index, QStringLiteral("SerialNumber"));
    info->hardwareId = childText(elements, index, QStringLiteral("HardwareId"));
    return true;
}

bool QOnvifAnswer::parseCapabilities(const QByteArray &data, QString *mediaAddress, QString *error)
{
    Elements elements;
    int index = -1;
    if (!readResponse(data, QStringLiteral("GetCapabilitiesResponse"), &elements, &index, error))
        return false;
    const int media = findInBody(elements, QStringLiteral("Media"), index);
    if (media < 0 || !isInside(elements, media, index))
        return fail(error, QStringLiteral("camera has no media service"));
    const QString address = childText(elements, media, QStringLiteral("XAddr"));
    if (!isServiceAddress(address))
        return fail(error, QStringLiteral("media service address is not an HTTP address"));
    *mediaAddress = address;
    return true;
}

bool QOnvifAnswer::parseProfiles(const QByteArray &data, QVector<QOnvifDeviceProfile> *profiles, QString *error)
{
    Elements elements;
    int index = -1;
    if (!readResponse(data, QStringLiteral("GetProfilesResponse"), &elements, &index, error))
        return false;
    QVector<QOnvifDeviceProfile> found;
    for (int i = index + 1; i < elements.size() && isInside(elements, i, index); ++i) {
        const Element &element = elements.at(i);
        if (element.parent != index || element.path.last() != QLatin1String("Profiles"))
            continue;
        if (found.size() >= kMaxProfiles)
            return fail(error, QStringLiteral("answer too large"));
        const QString token = element.attributes.value(QLatin1String("token")).toString();
        if (token.isEmpty())
            return fail(error, QStringLiteral("profile without a token"));
        found.append(QOnvifDeviceProfile(token, childText(elements, i, QStringLiteral("Name"))));
    }
    *profiles = found;
    return true;
}

bool QOnvifAnswer::parseStreamUri(const QByteArray &data, QString *uri, QString *error)
{
    Elements elements;
    int index = -1;
    if (!readResponse(data, QStringLiteral("GetStreamUriResponse"), &elements, &index, error))
        return false;
    const QString address = childText(elements, index, QStringLiteral("Uri"));
    if (!isStreamAddress(address))
        return fail(error, QStringLiteral("stream address is not a stream URL"));
    *uri = address;
    return true;
}
