#pragma once
// A desktop shell that opens nothing and remembers what it was asked to open. Installed as the
// process-wide seam for the lifetime of the object.

#include <QStringList>

#include "platform/services.h"
#include "platform/shell.h"

namespace quillon::test {

class RecordingShell final : public Shell {
public:
    RecordingShell() : m_installed(ScopedServices::Set{nullptr, nullptr, nullptr, this, {}}) {}

    bool OpenUrl(const QString& url) override {
        m_urls << url;
        return m_opensUrls;
    }
    bool OpenMouseSettings() override {
        ++m_mouseSettingsOpened;
        return m_hasMouseSettings;
    }

    // Whether the pretended desktop has mouse settings to open.
    void SetHasMouseSettings(bool has) { m_hasMouseSettings = has; }
    // Whether the pretended desktop has a web browser to open addresses with.
    void SetOpensUrls(bool opens) { m_opensUrls = opens; }

    const QStringList& OpenedUrls() const { return m_urls; }
    int MouseSettingsOpened() const { return m_mouseSettingsOpened; }

private:
    QStringList m_urls;
    int m_mouseSettingsOpened = 0;
    bool m_hasMouseSettings = true;
    bool m_opensUrls = true;
    ScopedServices m_installed;
};

}  // namespace quillon::test
