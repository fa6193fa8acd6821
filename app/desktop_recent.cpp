#include "app/desktop_recent.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QUrl>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include "files/temporary_file.h"

namespace app {

namespace {

const QString kBookmarkNs = "http://www.freedesktop.org/standards/desktop-bookmarks";
const QString kMimeNs = "http://www.freedesktop.org/standards/shared-mime-info";
const QString kAppName = "Quorvin Audio Tools";
const QString kExec = "'quorvin-audio-tools %u'";

QString stamp(const QDateTime& t) {
    return t.toUTC().toString("yyyy-MM-ddTHH:mm:ss.zzz000Z");
}

void writeApplication(QXmlStreamWriter& w, const QString& now, int count) {
    w.writeEmptyElement(kBookmarkNs, "application");
    w.writeAttribute("name", kAppName);
    w.writeAttribute("exec", kExec);
    w.writeAttribute("modified", now);
    w.writeAttribute("count", QString::number(count));
}

void writeBookmark(QXmlStreamWriter& w, const QString& uri, const QString& mimeType,
                   const QString& now) {
    w.writeStartElement("bookmark");
    w.writeAttribute("href", uri);
    w.writeAttribute("added", now);
    w.writeAttribute("modified", now);
    w.writeAttribute("visited", now);
    w.writeStartElement("info");
    w.writeStartElement("metadata");
    w.writeAttribute("owner", "http://freedesktop.org");
    w.writeEmptyElement(kMimeNs, "mime-type");
    w.writeAttribute("type", mimeType);
    w.writeStartElement(kBookmarkNs, "applications");
    writeApplication(w, now, 1);
    w.writeEndElement();  // applications
    w.writeEndElement();  // metadata
    w.writeEndElement();  // info
    w.writeEndElement();  // bookmark
}

// An element's attributes with the named ones set to `value`.
QXmlStreamAttributes withTimes(const QXmlStreamAttributes& in, const QStringList& names,
                               const QString& value) {
    QXmlStreamAttributes out;
    for (const QXmlStreamAttribute& a : in)
        if (!names.contains(a.qualifiedName().toString())) out.append(a);
    for (const QString& n : names) out.append(n, value);
    return out;
}

}  // namespace

std::optional<QByteArray> withRecentFile(const QByteArray& xbel, const QString& uri,
                                         const QString& mimeType, const QDateTime& now) {
    const QString when = stamp(now);
    QByteArray out;
    QXmlStreamWriter w(&out);
    if (xbel.trimmed().isEmpty()) {
        w.setAutoFormatting(true);
        w.writeStartDocument();
        w.writeStartElement("xbel");
        w.writeAttribute("version", "1.0");
        w.writeNamespace(kBookmarkNs, "bookmark");
        w.writeNamespace(kMimeNs, "mime");
        writeBookmark(w, uri, mimeType, when);
        w.writeEndElement();
        w.writeEndDocument();
        return out;
    }

    QXmlStreamReader r(xbel);
    int depth = 0;
    bool ours = false;     // inside the bookmark of `uri`
    bool listed = false;   // `uri` was in the list
    bool appDone = false;  // this program's entry in it written
    while (!r.atEnd()) {
        r.readNext();
        if (r.hasError()) break;
        if (r.isStartElement()) {
            ++depth;
            if (depth == 1 && r.name() != QLatin1String("xbel")) return std::nullopt;
            if (depth == 2 && r.name() == QLatin1String("bookmark") &&
                r.attributes().value("href") == uri) {
                ours = listed = true;
                w.writeStartElement(r.namespaceUri().toString(), r.name().toString());
                w.writeAttributes(withTimes(r.attributes(), {"modified", "visited"}, when));
                continue;
            }
            if (ours && r.namespaceUri() == kBookmarkNs &&
                r.name() == QLatin1String("application") &&
                r.attributes().value("name") == kAppName) {
                writeApplication(w, when, r.attributes().value("count").toInt() + 1);
                appDone = true;
                r.skipCurrentElement();
                --depth;
                continue;
            }
        } else if (r.isEndElement()) {
            if (ours && !appDone && r.namespaceUri() == kBookmarkNs &&
                r.name() == QLatin1String("applications")) {
                writeApplication(w, when, 1);
                appDone = true;
            }
            if (depth == 2 && ours) ours = false;
            if (depth == 1 && !listed) writeBookmark(w, uri, mimeType, when);
            --depth;
        }
        w.writeCurrentToken(r);
    }
    if (r.hasError()) return std::nullopt;
    return out;
}

bool addToDesktopRecentList(const std::string& listFile, const std::string& path) {
    const QString name = QFile::decodeName(QByteArray::fromStdString(path));
    const QString list = QFile::decodeName(QByteArray::fromStdString(listFile));
    QByteArray before;
    if (QFile f(list); f.exists()) {
        if (!f.open(QIODevice::ReadOnly)) return false;
        before = f.readAll();
        if (f.error() != QFile::NoError) return false;
    }
    const QString mime =
        QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension).name();
    const std::optional<QByteArray> after =
        withRecentFile(before, QString::fromLatin1(QUrl::fromLocalFile(name).toEncoded()), mime,
                       QDateTime::currentDateTimeUtc());
    if (!after) return false;
    // A fresh account has no ~/.local/share yet: the list is the first thing in it.
    QDir().mkpath(QFileInfo(list).absolutePath());
    files::TemporaryFile t;
    return t.create(listFile) && t.write(after->constData(), size_t(after->size())) && t.commit();
}

}  // namespace app
