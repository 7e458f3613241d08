#pragma once
// Language texts and image descriptions, shared by every window of the program.
//
// Every user-visible text is a key of the language file "lan.xml" in the resource folder. A control
// whose text is a language key shows the text the file gives for that key; the lookup happens again
// whenever a language file is loaded, so windows built before the language was loaded show the
// right texts too. Image descriptions name a file of the resource folder and, optionally, the
// rectangle of the control it is drawn into.

#include <QHash>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <future>
#include <optional>

namespace quillon {

// Supplies texts that the language file does not have (the program's main window can take this part).
class IQueryControlText {
public:
    virtual ~IQueryControlText() = default;
    virtual std::optional<QString> QueryControlText(const QString& key) = 0;
};

// Why a language file could not be used.
enum class LanguageLoadError { None, NotFound, Malformed };

class CResourceManager {
public:
    static CResourceManager* GetInstance();

    // Layouts are read per window from the resource folder; the call is kept for the start-up
    // sequence and always succeeds.
    bool LoadResource(const QString& xml, const QString& type = {});

    // Loads "<resource folder>/<file>" (or an absolute path). The format is
    //   <language><text key="ok_text">OK</text>...</language>
    // A file that cannot be read or parsed leaves the texts loaded so far untouched.
    LanguageLoadError LoadLanguage(const QString& file);
    // Starts reading and parsing a language file on a thread of its own; the next LoadLanguage
    // of the same file takes that work instead of doing it on the caller's thread.
    void PrefetchLanguage(const QString& file);
    // Parses language XML; used by LoadLanguage and by tests. Returns false on malformed input.
    static bool ParseLanguage(const QByteArray& xml, QHash<QString, QString>& texts);

    // The text of `key`. A key that neither the language file nor the text-query interface knows
    // is returned unchanged, so numbers and names handed to a key-mode control still show as they are.
    QString GetText(const QString& key) const;
    bool HasText(const QString& key) const { return m_texts.contains(key); }

    void SetTextQueryInterface(IQueryControlText* query) { m_query = query; }
    void ResetLanguage();

    // Listeners are told after every successful language load (the paint managers refresh their
    // controls' texts). Returns an id for RemoveLanguageListener.
    int AddLanguageListener(std::function<void()> listener);
    void RemoveLanguageListener(int id);

private:
    // A language file read and parsed: whether it opened (with the reason when not) and parsed.
    struct LanguageRead {
        bool opened = false;
        QString openError;
        bool parsed = false;
        QHash<QString, QString> texts;
    };
    static LanguageRead ReadLanguage(const QString& path);
    QString LanguagePath(const QString& file) const;

    CResourceManager() = default;
    QString m_prefetchedPath;
    std::shared_future<LanguageRead> m_prefetched;
    QHash<QString, QString> m_texts;
    IQueryControlText* m_query = nullptr;
    QHash<int, std::function<void()>> m_listeners;
    int m_nextListener = 1;
};

// An image description: either a bare file name ("skins/richedit_1.png") or attributes
// "res='skins/mouse.png' dest='2,2,28,28'". `dest` is the rectangle (left, top, right, bottom)
// inside the control; without it the image fills the control.
struct ImageDescription {
    QString file;
    std::optional<QRect> dest;

    bool IsEmpty() const { return file.isEmpty(); }
    static ImageDescription Parse(const QString& description);
};

// Loads resource-folder images once and keeps them; a missing file gives a null pixmap.
QPixmap LoadResourceImage(const QString& file);

// Starts decoding resource-folder images on threads of their own, so that a large picture the first
// window shows is ready when the UI thread asks LoadResourceImage for it. Call it once the resource
// folder is set; images nobody asks for are dropped at exit.
void PrefetchResourceImages(const QStringList& files);

}  // namespace quillon

class QIcon;
namespace quillon {
// The icon with a numeric resource id: "icons/<id>.svg" or "icons/<id>.png" in the resource folder;
// the application's icon when neither exists. After PrefetchIconResource, the icon is made of the
// pictures drawn ahead.
QIcon LoadIconResource(int iconId);
// Starts drawing an icon on a thread of its own at the sizes a window's icon and the tray use
// (16 to 128 px), so that the UI thread neither loads the drawing's icon engine nor draws it when
// the window that shows the icon starts. Call it once the resource folder is set.
void PrefetchIconResource(int iconId);
}  // namespace quillon
