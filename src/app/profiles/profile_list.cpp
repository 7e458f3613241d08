#include "app/profiles/profile_list.h"

#include <QFile>
#include <QFileInfo>

#include "app/msg_wnd.h"
#include "app/profiles/profile_name_wnd.h"
#include "core/store/profile_file.h"
#include "core/store/record_names.h"
#include "platform/file_dialogs.h"
#include "platform/services.h"
#include "ui/controls.h"
#include "ui/resource_manager.h"
#include "ui/window.h"

namespace quillon {

namespace {

inline constexpr int kRowHeight = 22;

QString LanguageText(const char* key) {
    return CResourceManager::GetInstance()->GetText(QString::fromLatin1(key));
}

FileDialogRequest ProfileFileRequest(WindowImplBase& owner, const char* titleKey) {
    FileDialogRequest request;
    request.parent = owner.GetHostWidget();
    request.title = LanguageText(titleKey);
    request.filters = {
        {LanguageText("profile_file_text"), {QStringLiteral("*.pro"), QStringLiteral("*.PRO")}},
        {LanguageText("profile_json_file_text"), {QStringLiteral("*.json"), QStringLiteral("*.JSON")}}};
    return request;
}

// A file name proposed for a profile: its name, with the characters a file name cannot hold
// replaced.
QString ProposedFileName(const QString& profileName) {
    QString name = profileName.trimmed();
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.replace(QChar(0), QLatin1Char('_'));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QStringLiteral("profile");
    return name + QStringLiteral(".pro");
}

}  // namespace

ProfileListOperations::ProfileListOperations(ProfileState& profiles, CListUI& list, WindowImplBase& owner,
                                             std::function<void()> selectionShown, ImportedMacros* macros)
    : m_profiles(profiles), m_list(list), m_owner(owner), m_selectionShown(std::move(selectionShown)),
      m_macros(macros) {}

QString ProfileListOperations::RowText(const ProfileRecord& record) const {
    return QString::fromStdU16String(std::u16string(LeadingName(record)));
}

void ProfileListOperations::Warn(const QString& messageKey) {
    CMsgWnd::MessageBox(m_owner.GetHWND(), QStringLiteral("warning_title_text"), messageKey);
}

void ProfileListOperations::Fill() {
    m_list.RemoveAll();
    // The rows are plain text drawn by the list: a store of many profiles then builds no widget
    // per profile.
    for (const auto& record : m_profiles.List())
        m_list.AddTextRow(RowText(*record), kRowHeight);
    m_list.SelectItem(m_profiles.Header().selected, SelectNotify::No);
    m_list.EnsureVisible(m_profiles.Header().selected);
}

void ProfileListOperations::SelectProfile(std::size_t index) {
    m_profiles.Select(index);
    m_list.SelectItem(static_cast<int>(index), SelectNotify::No);
    m_list.EnsureVisible(static_cast<int>(index));
    if (m_selectionShown)
        m_selectionShown();
}

void ProfileListOperations::Add() {
    const std::optional<QString> name =
        CMS_1_ProfileName::Ask(m_owner.GetHWND(), QStringLiteral("profile_name_1_text"), m_profiles.List());
    if (!name)
        return;
    auto record = std::make_unique<ProfileRecord>();
    CreateProfile(*record, name->toStdU16String());
    m_list.AddTextRow(RowText(*record), kRowHeight);
    SelectProfile(m_profiles.Append(std::move(record)));
}

void ProfileListOperations::Delete() {
    if (m_profiles.List().size() < 2) {
        Warn(QStringLiteral("one_profile_text"));
        return;
    }
    if (CMsgWnd::MessageBox(m_owner.GetHWND(), QStringLiteral("warning_title_text"),
                            QStringLiteral("delete_profile_text")) != 1)
        return;
    const auto index = static_cast<std::size_t>(m_profiles.Header().selected);
    if (!m_profiles.Remove(index))
        return;
    m_list.RemoveAt(static_cast<int>(index));
    SelectProfile(static_cast<std::size_t>(m_profiles.Header().selected));
}

void ProfileListOperations::Rename() {
    ProfileRecord* selected = m_profiles.Selected();
    if (selected == nullptr)
        return;
    const std::optional<QString> name =
        CMS_1_ProfileName::Ask(m_owner.GetHWND(), QStringLiteral("profile_name_2_text"), m_profiles.List());
    if (!name)
        return;
    m_profiles.RenameSelected(name->toStdU16String());
    m_list.SetRowText(m_profiles.Header().selected, RowText(*selected));
}

void ProfileListOperations::Import() {
    FileDialogRequest request = ProfileFileRequest(m_owner, "profile_import_tip_text");
    request.mustExist = MustExist::Yes;
    const std::optional<QString> path = services().fileDialogs().GetOpenFileName(request);
    if (!path)
        return;
    const std::filesystem::path file(QFile::encodeName(*path).toStdString());
    ProfileFileRead read;
    if (IsProfileJsonName(file)) {
        // The readable form: its refusal names the member at fault, which the log keeps.
        ProfileJsonFileRead json = ReadProfileJsonFile(file);
        if (!json.record) {
            qWarning("quillon: %s not imported: %s", file.c_str(), json.error.c_str());
            Warn(QStringLiteral("import_profile_json_invalid_text"));
            return;
        }
        read.record = std::move(json.record);
    } else {
        read = ReadProfileFile(file);
    }
    if (read.error != ProfileFileError::None) {
        Warn(read.error == ProfileFileError::WrongSize ? QStringLiteral("import_profile_invalid_text")
                                                       : QStringLiteral("import_profile_unreadable_text"));
        return;
    }
    AdmitImportedProfile(*read.record, m_profiles.List(),
                         QFileInfo(*path).completeBaseName().toStdU16String());
    // The macros join the store before the profile is shown, so the first apply already sends the
    // buttons pointing at them.
    if (m_macros != nullptr)
        m_macros->AddMacrosOf(*read.record);
    m_list.AddTextRow(RowText(*read.record), kRowHeight);
    SelectProfile(m_profiles.Append(std::move(read.record)));
}

void ProfileListOperations::Export() {
    const ProfileRecord* selected = m_profiles.Selected();
    if (selected == nullptr)
        return;
    FileDialogRequest request = ProfileFileRequest(m_owner, "profile_export_tip_text");
    request.defaultExtension = QStringLiteral("pro");
    request.overwritePrompt = OverwritePrompt::Yes;
    request.mustExist = MustExist::No;
    request.initialPath = ProposedFileName(RowText(*selected));
    const std::optional<QString> path = services().fileDialogs().GetSaveFileName(request);
    if (!path)
        return;
    // The record as it is now, with every edit, whether or not it has reached the mouse.
    const std::filesystem::path file(QFile::encodeName(*path).toStdString());
    const bool written =
        IsProfileJsonName(file) ? WriteProfileJsonFile(file, *selected) : WriteProfileFile(file, *selected);
    if (!written)
        Warn(QStringLiteral("export_profile_failed_text"));
}

}  // namespace quillon
