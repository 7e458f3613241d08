#include "platform/shell.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace quillon {
namespace {

struct SettingsProgram {
    const char* desktop;  // as XDG_CURRENT_DESKTOP names it
    const char* program;
    QStringList arguments;
};

// The mouse settings of the common desktops, in the order they are tried when the running
// desktop's own is not installed.
const std::vector<SettingsProgram>& KnownSettingsPrograms() {
    static const std::vector<SettingsProgram> programs{
        {"GNOME", "gnome-control-center", {"mouse"}},
        {"KDE", "systemsettings", {"kcm_mouse"}},
        {"KDE", "systemsettings5", {"mouse"}},
        {"KDE", "kcmshell6", {"kcm_mouse"}},
        {"KDE", "kcmshell5", {"mouse"}},
        {"XFCE", "xfce4-mouse-settings", {}},
        {"MATE", "mate-mouse-properties", {}},
        {"X-Cinnamon", "cinnamon-settings", {"mouse"}},
        {"LXQt", "lxqt-config-input", {}},
        {"Budgie", "gnome-control-center", {"mouse"}},
        {"Unity", "gnome-control-center", {"mouse"}},
    };
    return programs;
}

}  // namespace

std::optional<Command> MouseSettingsCommand(const QString& currentDesktop,
                                            const std::function<QString(const QString&)>& findProgram) {
    const QStringList desktops = currentDesktop.split(':', Qt::SkipEmptyParts);
    for (const QString& desktop : desktops) {
        for (const SettingsProgram& candidate : KnownSettingsPrograms()) {
            if (desktop.compare(QLatin1String(candidate.desktop), Qt::CaseInsensitive) != 0)
                continue;
            const QString path = findProgram(QString::fromLatin1(candidate.program));
            if (!path.isEmpty())
                return Command{path, candidate.arguments};
        }
    }
    for (const SettingsProgram& candidate : KnownSettingsPrograms()) {
        const QString path = findProgram(QString::fromLatin1(candidate.program));
        if (!path.isEmpty())
            return Command{path, candidate.arguments};
    }
    return std::nullopt;
}

bool DesktopShell::OpenUrl(const QString& url) {
    const QUrl address = QUrl::fromUserInput(url.trimmed());
    if (!address.isValid())
        return false;
    return QDesktopServices::openUrl(address);
}

bool DesktopShell::OpenMouseSettings() {
    const auto command =
        MouseSettingsCommand(qEnvironmentVariable("XDG_CURRENT_DESKTOP"),
                             [](const QString& name) { return QStandardPaths::findExecutable(name); });
    if (!command)
        return false;
    return QProcess::startDetached(command->program, command->arguments);
}

}  // namespace quillon
