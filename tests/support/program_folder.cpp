#include "support/program_folder.h"

#include <gtest/gtest.h>

#include "support/qt_app.h"
#include "ui/paint_manager.h"

namespace quillon::test {

TempProgramFolder::TempProgramFolder(const std::filesystem::path& resources) {
    TestApplication();
    EXPECT_TRUE(m_dir.isValid()) << "no temporary folder";
    if (!resources.empty())
        std::filesystem::create_directory_symlink(resources, path() / "res");
    m_services = new ScopedServices(ScopedServices::Set{nullptr, nullptr, nullptr, nullptr, path()});
    m_previousResourcePath = CPaintManagerUI::GetResourcePath();
    CPaintManagerUI::SetResourcePath(QString::fromStdString((path() / "res").string()));
}

TempProgramFolder::~TempProgramFolder() {
    CPaintManagerUI::SetResourcePath(m_previousResourcePath);
    delete m_services;
}

std::filesystem::path TempProgramFolder::path() const {
    return std::filesystem::path(m_dir.path().toStdString()) / "";
}

std::filesystem::path TempProgramFolder::CopyIn(const std::filesystem::path& file,
                                                const std::string& name) const {
    const std::filesystem::path target = path() / (name.empty() ? file.filename().string() : name);
    std::filesystem::copy_file(file, target, std::filesystem::copy_options::overwrite_existing);
    return target;
}

}  // namespace quillon::test
