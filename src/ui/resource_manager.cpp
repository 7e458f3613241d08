#include "ui/resource_manager.h"

#include "ui/paint_manager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPixmapCache>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <future>
#include <map>
#include <mutex>
#include <vector>

namespace quillon {

CResourceManager* CResourceManager::GetInstance() {
    static CResourceManager instance;
    return &instance;
}

bool CResourceManager::LoadResource(const QString& /*xml*/, const QString& /*type*/) {
    return true;
}

bool CResourceManager::ParseLanguage(const QByteArray& xml, QHash<QString, QString>& texts) {
    QXmlStreamReader reader(xml);
    QHash<QString, QString> parsed;
    bool sawRoot = false;
    while (reader.readNextStartElement()) {
        if (!sawRoot) {
            if (reader.name() != QLatin1String("language"))
                return false;
            sawRoot = true;
            continue;
        }
        if (reader.name() == QLatin1String("text")) {
            const QString key = reader.attributes().value(QLatin1String("key")).toString();
            const QString text = reader.readElementText(QXmlStreamReader::IncludeChildElements);
            if (!key.isEmpty())
                parsed.insert(key, text);
        } else {
            reader.skipCurrentElement();
        }
    }
    if (reader.hasError() || !sawRoot)
        return false;
    texts = std::move(parsed);
    return true;
}

QString CResourceManager::LanguagePath(const QString& file) const {
    return QFileInfo(file).isAbsolute() ? file : CPaintManagerUI::GetResourcePath() + file;
}

CResourceManager::LanguageRead CResourceManager::ReadLanguage(const QString& path) {
    LanguageRead read;
    QFile in(path);
    read.opened = in.open(QIODevice::ReadOnly);
    if (!read.opened) {
        read.openError = in.errorString();
        return read;
    }
    read.parsed = ParseLanguage(in.readAll(), read.texts);
    return read;
}

void CResourceManager::PrefetchLanguage(const QString& file) {
    m_prefetchedPath = LanguagePath(file);
    m_prefetched = std::async(std::launch::async, &ReadLanguage, m_prefetchedPath).share();
}

LanguageLoadError CResourceManager::LoadLanguage(const QString& file) {
    const QString path = LanguagePath(file);
    LanguageRead read;
    if (m_prefetched.valid() && path == m_prefetchedPath) {
        read = m_prefetched.get();
        m_prefetched = {};
    } else {
        read = ReadLanguage(path);
    }
    if (!read.opened) {
        qWarning("quillon: language file %s not read: %s", qUtf8Printable(path),
                 qUtf8Printable(read.openError));
        return LanguageLoadError::NotFound;
    }
    if (!read.parsed) {
        qWarning("quillon: language file %s not used: it is not a well-formed language file",
                 qUtf8Printable(path));
        return LanguageLoadError::Malformed;
    }
    m_texts = std::move(read.texts);
    // Copy first: a listener may remove itself while being told.
    const auto listeners = m_listeners;
    for (const auto& listener : listeners)
        listener();
    return LanguageLoadError::None;
}

QString CResourceManager::GetText(const QString& key) const {
    if (auto it = m_texts.constFind(key); it != m_texts.constEnd())
        return *it;
    if (m_query) {
        if (auto text = m_query->QueryControlText(key))
            return *text;
    }
    return key;
}

void CResourceManager::ResetLanguage() {
    m_texts.clear();
    m_query = nullptr;
}

int CResourceManager::AddLanguageListener(std::function<void()> listener) {
    const int id = m_nextListener++;
    m_listeners.insert(id, std::move(listener));
    return id;
}

void CResourceManager::RemoveLanguageListener(int id) {
    m_listeners.remove(id);
}

ImageDescription ImageDescription::Parse(const QString& description) {
    ImageDescription image;
    const QString trimmed = description.trimmed();
    if (!trimmed.contains(QLatin1Char('='))) {
        image.file = trimmed;
        return image;
    }
    static const QRegularExpression attribute(QStringLiteral(R"((\w+)\s*=\s*'([^']*)')"));
    for (auto it = attribute.globalMatch(trimmed); it.hasNext();) {
        const auto match = it.next();
        const QString name = match.captured(1);
        const QString value = match.captured(2);
        if (name == QLatin1String("res") || name == QLatin1String("file")) {
            image.file = value;
        } else if (name == QLatin1String("dest")) {
            const auto parts = value.split(QLatin1Char(','));
            if (parts.size() != 4)
                continue;
            int numbers[4] = {};
            bool ok = true;
            for (int i = 0; i < 4 && ok; ++i)
                numbers[i] = parts[i].trimmed().toInt(&ok);
            // dest is given as left, top, right, bottom.
            if (ok && numbers[2] >= numbers[0] && numbers[3] >= numbers[1])
                image.dest = QRect(QPoint(numbers[0], numbers[1]), QPoint(numbers[2] - 1, numbers[3] - 1));
        }
    }
    return image;
}

namespace {

// Images being decoded ahead, by path, until the UI thread takes them.
std::mutex g_prefetchMutex;
std::map<QString, std::shared_future<QImage>>& Prefetched() {
    static std::map<QString, std::shared_future<QImage>> images;
    return images;
}

}  // namespace

void PrefetchResourceImages(const QStringList& files) {
    for (const QString& file : files) {
        const QString path = CPaintManagerUI::ResolveResource(file);
        std::shared_future<QImage> image = std::async(std::launch::async, [path] {
                                               QImage decoded;
                                               QImageReader(path).read(&decoded);
                                               return decoded;
                                           }).share();
        const std::lock_guard lock(g_prefetchMutex);
        Prefetched().emplace(path, std::move(image));
    }
}

QPixmap LoadResourceImage(const QString& file) {
    if (file.isEmpty())
        return {};
    const QString path = CPaintManagerUI::ResolveResource(file);
    QPixmap pixmap;
    if (QPixmapCache::find(path, &pixmap))
        return pixmap;
    std::shared_future<QImage> ahead;
    {
        const std::lock_guard lock(g_prefetchMutex);
        if (const auto found = Prefetched().find(path); found != Prefetched().end()) {
            ahead = found->second;
            Prefetched().erase(found);
        }
    }
    if (ahead.valid())
        pixmap = QPixmap::fromImage(ahead.get());
    if (!pixmap.isNull() || pixmap.load(path))
        QPixmapCache::insert(path, pixmap);
    return pixmap;
}

}  // namespace quillon

#include <QGuiApplication>
#include <QIcon>

namespace quillon {
namespace {

QString IconResourcePath(int iconId) {
    for (const char* extension : {"svg", "png"}) {
        const QString path = CPaintManagerUI::GetResourcePath() +
                             QStringLiteral("icons/%1.%2").arg(iconId).arg(QLatin1String(extension));
        if (QFileInfo::exists(path))
            return path;
    }
    return {};
}

// The sizes of an icon drawn ahead: those X11 window icons carry when the icon is a drawing (16, 32,
// 64, 128) and the usual sizes of tray icons and task lists.
constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128};

// Icons being drawn ahead, by id. They stay: the window and the tray both ask for the same icon.
std::map<int, std::shared_future<std::vector<QImage>>>& PrefetchedIcons() {
    static std::map<int, std::shared_future<std::vector<QImage>>> icons;
    return icons;
}

}  // namespace

void PrefetchIconResource(int iconId) {
    const QString path = IconResourcePath(iconId);
    if (path.isEmpty())
        return;
    // QImageReader draws a drawing at the size asked with the same renderer as the icon engine,
    // and, unlike QIcon and QPixmap, may be used off the UI thread.
    std::shared_future<std::vector<QImage>> pictures =
        std::async(std::launch::async, [path] {
            std::vector<QImage> drawn;
            for (int size : kIconSizes) {
                QImageReader reader(path);
                reader.setScaledSize(QSize(size, size));
                QImage image;
                if (reader.read(&image))
                    drawn.push_back(image.convertToFormat(QImage::Format_ARGB32_Premultiplied));
            }
            return drawn;
        }).share();
    const std::lock_guard lock(g_prefetchMutex);
    PrefetchedIcons().insert_or_assign(iconId, std::move(pictures));
}

QIcon LoadIconResource(int iconId) {
    std::shared_future<std::vector<QImage>> ahead;
    {
        const std::lock_guard lock(g_prefetchMutex);
        if (const auto found = PrefetchedIcons().find(iconId); found != PrefetchedIcons().end())
            ahead = found->second;
    }
    if (ahead.valid()) {
        QIcon icon;
        for (const QImage& image : ahead.get())
            icon.addPixmap(QPixmap::fromImage(image));
        if (!icon.isNull())
            return icon;
    }
    const QString path = IconResourcePath(iconId);
    return path.isEmpty() ? QGuiApplication::windowIcon() : QIcon(path);
}
}  // namespace quillon
