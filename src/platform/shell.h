#pragma once
// The desktop shell: opening an address in the user's browser, and the desktop's own mouse
// settings. Reached through `services().shell()` so that tests can record what would be opened.

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace quillon {

class Shell {
public:
    virtual ~Shell() = default;
    // Opens a web address (or a file) with the desktop's default application. False when nothing
    // could open it.
    virtual bool OpenUrl(const QString& url) = 0;
    // Opens the desktop's mouse settings when the desktop has such a program; false (and nothing
    // visible) when none is installed.
    virtual bool OpenMouseSettings() = 0;
};

// QDesktopServices and the settings programs of the common desktops.
class DesktopShell final : public Shell {
public:
    bool OpenUrl(const QString& url) override;
    bool OpenMouseSettings() override;
};

// A program and its arguments.
struct Command {
    QString program;
    QStringList arguments;
    friend bool operator==(const Command&, const Command&) = default;
};

// The mouse settings program to start: the one of the running desktop (`currentDesktop` as in
// XDG_CURRENT_DESKTOP, a colon-separated list) when it is installed, otherwise the first installed
// one of the known desktops. `findProgram` returns the full path of an installed program or an
// empty text.
std::optional<Command> MouseSettingsCommand(const QString& currentDesktop,
                                            const std::function<QString(const QString&)>& findProgram);

}  // namespace quillon
